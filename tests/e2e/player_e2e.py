#!/usr/bin/env python3
"""Drives the real player under an X server: keys, second starts, and what a
user finds afterwards (title, ini, auto-saved playlist). Argument 1 is the
qel program, argument 2 the demo folder with real media."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
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


def main():
    root = tempfile.mkdtemp(prefix="qel-e2e-")
    env = dict(os.environ)
    env.update(XDG_CONFIG_HOME=f"{root}/config", XDG_STATE_HOME=f"{root}/state",
               XDG_RUNTIME_DIR=f"{root}/runtime", XDG_DATA_HOME=f"{root}/data", QEL_AUDIO_OUTPUT="null")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    # The player follows the master volume of any sound server it finds: keep
    # it away from the user's own.
    for name in ("PULSE_SERVER", "PULSE_RUNTIME_PATH"):
        env.pop(name, None)
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    music = f"{root}/music"
    other = f"{root}/other"
    os.makedirs(music)
    os.makedirs(other)
    for name in ("01 朝の歌.mp3", "02 夜の歌.mp3", "03 Evening.ogg"):
        shutil.copy(f"{DEMO}/{name}", f"{music}/{name}")
    shutil.copy(f"{DEMO}/05 scale.mid", f"{other}/solo.mid")

    def start(*args):
        return subprocess.Popen([QEL, *args], env=env, cwd=root)

    def second(*args):
        return subprocess.run([QEL, *args], env=env, cwd=root, timeout=30).returncode

    def window():
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "qel"], capture_output=True, text=True).stdout.split()
        for wid in out:
            name = title(wid)
            if name:
                return wid
        return None

    def title(wid):
        return subprocess.run(["xdotool", "getwindowname", wid], capture_output=True, text=True).stdout.strip()

    def key(wid, name):
        subprocess.run(["xdotool", "windowactivate", "--sync", wid], capture_output=True)
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], capture_output=True)
        subprocess.run(["xdotool", "key", "--window", wid, name], capture_output=True)

    try:
        player = start(music + "/")
        wid = wait_for(window)
        check(wid is not None, "the window appears")
        if not wid:
            return
        first = wait_for(lambda: "朝の歌" in title(wid) and title(wid))
        check(bool(first), f"the title names the playing file ({title(wid)!r})")

        key(wid, "Down")
        check(bool(wait_for(lambda: "夜の歌" in title(wid))), f"Down plays the next file ({title(wid)!r})")

        key(wid, "Escape")
        try:
            player.wait(timeout=15)
        except subprocess.TimeoutExpired:
            player.kill()
        check(player.returncode == 0, "Escape ends the player")
        ini = f"{root}/config/qel/qel.ini"
        check(os.path.exists(ini), "the ini is written")
        if os.path.exists(ini):
            text = open(ini, encoding="utf-8", errors="replace").read()
            check("SystemSetting" in text, "the ini holds its settings")
        playlist = f"{root}/state/qel/qel.m3u8"
        check(os.path.exists(playlist), "the playlist is auto-saved")
        if os.path.exists(playlist):
            text = open(playlist, encoding="utf-8").read()
            check("03 Evening.ogg" in text and "01 朝の歌.mp3" in text, "the auto-saved playlist holds the list")

        # A start without arguments resumes that list.
        player = start()
        wid = wait_for(window)
        check(wid is not None, "the resumed player appears")
        key(wid, "Down")
        check(bool(wait_for(lambda: any(n in title(wid) for n in ("朝の歌", "夜の歌", "Evening")))),
              f"the resumed list plays ({title(wid)!r})")
        before = title(wid)
        check(second("/Next") == 0, "/Next returns")
        check(bool(wait_for(lambda: title(wid) != before)), f"/Next advances ({before!r} -> {title(wid)!r})")

        check(second(f"{other}/solo.mid") == 0, "a second start with a file returns")
        check(bool(wait_for(lambda: "solo" in title(wid))), f"the second start's file plays ({title(wid)!r})")
        check(window() == wid, "no second window stays")

        check(second() == 0, "an empty second start returns")
        check(bool(wait_for(lambda: title(wid) == "Qel")), f"an empty second start clears the list ({title(wid)!r})")

        key(wid, "Escape")
        try:
            player.wait(timeout=15)
        except subprocess.TimeoutExpired:
            player.kill()
        if os.path.exists(playlist):
            text = open(playlist, encoding="utf-8").read()
            check("solo.mid" not in text, "the cleared list is saved empty")
    finally:
        for p in (locals().get("player"),):
            if p and p.poll() is None:
                p.kill()
        shutil.rmtree(root, ignore_errors=True)


main()
print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
