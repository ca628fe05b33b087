#!/usr/bin/env python3
"""Start-up and footprint of qel beside Audacious, in one run on one private
desktop (Xvfb, a D-Bus session bus and a PulseAudio server with a null sink).

Scenarios, each started fresh from the same saved state every run, the two
players taking turns:
  resumed  no argument; the last run's 10,000-entry playlist comes back
  folder   a folder of 10,000 MP3 files on the command line
  file     one MP3 on the command line, which plays

Measured from the moment the process is started:
  window   the player's first top-level window is mapped (X MapNotify)
  ready    qel: it answers a message on its instance socket, which it takes
           only once its first open is done (rows, and playback when the
           start plays); Audacious: audtool sees 10,000 entries, or sees it
           playing (audtool is polled, so its figure carries up to one poll
           of delay, about 10 ms)
  titled   folder only: every one of the folder's 10,000 files has been
           opened, and all but the one that plays closed again, by the player
           (an inotify watch on the folder): both players read a file to find
           its title. qel lists
           a folder with its titles; Audacious shows rows first and reads
           their tags after, so its rows are ready before its list is.
Memory (PSS, resident, private dirty, and unique set size) and the number of
shared libraries mapped are read idle 5 s after the resumed start, and 5 s
after the one-file start while the MP3 plays.
"""
import ctypes
import ctypes.util
import os
import select
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

QEL = os.path.realpath(sys.argv[1]) if len(sys.argv) > 1 else os.path.realpath("build/bin/qel")
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
AUDACIOUS = shutil.which("audacious")
AUDTOOL = shutil.which("audtool")
ENTRIES = 10000
SETTLE = 5.0


def now():
    return time.monotonic()


# ---- the private desktop


