#!/usr/bin/env python3
"""Hands the real player pipes and endless devices where it expects a
playlist, a saved search or a media file: on its command line and through a
second start. Each time the player must stay responsive (a later hand-off
still plays, the list it shows is empty) and close with Escape. Argument 1 is
the qel program, argument 2 the demo folder with real media."""
import os
import resource
import shutil
import subprocess
import sys

from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
REAL_NAME = "01 朝の歌.mp3"
check = Checks()


def limit_memory():
    # A player that reads without end must fail here, not take the machine.
    limit = 4 << 30
    resource.setrlimit(resource.RLIMIT_DATA, (limit, limit))


def main():
    with Desktop(QEL) as d:
        music, hostile = d.path("music"), d.path("hostile")
        os.makedirs(music)
        os.makedirs(hostile)
        real = os.path.join(music, REAL_NAME)
        shutil.copy(os.path.join(DEMO, REAL_NAME), real)
        targets = []
        for ext in (".m3u8", ".m3u", ".qel", ".mp3"):
            os.mkfifo(f"{hostile}/fifo{ext}")
            os.symlink("/dev/zero", f"{hostile}/zero{ext}")
            targets += [f"{hostile}/fifo{ext}", f"{hostile}/zero{ext}"]

        def start(*args):
            p = subprocess.Popen([QEL, *args], env=d.env, cwd=d.root, preexec_fn=limit_memory)
            d.processes.append(p)
            return p

        def second(*args):
            try:
                return subprocess.run([QEL, *args], env=d.env, cwd=d.root, timeout=30,
                                      preexec_fn=limit_memory).returncode
            except subprocess.TimeoutExpired:
                return None

        def responds(player, wid, what):
            """A hand-off of a real file still reaches the player and plays."""
            check(second(real) == 0, f"{what}: a second start with a real file returns")
            check(bool(wait_for(lambda: "朝の歌" in d.title(wid))), f"{what}: the handed file plays ({d.title(wid)!r})")
            check(player.poll() is None, f"{what}: the player is still running (exit {player.returncode})")

        def close(player, wid, what):
            d.key(wid, "Escape")
            code = d.stop(player)
            check(code == 0, f"{what}: Escape ends the player (exit {code})")

        # On the command line.
        for target in targets:
            what = "command line " + os.path.basename(target)
            player = start(target)
            wid = d.window()
            if not check(wid is not None, f"{what}: the window appears"):
                d.stop(player, timeout=0.1)
                continue
            check(bool(wait_for(lambda: d.title(wid) == "Qel", timeout=5)), f"{what}: the list is empty ({d.title(wid)!r})")
            responds(player, wid, what)
            close(player, wid, what)
            wait_for(lambda: not d.windows(), timeout=5)

        # Handed over by a second start to a running player.
        player = start(real)
        wid = d.window()
        if check(wid is not None, "hand-off: the window appears"):
            for target in targets:
                what = "hand-off " + os.path.basename(target)
                check(second(target) == 0, f"{what}: the second start returns")
                check(bool(wait_for(lambda: d.title(wid) == "Qel", timeout=5)),
                      f"{what}: the list is emptied ({d.title(wid)!r})")
                responds(player, wid, what)
            # A path longer than any file's is refused by the second start
            # itself, which says so; the player is not disturbed.
            long = d.start("/" + "a" * 5000 + ".mp3")
            box = wait_for(lambda: next(iter(d.run(["xdotool", "search", "--onlyvisible", "--pid", str(long.pid)],
                                                  text=True).stdout.split()), None), 10)
            check(box is not None and d.title(box) == "Qel", "a 5000-byte path: the start tells the user")
            if box:
                d.key(box, "Return")
            check(bool(wait_for(lambda: long.poll() is not None, 10)) and long.returncode == 1,
                  f"and ends without handing it over (exit {long.returncode})")
            check("朝の歌" in d.title(wid), f"the player plays on ({d.title(wid)!r})")
            close(player, wid, "hand-off")
        if check.failures and d.processes[0].poll() is not None:
            print(f"the X server ended during the run (exit {d.processes[0].returncode})")


main()
check.exit()
