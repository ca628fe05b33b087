"""A private desktop for one end-to-end test: its own X server on a free
display, optionally a real window manager that draws frames (openbox), and
private runtime, config, state and data folders, so that no test touches the
user's files or another test's player. Everything started here is stopped
on leaving, whatever happened.

With QEL_E2E_PLATFORM=wayland the same scenarios run the player as a native
Wayland client of weston, whose X11 backend draws into that X server: the
keys and clicks xdotool sends reach weston's window, which hands them to the
focused client, and screenshots of the X screen show weston's output. What
X cannot see (the client's title, place and state) is read from weston's
scene graph."""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time


class Checks:
    def __init__(self):
        self.failures = []

    def __call__(self, condition, what):
        print(("ok   " if condition else "FAIL ") + what, flush=True)
        if not condition:
            self.failures.append(what)
        return condition

    def exit(self):
        print(f"{len(self.failures)} failure(s)", flush=True)
        sys.exit(1 if self.failures else 0)


def wait_for(predicate, timeout=10.0, step=0.05):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


class Image:
    """A screenshot as rows of (r, g, b)."""

    def __init__(self, data):
        # P6 <w> <h> <max>\n<bytes>
        parts, pos = [], 0
        while len(parts) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            parts.append(data[start:pos])
        self.width, self.height = int(parts[1]), int(parts[2])
        self.pixels = data[pos + 1:]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