class Desktop:
    def __init__(self, root):
        self.root = root
        self.procs = []
        self.env = dict(os.environ)
        for name in ("PULSE_SERVER", "PULSE_RUNTIME_PATH", "DBUS_SESSION_BUS_ADDRESS", "QEL_AUDIO_OUTPUT",
                     "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "QT_QPA_PLATFORM", "SESSION_MANAGER"):
            self.env.pop(name, None)
        self.env.update(HOME=f"{root}/home", XDG_CONFIG_HOME=f"{root}/config", XDG_STATE_HOME=f"{root}/state",
                        XDG_DATA_HOME=f"{root}/data", XDG_CACHE_HOME=f"{root}/cache",
                        XDG_RUNTIME_DIR=f"{root}/runtime", LANG="C.UTF-8")
        for d in ("home", "config", "state", "data", "cache", "runtime"):
            os.makedirs(f"{root}/{d}", exist_ok=True)
        os.chmod(f"{root}/runtime", 0o700)

    def start(self):
        # X server: it names its display once it listens.
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                pass_fds=(w,), stderr=open(f"{self.root}/xvfb.log", "w"))
        os.close(w)
        self.procs.append(xvfb)
        display = b""
        while not display.endswith(b"\n"):  # the number, then a line end
            chunk = os.read(r, 64)
            if not chunk:
                break
            display += chunk
        os.close(r)
        display = display.decode().strip()
        self.env["DISPLAY"] = ":" + display
        # Session bus.
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                                f"--address=unix:path={self.root}/runtime/bus"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env)
        self.procs.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        # Sound server with a null sink, found where players look for one.
        pulse_dir = f"{self.root}/runtime/pulse"
        os.makedirs(pulse_dir, exist_ok=True)
        with open(f"{self.root}/default.pa", "w") as f:
            f.write("load-module module-null-sink sink_name=bench\n"
                    f"load-module module-native-protocol-unix socket={pulse_dir}/native auth-anonymous=1\n"
                    "set-default-sink bench\n")
        pulse_env = dict(self.env, DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.root}/no-bus")
        pulse = subprocess.Popen(["pulseaudio", "-n", "-F", f"{self.root}/default.pa", "--daemonize=no",
                                  "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no", "--realtime=no",
                                  "--high-priority=no", "--log-target=stderr"],
                                 env=pulse_env, stderr=subprocess.DEVNULL)
        self.procs.append(pulse)
        deadline = now() + 10
        while not os.path.exists(f"{pulse_dir}/native") and now() < deadline:
            time.sleep(0.02)
        self.env["PULSE_SERVER"] = f"unix:{pulse_dir}/native"

    def stop(self):
        for p in reversed(self.procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


class MapWatch:
    """Reports when a top-level window is mapped on the display."""

    def __init__(self, display):
        self.x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        self.x.XPending.argtypes = [ctypes.c_void_p]
        self.x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("no X display")
        self.x.XSelectInput(self.dpy, self.x.XDefaultRootWindow(self.dpy), 1 << 19)  # SubstructureNotify
        self.x.XFlush(self.dpy)
        self.fd = self.x.XConnectionNumber(self.dpy)
        self.event = ctypes.create_string_buffer(192)

    def close(self):
        self.x.XCloseDisplay(self.dpy)

    def drain(self):
        """The time of the first map of an ordinary window among the events
        that have arrived, or None."""
        seen = None
        while self.x.XPending(self.dpy):
            self.x.XNextEvent(self.dpy, self.event)
            kind = struct.unpack_from("i", self.event.raw, 0)[0]
            override_redirect = struct.unpack_from("i", self.event.raw, 48)[0]
            if kind == 19 and not override_redirect and seen is None:  # MapNotify
                seen = now()
        return seen


class ReadWatch:
    """Whether every file of a folder has been read, by any process: each
    opened, and each but one closed again without writing (a player keeps
    the file it plays open)."""

    IN_CLOSE_NOWRITE = 0x10
    IN_OPEN = 0x20

    def __init__(self, folder):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        mask = self.IN_CLOSE_NOWRITE | self.IN_OPEN
        if self.fd < 0 or self.libc.inotify_add_watch(self.fd, folder.encode(), mask) < 0:
            raise OSError(ctypes.get_errno(), "inotify")
        self.opened = set()
        self.closed = set()

    def close(self):
        os.close(self.fd)

    def all_read(self, count):
        while True:
            try:
                data = os.read(self.fd, 1 << 16)
            except BlockingIOError:
                break
            pos = 0
            while pos + 16 <= len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, pos)
                name = data[pos + 16:pos + 16 + length].rstrip(b"\0")
                if name and mask & self.IN_OPEN:
                    self.opened.add(name)
                if name and mask & self.IN_CLOSE_NOWRITE:
                    self.closed.add(name)
                pos += 16 + length
        return len(self.opened) >= count and len(self.closed) >= count - 1


# ---- what each player is asked


def qel_ready_probe(env):
    """Connects to the player's instance socket as soon as it listens and
    sends a command number nobody uses; the answer comes once the player
    has acted on it, after its first open."""
    path = f"{env['XDG_RUNTIME_DIR']}/qel/qel.sock"
    state = {"sock": None, "sent": False}

    def poll():
        if state["sock"] is None:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                s.connect(path)
            except OSError:
                s.close()
                return None
            s.sendall(b"C" + struct.pack("<I", 1) + b"0")
            s.setblocking(False)
            state["sock"] = s
        try:
            answer = state["sock"].recv(1)
        except BlockingIOError:
            return None
        if answer == b"1":
            return now()
        # Dropped: the player went away or refused; try again.
        state["sock"].close()
        state["sock"] = None
        return None

    def close():
        if state["sock"] is not None:
            state["sock"].close()

    return poll, close


def audtool(env, *args):
    try:
        out = subprocess.run([AUDTOOL, *args], env=env, capture_output=True, timeout=2)
    except subprocess.TimeoutExpired:
        return ""
    return out.stdout.decode(errors="replace").strip()


