#!/usr/bin/env python3
"""The end of the session through the real program: SIGTERM, SIGHUP and SIGINT,
a session manager's checkpoint and logout (a real XSMP peer of the tests'
own), also maximised with a dialog open, under openbox; and files that cannot be written at exit on a
small full tmpfs. Argument 1 is the qel program, argument 2 the demo folder;
QEL_TEST_SESSION_MANAGER names the session manager."""
import os
import signal
import subprocess
import sys
import time

from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SONG = f"{DEMO}/01 朝の歌.mp3"
check = Checks()


def fresh_files(d):
    for f in (d.path("config", "qel", "qel.ini"), d.path("state", "qel", "qel.m3u8")):
        if os.path.exists(f):
            os.unlink(f)


def saved(d, music):
    return (d.playlist() == [f"{music}/a.mp3", f"{music}/b.mp3"]
            and d.ini().get("nowPlaying") == f"{music}/a.mp3")


def open_save_dialog(d, wid):
    d.key(wid, "ctrl+s")
    return wait_for(lambda: (d.windows("Qel") or [None])[0], 10)


def signals(d, music):
    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        player = d.start(music)
        wid = d.window()
        wait_for(lambda: d.title(wid) == "朝の歌")
        fresh_files(d)
        player.send_signal(sig)
        code = d.stop(player)
        check(code == 0 and saved(d, music), f"{sig.name}: the orderly close wrote the playlist and the ini "
                                             f"(exit {code})")

    # Twice in a row, and with the save dialog open: closed once, in order.
    player = d.start(music)
    wid = d.window()
    wait_for(lambda: d.title(wid) == "朝の歌")
    dialog = open_save_dialog(d, wid)
    check(dialog is not None, "the save dialog is open")
    fresh_files(d)
    player.send_signal(signal.SIGTERM)
    player.send_signal(signal.SIGTERM)
    code = d.stop(player)
    check(code == 0 and saved(d, music), f"SIGTERM twice with a dialog open: one orderly close (exit {code})")


def session_manager(d, music):
    manager = os.environ.get("QEL_TEST_SESSION_MANAGER", "")
    if not check(os.access(manager, os.X_OK), "the tests' session manager is built"):
        return
    sm = subprocess.Popen([manager], env=d.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    d.processes.append(sm)
    address = sm.stdout.readline().strip().split("=", 1)[1]
    env = dict(d.env, SESSION_MANAGER=address)

    def tell(command, answers):
        sm.stdin.write(command + "\n")
        sm.stdin.flush()
        return [sm.stdout.readline().strip() for _ in range(answers)]

    d.write_ini("[SystemSetting]\nMasterVolume=OFF\nx= 120\ny= 80\nwidth= 300\nheight= 400\n")
    player = d.start(music, env=env)
    check(sm.stdout.readline().strip() == "registered", "the player registers with the session manager")
    wid = d.window()
    wait_for(lambda: d.title(wid) == "朝の歌")
    check(tell("checkpoint", 1) == ["save-done 1"], "a checkpoint is answered")
    time.sleep(0.5)
    check(player.poll() is None, "and the player goes on")

    # Maximised, with the save dialog open: the orderly close cancels the
    # dialog, restores the window and writes its restored rectangle, as
    # Escape does (a close from the title bar would keep the maximised one).
    d.run(["wmctrl", "-i", "-r", wid, "-b", "add,maximized_vert,maximized_horz"])
    wait_for(lambda: d.client_rect(wid)[2] > 600, 5)
    dialog = open_save_dialog(d, wid)
    check(dialog is not None, "the save dialog is open at logout")
    fresh_files(d)
    answers = tell("logout", 3)
    code = d.stop(player)
    check(answers == ["save-done 1", "die", "closed"], f"the logout runs its course ({answers})")
    check(code == 0 and saved(d, music), f"the logout ran the orderly close (exit {code})")
    kept = tuple(d.ini().get(k) for k in ("x", "y", "width", "height"))
    check(kept == ("120", "80", "300", "400"), f"and kept the restored rectangle ({kept})")


def full_disk(d, music):
    if os.geteuid() != 0:
        print("skip the full tmpfs: mounting needs root", flush=True)
        return
    # Config and state on one small tmpfs, holding last run's files, then
    # filled to the last block.
    disk = d.path("disk")
    d.mount_tmpfs(disk, "256k")
    env = dict(d.env, XDG_CONFIG_HOME=f"{disk}/config", XDG_STATE_HOME=f"{disk}/state")
    os.makedirs(f"{disk}/config/qel")
    os.makedirs(f"{disk}/state/qel")
    old_ini = "[SystemSetting]\r\nMasterVolume=OFF\r\nVolume= 30\r\n"
    old_list = "\ufeff#EXTM3U\r\n#EXTINF:0,old\r\n/old.mp3\r\n"
    with open(f"{disk}/config/qel/qel.ini", "w", encoding="utf-8", newline="") as f:
        f.write(old_ini)
    with open(f"{disk}/state/qel/qel.m3u8", "w", encoding="utf-8", newline="") as f:
        f.write(old_list)
    player = d.start(music, env=env)
    wid = d.window()
    wait_for(lambda: d.title(wid) == "朝の歌")
    fd = os.open(f"{disk}/filler", os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(fd, b"\0" * 4096):
            pass
    except OSError:
        pass
    os.close(fd)
    d.key(wid, "Escape")
    box = wait_for(lambda: next((w for w in d.windows("Qel") if w != wid), None), 10)
    if not check(box is not None, "a message box captioned Qel appears at exit"):
        d.stop(player, 5)
        return
    shot = os.environ.get("QEL_E2E_SHOT")
    if shot:
        d.screenshot(save=d.path("box.ppm"))
        d.run(["convert", d.path("box.ppm"), shot])
    # Its text can be selected and copied, as a user would to find the file:
    # a click into the text, Ctrl+A, Ctrl+C.
    x, y, _, _ = d.client_rect(box)
    d.focus(box)
    d.run(["xdotool", "mousemove", "--sync", str(x + 70), str(y + 14), "click", "1"])
    d.run(["xdotool", "key", "ctrl+a", "ctrl+c"])
    text = wait_for(lambda: d.run(["xclip", "-o", "-selection", "clipboard"], text=True, timeout=5).stdout, 5) or ""
    check(f"{disk}/state/qel/qel.m3u8 の保存に失敗しました。" in text, f"it names the playlist ({text!r})")
    check(f"{disk}/config/qel/qel.ini の保存に失敗しました。" in text, "and the ini")
    check(player.poll() is None, "the player waits for the user")
    d.key(box, "Return")
    check(d.stop(player) == 0, "then it ends")
    with open(f"{disk}/config/qel/qel.ini", encoding="utf-8", newline="") as f:
        check(f.read() == old_ini, "the old ini is whole")
    with open(f"{disk}/state/qel/qel.m3u8", encoding="utf-8", newline="") as f:
        check(f.read() == old_list, "the old playlist is whole")
    check(sorted(os.listdir(f"{disk}/state/qel")) == ["qel.m3u8"], "no temporary file is left")


def main():
    with Desktop(QEL, window_manager=True) as d:
        music = d.music(d.path("music"), ["a.mp3", "b.mp3"], SONG)
        signals(d, music)
        session_manager(d, music)
        full_disk(d, music)


main()
check.exit()
