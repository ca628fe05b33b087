"""A private D-Bus session bus for one end-to-end test, the media controls'
tools on it (playerctl, dbus-send, dbus-monitor), and test media made with
ffmpeg. The bus joins the desktop's processes, so it stops with them."""
import os
import socket
import struct
import subprocess
import time

from xsession import wait_for


# A session bus of the test's own, in its folder; it activates no services
# of the machine's (an accessibility bus or a settings daemon started on it
# would outlive the test).
CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={folder}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class SessionBus:
    def __init__(self, desktop):
        self.d = desktop
        folder = desktop.path("bus")
        os.makedirs(folder, exist_ok=True)
        config = desktop.path("bus.conf")
        with open(config, "w") as f:
            f.write(CONFIG.format(folder=folder))
        daemon = subprocess.Popen(["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=desktop.env)
        desktop.processes.append(daemon)
        self.address = daemon.stdout.readline().decode().strip()
        if not self.address:
            raise RuntimeError("dbus-daemon did not start")
        desktop.env["DBUS_SESSION_BUS_ADDRESS"] = self.address

    def run(self, *args, timeout=10):
        """A tool on the bus: (exit code, standard output), or (None, "") when it hung."""
        try:
            p = subprocess.run(list(args), env=self.d.env, capture_output=True, text=True, timeout=timeout)
            return p.returncode, p.stdout.strip()
        except subprocess.TimeoutExpired:
            return None, ""

    def playerctl(self, *args, player="qel", timeout=10):
        return self.run("playerctl", "-p", player, *args, timeout=timeout)

    def value(self, *args, player="qel"):
        return self.playerctl(*args, player=player)[1]

    def players(self):
        code, out = self.run("playerctl", "-l")
        return sorted(out.split()) if code == 0 else []

    def call(self, name, method, *args, interface="org.mpris.MediaPlayer2"):
        return self.run("dbus-send", "--session", "--print-reply", f"--dest={name}", "/org/mpris/MediaPlayer2",
                        f"{interface}.{method}", *args)

    def get(self, name, interface, prop):
        return self.run("dbus-send", "--session", "--print-reply=literal", f"--dest={name}",
                        "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Get",
                        f"string:{interface}", f"string:{prop}")[1]

    def monitor(self):
        return Monitor(self)

    def raw_call(self, name, interface, method, text, timeout=10):
        """A method call with one string argument of any size (the tools take
        theirs on the command line, which holds no more than 128 KiB): the
        answer's kind ("return" or the error's name) and the seconds it took,
        or (None, timeout) when none came."""
        return RawBus(self.address).call(name, "/org/mpris/MediaPlayer2", interface, method, text, timeout)


class Monitor:
    """dbus-monitor on the player's object: the signals it sends, as blocks
    of text, one per signal."""

    def __init__(self, bus):
        self.path = bus.d.path(f"monitor-{time.monotonic_ns()}.txt")
        self.out = open(self.path, "w")
        self.process = subprocess.Popen(
            ["dbus-monitor", "--session", "type='signal',path='/org/mpris/MediaPlayer2'"],
            env=bus.d.env, stdout=self.out, stderr=subprocess.DEVNULL)
        bus.d.processes.append(self.process)
        # Listening once the bus has told it its name.
        wait_for(lambda: "NameAcquired" in self.text() or "NameLost" in self.text(), 5)
        self.mark()

    def text(self):
        self.out.flush()
        with open(self.path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def mark(self):
        """Only signals from here on count."""
        self.start = len(self.text())

    def signals(self, member=None):
        blocks, current = [], None
        for line in self.text()[self.start:].splitlines():
            if line.startswith(("signal ", "method ", "error ")):
                current = [line]
                blocks.append(current)
            elif current is not None:
                current.append(line)
        found = ["\n".join(b) for b in blocks if "path=/org/mpris/MediaPlayer2;" in b[0]]
        if member:
            found = [b for b in found if f"member={member}" in b.splitlines()[0]]
        return found

    def stop(self):
        self.process.terminate()
        self.process.wait()
        self.out.close()


def tone(path, seconds, title=None):
    """A real MP3 of a sine tone, made by ffmpeg."""
    args = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", f"sine=frequency=440:duration={seconds}",
            "-ac", "1", "-b:a", "32k"]
    if title:
        args += ["-metadata", f"title={title}"]
    subprocess.run(args + [path], check=True)
    return path


class RawBus:
    """Just enough of the D-Bus wire protocol (little-endian messages, the
    EXTERNAL login) to send one call with a string argument and read its
    answer."""

    def __init__(self, address):
        path = dict(kv.split("=", 1) for kv in address.split(":", 1)[1].split(","))["path"]
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.sock.sendall(b"\0AUTH EXTERNAL " + str(os.getuid()).encode().hex().encode() + b"\r\n")
        if not self.sock.recv(4096).startswith(b"OK"):
            raise RuntimeError("the bus refused the login")
        self.sock.sendall(b"BEGIN\r\n")
        self.serial = 0
        self.buffer = b""
        self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello", None, 10)

    @staticmethod
    def pad(data, to):
        return data + b"\0" * (-len(data) % to)

    def message(self, dest, path, interface, member, text):
        self.serial += 1
        fields = b""
        for code, sig, value in ((1, b"o", path), (2, b"s", interface), (3, b"s", member), (6, b"s", dest)) + \
                ((((8, b"g", "s"),) if text is not None else ())):
            raw = value.encode()
            fields = self.pad(fields, 8) + bytes([code, 1]) + sig + b"\0"
            if sig == b"g":
                fields += bytes([len(raw)]) + raw + b"\0"
            else:
                fields = self.pad(fields, 4) + struct.pack("<I", len(raw)) + raw + b"\0"
        body = b"" if text is None else struct.pack("<I", len(text.encode())) + text.encode() + b"\0"
        head = b"l\1\0\1" + struct.pack("<III", len(body), self.serial, len(fields)) + fields
        return self.pad(head, 8) + body

    def read(self, n, deadline):
        while len(self.buffer) < n:
            left = deadline - time.time()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                chunk = self.sock.recv(1 << 20)
            except socket.timeout:
                return None
            if not chunk:
                return None
            self.buffer += chunk
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def call(self, dest, path, interface, member, text, timeout):
        began = time.time()
        self.sock.sendall(self.message(dest, path, interface, member, text))
        serial, deadline = self.serial, began + timeout
        while True:
            fixed = self.read(16, deadline)
            if fixed is None:
                return None, timeout
            kind = fixed[1]
            body_length, _, fields_length = struct.unpack("<III", fixed[4:16])
            rest = self.read(len(self.pad(b"x" * (16 + fields_length), 8)) - 16 + body_length, deadline)
            if rest is None:
                return None, timeout
            fields = rest[:fields_length]
            reply_to, error, i = None, None, 0
            while i < len(fields):
                i += -i % 8
                code, siglen = fields[i], fields[i + 1]
                sig = fields[i + 2:i + 2 + siglen]
                i += 3 + siglen
                if sig in (b"u",):
                    i += -(i + 16) % 4
                    value = struct.unpack("<I", fields[i:i + 4])[0]
                    i += 4
                elif sig == b"g":
                    value = fields[i + 1:i + 1 + fields[i]].decode()
                    i += 2 + fields[i]
                else:
                    i += -(i + 16) % 4
                    length = struct.unpack("<I", fields[i:i + 4])[0]
                    value = fields[i + 4:i + 4 + length].decode(errors="replace")
                    i += 5 + length
                if code == 5:
                    reply_to = value
                elif code == 4:
                    error = value
            if reply_to == serial and kind in (2, 3):
                return ("return" if kind == 2 else error), time.time() - began