def audacious_ready_probe(env, scenario):
    state = {"next": 0.0}

    def poll():
        if now() < state["next"]:
            return None
        state["next"] = now() + 0.010
        if scenario == "file":
            ok = audtool(env, "--playback-status") == "playing"
        else:
            ok = audtool(env, "--playlist-length") == str(ENTRIES)
        return now() if ok else None

    return poll, lambda: None


def sound_server_plays(env, pid):
    """Whether the process has a stream on the sound server that is not held."""
    out = subprocess.run(["pactl", "list", "sink-inputs"], env=env, capture_output=True, text=True).stdout
    for block in out.split("\n\n"):
        if f'application.process.id = "{pid}"' in block and "Corked: no" in block:
            return True
    return False


# ---- measuring one start


def memory(pid):
    fields = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].endswith(":"):
                fields[parts[0][:-1]] = int(parts[1])
    libs = set()
    with open(f"/proc/{pid}/maps") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 6 and ".so" in os.path.basename(parts[5]):
                libs.add(parts[5])
    return {
        "pss": fields.get("Pss", 0) / 1024,
        "rss": fields.get("Rss", 0) / 1024,
        "dirty": fields.get("Private_Dirty", 0) / 1024,
        "uss": (fields.get("Private_Dirty", 0) + fields.get("Private_Clean", 0)) / 1024,
        "libs": len(libs),
    }


def run_once(desktop, player, scenario, args, measure_memory, folder=None):
    env = dict(desktop.env)
    if player == "qel":
        sock = f"{env['XDG_RUNTIME_DIR']}/qel/qel.sock"
        if os.path.exists(sock):
            os.unlink(sock)
        command = [QEL, *args]
        poll, close = qel_ready_probe(env)
    else:
        command = [AUDACIOUS, *args]
        poll, close = audacious_ready_probe(env, scenario)
    watch = MapWatch(env["DISPLAY"])
    reads = ReadWatch(folder) if scenario == "folder" else None
    start = now()
    proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = ready = titled = None
    deadline = start + 30
    try:
        while (shown is None or ready is None or (reads and titled is None)) and now() < deadline \
                and proc.poll() is None:
            readable, _, _ = select.select([watch.fd] + ([reads.fd] if reads else []), [], [], 0.002)
            if shown is None:
                shown = watch.drain()
            if ready is None:
                ready = poll()
            if reads and titled is None and reads.all_read(ENTRIES):
                titled = now()
        result = {"window": (shown - start) * 1000 if shown else None,
                  "ready": (ready - start) * 1000 if ready else None,
                  "titled": (titled - start) * 1000 if titled else None}
        if measure_memory and ready:
            time.sleep(max(0.0, SETTLE - (now() - ready)))
            result.update(memory(proc.pid))
            if player == "audacious" and scenario == "file":
                result["playing"] = audtool(env, "--playback-status") == "playing"
            if player == "qel" and scenario == "file":
                result["playing"] = sound_server_plays(env, proc.pid)
        return result
    finally:
        close()
        watch.close()
        if reads:
            reads.close()
        proc.kill()
        proc.wait()


# ---- the saved states every run starts from


def make_media(root):
    music = f"{root}/music"
    folder = f"{root}/folder"
    os.makedirs(music)
    os.makedirs(folder)
    song = f"{music}/song.mp3"
    subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=120",
                    "-ac", "2", "-ar", "44100", "-c:a", "libmp3lame", "-b:a", "128k",
                    "-metadata", "title=ベンチ", "-metadata", "artist=Qel", song], check=True)
    for i in range(ENTRIES):
        os.link(song, f"{folder}/track {i + 1:05d}.mp3")
    with open(f"{root}/list.m3u8", "w", encoding="utf-8") as f:
        f.write("#EXTM3U\n")
        for i in range(ENTRIES):
            f.write(f"#EXTINF:120,曲 {i:05d}\n{folder}/track {i + 1:05d}.mp3\n")
    return song, folder


