#!/usr/bin/env python3
"""Hands the real player pipes and endless devices where it expects a
playlist, a saved search or a media file: on its command line and through a
second start. Each time the player must stay responsive (a later hand-off
still plays, the list it shows is empty) and close with Escape. Argument 1 is
the qel program, argument 2 the demo folder with real media. The X server is
the script's own: Xvfb picks a free display itself, so no other test that
runs at the same time can share it."""
import ctypes
import os
import resource
import signal
import shutil
import subprocess
import sys
import tempfile
import time

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
REAL_NAME = "01 朝の歌.mp3"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def wait_for(predicate, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    return predicate()


def end_with_this_script():
    # Whatever ends the script (a test time-out included) ends its children.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def limit_memory():
    end_with_this_script()
    # A player that reads without end must fail here, not take the machine.
    limit = 4 << 30
    resource.setrlimit(resource.RLIMIT_DATA, (limit, limit))


def start_x_server():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              preexec_fn=end_with_this_script)
    os.close(write)
    number = b""
    with os.fdopen(read, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        server.kill()
        server.wait()
        raise SystemExit("Xvfb did not start")
    return server, ":" + number.decode().strip()


def main():
    server, display = start_x_server()
    os.environ["DISPLAY"] = display  # for xdotool as well
    root = tempfile.mkdtemp(prefix="qel-hostile-")
    env = dict(os.environ)
    env.update(XDG_CONFIG_HOME=f"{root}/config", XDG_STATE_HOME=f"{root}/state",
               XDG_RUNTIME_DIR=f"{root}/runtime", XDG_DATA_HOME=f"{root}/data", QEL_AUDIO_OUTPUT="null")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    for name in ("PULSE_SERVER", "PULSE_RUNTIME_PATH"):
        env.pop(name, None)
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    music, hostile = f"{root}/music", f"{root}/hostile"
    os.makedirs(music)
    os.makedirs(hostile)
    real = f"{music}/{REAL_NAME}"
    shutil.copy(f"{DEMO}/{REAL_NAME}", real)
    targets = []
    for ext in (".m3u8", ".m3u", ".qel", ".mp3"):
        os.mkfifo(f"{hostile}/fifo{ext}")
        os.symlink("/dev/zero", f"{hostile}/zero{ext}")
        targets += [f"{hostile}/fifo{ext}", f"{hostile}/zero{ext}"]
    players = []

    def start(*args):
        p = subprocess.Popen([QEL, *args], env=env, cwd=root, preexec_fn=limit_memory)
        players.append(p)
        return p

    def second(*args):
        try:
            return subprocess.run([QEL, *args], env=env, cwd=root, timeout=30,
                                  preexec_fn=limit_memory).returncode
        except subprocess.TimeoutExpired:
            return None

    def title(wid):
        return subprocess.run(["xdotool", "getwindowname", wid], capture_output=True, text=True).stdout.strip()

    def window(player):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(player.pid)],
                             capture_output=True, text=True).stdout.split()
        for wid in out:
            if title(wid):
                return wid
        return None

    def key(wid, name):
        subprocess.run(["xdotool", "windowactivate", "--sync", wid], capture_output=True, timeout=10)
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], capture_output=True, timeout=10)
        subprocess.run(["xdotool", "key", "--window", wid, name], capture_output=True, timeout=10)

    def responds(player, wid, what):
        """A hand-off of a real file still reaches the player and plays."""
        check(second(real) == 0, f"{what}: a second start with a real file returns")
        check(bool(wait_for(lambda: "朝の歌" in title(wid))), f"{what}: the handed file plays ({title(wid)!r})")
        check(player.poll() is None, f"{what}: the player is still running")

    def close(player, wid, what):
        key(wid, "Escape")
        try:
            player.wait(timeout=15)
        except subprocess.TimeoutExpired:
            player.kill()
            player.wait()
        check(player.returncode == 0, f"{what}: Escape ends the player (exit {player.returncode})")

    try:
        # On the command line.
        for target in targets:
            what = "command line " + os.path.basename(target)
            player = start(target)
            wid = wait_for(lambda: window(player), timeout=15)
            check(wid is not None, f"{what}: the window appears")
            if not wid:
                player.kill()
                player.wait()
                continue
            check(bool(wait_for(lambda: title(wid) == "Qel", timeout=5)), f"{what}: the list is empty ({title(wid)!r})")
            responds(player, wid, what)
            close(player, wid, what)

        # Handed over by a second start to a running player.
        player = start(real)
        wid = wait_for(lambda: window(player), timeout=15)
        check(wid is not None, "hand-off: the window appears")
        if wid:
            for target in targets:
                what = "hand-off " + os.path.basename(target)
                check(second(target) == 0, f"{what}: the second start returns")
                check(bool(wait_for(lambda: title(wid) == "Qel", timeout=5)),
                      f"{what}: the list is emptied ({title(wid)!r})")
                responds(player, wid, what)
            close(player, wid, "hand-off")
    finally:
        if failures and server.poll() is not None:
            print(f"the X server ended during the run (exit {server.returncode}): the failures above follow from it")
        for p in players:
            if p.poll() is None:
                p.kill()
                p.wait()
        shutil.rmtree(root, ignore_errors=True)
        server.terminate()
        server.wait()


main()
print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