class Desktop:
    OUTSIDE = 16  # X screen columns right of weston's window, under Wayland

    def __init__(self, qel, window_manager=False, screen="1024x768x24", platform=None):
        self.qel = qel
        self.window_manager = window_manager
        self.screen = screen
        self.pointer_known = False
        self.platform = platform or os.environ.get("QEL_E2E_PLATFORM", "x11")
        # "wayland-headless": weston without any output to look at or type
        # into, for scenarios that need neither.
        self.wayland = self.platform.startswith("wayland")
        self.processes = []

    def __enter__(self):
        # Stopped from outside (a test runner's timeout), it still cleans up.
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
        self.root = tempfile.mkdtemp(prefix="qel-e2e-")
        try:
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _start(self):
        read, write = os.pipe()
        width, height, depth = self.screen.split("x")
        if self.wayland:
            # A strip of X screen beside weston's window: the pointer can leave
            # it and come back (see pointer()).
            width = str(int(width) + self.OUTSIDE)
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", f"{width}x{height}x{depth}",
                                 "-nolisten", "tcp",
                                 "-noreset"], pass_fds=(write,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write)
        number = b""
        with os.fdopen(read, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        env = dict(os.environ)
        for name in ("PULSE_SERVER", "PULSE_RUNTIME_PATH", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER",
                     "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        env.update(DISPLAY=self.display, XDG_CONFIG_HOME=self.path("config"), XDG_STATE_HOME=self.path("state"),
                   XDG_RUNTIME_DIR=self.path("runtime"), XDG_DATA_HOME=self.path("data"),
                   XDG_CACHE_HOME=self.path("cache"), HOME=self.path("home"), QEL_AUDIO_OUTPUT="null")
        for name in ("config", "state", "data", "cache", "home"):
            os.makedirs(self.path(name), exist_ok=True)
        os.makedirs(self.path("runtime"), mode=0o700, exist_ok=True)
        self.env = env
        if self.wayland:
            self._start_weston()
        elif self.window_manager:
            wm = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
            self.processes.append(wm)
            # Running once it owns the root window's redirect: the root
            # window then has _NET_SUPPORTING_WM_CHECK.
            wait_for(lambda: b"_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run(["xprop", "-root"]).stdout, 10)

    def _start_weston(self):
        # weston frames its clients itself: no X window manager is needed.
        width, height = self.screen.split("x")[:2]
        socket = "wayland-qel"
        backend = "headless-backend.so" if self.platform == "wayland-headless" else "x11-backend.so"
        weston = subprocess.Popen(["weston", f"--backend={backend}", "--use-pixman", f"--socket={socket}",
                                   f"--width={width}", f"--height={height}", "--idle-time=0", "--debug",
                                   f"--log={self.path('weston.log')}"], env=self.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(weston)
        if not wait_for(lambda: os.path.exists(self.path("runtime", socket)) and "Output 0" in self.scene(), 15):
            raise RuntimeError("weston did not start")

    @property
    def player_env(self):
        if not self.wayland:
            return self.env
        # The player sees only the compositor: no X display to fall back on.
        env = {k: v for k, v in self.env.items() if k != "DISPLAY"}
        env.update(WAYLAND_DISPLAY="wayland-qel", QT_QPA_PLATFORM="wayland")
        return env

    def scene(self):
        """weston's scene graph as text (empty when weston does not answer)."""
        env = dict(self.env, WAYLAND_DISPLAY="wayland-qel")
        try:
            return subprocess.run(["weston-debug", "scene-graph"], env=env, capture_output=True, text=True,
                                  timeout=5).stdout
        except subprocess.TimeoutExpired:
            return ""

    def toplevels(self):
        """The clients' top-level windows: surface id -> (title, layer, view
        rectangle, opaque rectangle, application id). Layers count from the top; weston puts
        full-screen windows in a layer of their own above the panel."""
        found, layer = {}, None
        lines = self.scene().splitlines()
        for i, line in enumerate(lines):
            m = re.match(r"Layer \d+ \(pos (0x[0-9a-f]+)\)", line)
            if m:
                layer = int(m.group(1), 16)
            m = re.search(r"role xdg_toplevel, PID \d+, surface ID (\d+), top-level window '(.*)' of (\S*), ", line)
            if not m:
                continue
            rects = []
            for follow in lines[i + 1:i + 4]:
                r = re.search(r"\((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)", follow)
                if r:
                    x0, y0, x1, y1 = map(int, r.groups())
                    rects.append((x0, y0, x1 - x0, y1 - y0))
            found.setdefault(m.group(1), (m.group(2), layer, rects[0] if rects else None,
                                          rects[1] if len(rects) > 1 else None, m.group(3)))
        return found

    def full_screen(self, wid):
        """Whether the window is held full screen by its window manager."""
        if self.wayland:
            # desktop-shell's full-screen layer lies above its panel's.
            window = self.toplevels().get(wid)
            return bool(window) and window[1] > 0x80000000
        state = self.run(["xprop", "-id", wid, "_NET_WM_STATE"], text=True).stdout
        return "_NET_WM_STATE_FULLSCREEN" in state

    def __exit__(self, *exc):
        for p in reversed(self.processes):
            if p.poll() is None:
                p.kill()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    pass
        for mount in getattr(self, "mounts", []):
            subprocess.run(["umount", "-l", mount], stderr=subprocess.DEVNULL)
        shutil.rmtree(self.root, ignore_errors=True)
        return False

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def run(self, args, **kw):
        return subprocess.run(args, env=self.env, capture_output=True, **kw)

    # ---- the player

    def start(self, *args, env=None):
        p = subprocess.Popen([self.qel, *args], env=env or self.player_env, cwd=self.root)
        self.processes.append(p)
        return p

    def second(self, *args, timeout=30):
        """A second start, to its end; its exit code, or None when it hung."""
        try:
            return subprocess.run([self.qel, *args], env=self.player_env, cwd=self.root, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return None

    def second_later(self, *args):
        return self.start(*args)

    def windows(self, name=None):
        if self.wayland:
            found = [wid for wid, window in self.toplevels().items() if window[0]]
            return [w for w in found if name is None or self.title(w) == name]
        out = self.run(["xdotool", "search", "--onlyvisible", "--class", "qel"], text=True).stdout.split()
        found = [w for w in out if self.title(w)]
        if name is not None:
            found = [w for w in found if self.title(w) == name]
        return found

    def window(self, timeout=15):
        return wait_for(lambda: (self.windows() or [None])[0], timeout)

    def title(self, wid):
        if self.wayland:
            return self.toplevels().get(wid, ("",))[0]
        return self.run(["xdotool", "getwindowname", wid], text=True).stdout.strip()

    def focus(self, wid):
        if self.wayland:
            return  # weston gives the newest window the keyboard; X sends keys to weston's window
        self.run(["xdotool", "windowactivate", "--sync", wid])
        self.run(["xdotool", "windowfocus", "--sync", wid])

    def key(self, wid, *names):
        # Real key events to the focused window. (Sent to a named window, a
        # key whose press closes that window never gets its release, and the
        # server repeats it into whatever window comes next.)
        self.focus(wid)
        for name in names:
            self.run(["xdotool", "key", name])

    def pointer(self, x, y):
        if self.wayland and not self.pointer_known:
            # weston's X11 backend moves its pointer by the difference from the
            # last position it was told; only crossing into its window tells it
            # where the pointer is. Without that, a click can land anywhere
            # (the panel's terminal launcher, for one). Once told, it follows.
            self.pointer_known = True
            self.run(["xdotool", "mousemove", "--sync", str(int(self.screen.split("x")[0]) + self.OUTSIDE // 2),
                      str(y)])
        self.run(["xdotool", "mousemove", "--sync", str(x), str(y)])

    def wheel(self, x, y, up):
        self.pointer(x, y)
        self.run(["xdotool", "click", "4" if up else "5"])

    def client_rect(self, wid):
        """The window's client area on the screen: x, y, width, height."""
        if self.wayland:
            # The client draws its own frame around the part it keeps opaque:
            # that part is the client area (the whole view when frameless).
            window = self.toplevels().get(wid)
            return (window[3] or window[2]) if window else (0, 0, 0, 0)
        info = self.run(["xwininfo", "-id", wid], text=True).stdout
        value = {}
        for line in info.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    value[key] = int(line.split(":")[1])
        return (value["Absolute upper-left X"], value["Absolute upper-left Y"], value["Width"], value["Height"])

    def screenshot(self, save=None):
        data = self.run(["import", "-window", "root", "-depth", "8", "ppm:-"]).stdout
        if save:
            with open(save, "wb") as f:
                f.write(data)
        return Image(data)

    def stop(self, player, timeout=15):
        """Waits for the player to end; kills it when it does not."""
        try:
            return player.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            player.kill()
            player.wait()
            return None

    # ---- its files

    def ini(self):
        values = {}
        try:
            with open(self.path("config", "qel", "qel.ini"), encoding="utf-8", errors="replace") as f:
                for line in f:
                    if "=" in line:
                        key, value = line.split("=", 1)
                        values[key.strip()] = value.strip()
        except FileNotFoundError:
            pass
        return values

    def write_ini(self, text):
        os.makedirs(self.path("config", "qel"), exist_ok=True)
        with open(self.path("config", "qel", "qel.ini"), "w", encoding="utf-8") as f:
            f.write(text)

    def playlist(self):
        try:
            with open(self.path("state", "qel", "qel.m3u8"), encoding="utf-8-sig") as f:
                return [line.strip() for line in f if line.strip() and not line.startswith("#")]
        except FileNotFoundError:
            return None

    def music(self, folder, names, source):
        """Files of one source under many names: links when the file system
        allows, copies otherwise."""
        os.makedirs(folder, exist_ok=True)
        master = os.path.join(folder, "." + os.path.basename(source))
        shutil.copy(source, master)
        for name in names:
            try:
                os.link(master, os.path.join(folder, name))
            except OSError:
                shutil.copy(master, os.path.join(folder, name))
        os.unlink(master)
        return folder

    def mount_tmpfs(self, folder, size):
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", folder], check=True)
        self.mounts = getattr(self, "mounts", []) + [folder]


def kill_quietly(p, sig=signal.SIGKILL):
    try:
        p.send_signal(sig)
    except ProcessLookupError:
        pass