def saved_states(desktop, root):
    """qel's auto-saved playlist, and Audacious's configuration with the same
    10,000 entries in its playlist (made by Audacious itself, headless)."""
    qel_state = f"{root}/saved/qel-state"
    os.makedirs(f"{qel_state}/qel")
    shutil.copy(f"{root}/list.m3u8", f"{qel_state}/qel/qel.m3u8")
    aud_config = f"{root}/saved/audacious-config"
    if AUDACIOUS:
        env = dict(desktop.env, XDG_CONFIG_HOME=f"{root}/saved/aud-home")
        proc = subprocess.Popen([AUDACIOUS, "-H", f"{root}/list.m3u8"], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = now() + 120
        while audtool(env, "--playlist-length") != str(ENTRIES) and now() < deadline:
            time.sleep(0.2)
        audtool(env, "--playback-stop")
        audtool(env, "--shutdown")
        proc.wait(30)
        shutil.copytree(f"{root}/saved/aud-home/audacious", aud_config)
    return qel_state, aud_config


def restore(desktop, qel_state, aud_config):
    for sub in ("state", "config"):
        shutil.rmtree(f"{desktop.root}/{sub}", ignore_errors=True)
        os.makedirs(f"{desktop.root}/{sub}")
    shutil.copytree(qel_state, f"{desktop.root}/state", dirs_exist_ok=True)
    if os.path.isdir(aud_config):
        shutil.copytree(aud_config, f"{desktop.root}/config/audacious")


# ---- report


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def fmt(v, unit="ms"):
    return "   -   " if v is None else f"{v:7.1f} {unit}"


def main():
    if not os.access(QEL, os.X_OK):
        sys.exit(f"no program at {QEL}")
    root = tempfile.mkdtemp(prefix="qel-startup-")
    desktop = Desktop(root)
    try:
        desktop.start()
        song, folder = make_media(root)
        qel_state, aud_config = saved_states(desktop, root)
        players = ["qel"] + (["audacious"] if AUDACIOUS and AUDTOOL else [])
        scenarios = [("resumed", []), ("folder", [folder]), ("file", [song])]
        times = {}
        memories = {}
        for scenario, args in scenarios:
            for i in range(RUNS):
                for player in players:
                    restore(desktop, qel_state, aud_config)
                    last = i == RUNS - 1
                    r = run_once(desktop, player, scenario, args, last and scenario in ("resumed", "file"), folder)
                    times.setdefault((player, scenario), []).append(r)
                    if "pss" in r:
                        memories[(player, scenario)] = r
                    titled = f", titled {fmt(r['titled'])}" if scenario == "folder" else ""
                    print(f"{scenario:8s} {player:10s} run {i + 1}: window {fmt(r['window'])}, "
                          f"ready {fmt(r['ready'])}{titled}", flush=True)
        print()
        print(f"median of {RUNS} runs       window shown     ready list     titles read")
        for scenario, _ in scenarios:
            for player in players:
                rs = times[(player, scenario)]
                titled = f"  {fmt(median([r['titled'] for r in rs]))}" if scenario == "folder" else ""
                print(f"  {scenario:8s} {player:10s} {fmt(median([r['window'] for r in rs]))}  "
                      f"{fmt(median([r['ready'] for r in rs]))}{titled}")
        print()
        print("memory                    PSS        resident   private dirty  unique     libraries")
        for scenario, label in (("resumed", "idle, 10,000 entries"), ("file", "an MP3 playing")):
            for player in players:
                m = memories.get((player, scenario))
                if not m:
                    continue
                note = "" if m.get("playing", True) else "  (not playing!)"
                print(f"  {label:21s} {player:10s} {m['pss']:6.1f} MB  {m['rss']:6.1f} MB  {m['dirty']:6.1f} MB"
                      f"    {m['uss']:6.1f} MB  {m['libs']:4d}{note}")
    finally:
        desktop.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
