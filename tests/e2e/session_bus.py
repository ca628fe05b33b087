"""A private D-Bus session bus for one end-to-end test, the media controls'
tools on it (playerctl, dbus-send, dbus-monitor), and test media made with
ffmpeg. The bus joins the desktop's processes, so it stops with them."""
import os
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
