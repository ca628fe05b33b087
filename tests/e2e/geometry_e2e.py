#!/usr/bin/env python3
"""The window's place and size across restarts under a window manager that
draws frames (openbox): what the ini keeps is where the window comes back,
run after run; a maximised window closed from its title bar keeps the
maximised rectangle, and Escape keeps the rectangle it is restored to.
Under Wayland a window cannot place itself: the ini's place is kept as it
was, for the next start under X11, and its size still applies.
Argument 1 is the qel program, argument 2 the demo folder."""
import os
import sys
import time

from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
check = Checks()


def rect(ini):
    return tuple(int(ini.get(k, "0")) for k in ("x", "y", "width", "height"))


def frame(d, wid):
    """The frame's top-left on the screen (the window manager's parent of
    the client), and the client's size."""
    if d.wayland:
        # The compositor places the window; only its size is the ini's.
        _, _, w, h = d.client_rect(wid)
        return None, None, w, h
    tree = d.run(["xwininfo", "-id", wid, "-tree"], text=True).stdout
    parent = next(line.split()[3] for line in tree.splitlines() if line.strip().startswith("Parent window id:"))
    x, y, w, h = d.client_rect(wid)
    px, py, _, _ = d.client_rect(parent)
    return px, py, w, h


def run(d, close):
    player = d.start(d.path("music"))
    wid = d.window()
    wait_for(lambda: d.title(wid) == "朝の歌")
    time.sleep(0.5)  # framed and placed
    shown = frame(d, wid)
    close(wid)
    code = d.stop(player)
    return shown, code


def escape(d):
    return lambda wid: d.key(wid, "Escape")


def main():
    with Desktop(QEL, window_manager=True) as d:
        d.music(d.path("music"), ["a.mp3"], f"{DEMO}/01 朝の歌.mp3")
        d.write_ini("[SystemSetting]\nMasterVolume=OFF\nx= 130\ny= 90\nwidth= 300\nheight= 400\n")
        for i in range(3):
            before = rect(d.ini())
            shown, code = run(d, escape(d))
            after = rect(d.ini())
            check(code == 0, f"run {i + 1} ends with Escape")
            if d.wayland:
                check(shown[2:] == before[2:], f"run {i + 1}: the window has the ini's size ({shown} for {before})")
            else:
                check(shown == before, f"run {i + 1}: the frame stands where the ini says ({shown} for {before})")
            check(after == before, f"run {i + 1}: the ini keeps the same rectangle ({after})")
        if d.wayland:
            return  # no window manager to maximise it from outside

        def maximise_then(close):
            def act(wid):
                d.run(["wmctrl", "-i", "-r", wid, "-b", "add,maximized_vert,maximized_horz"])
                wait_for(lambda: d.client_rect(wid)[2] > 600, 5)
                time.sleep(0.3)
                close(wid)
            return act

        # Closed from the title bar while maximised: the maximised rectangle.
        _, code = run(d, maximise_then(lambda wid: d.run(["wmctrl", "-i", "-c", wid])))
        maximised = rect(d.ini())
        check(code == 0, "the title-bar close ends the player")
        check(maximised[2] > 600 and maximised[3] > 600, f"closed maximised, the ini keeps that rectangle ({maximised})")

        # Escape restores a maximised window first: its restored rectangle.
        d.write_ini("[SystemSetting]\nMasterVolume=OFF\nx= 130\ny= 90\nwidth= 300\nheight= 400\n")
        _, code = run(d, maximise_then(escape(d)))
        check(rect(d.ini()) == (130, 90, 300, 400), f"Escape while maximised keeps the restored rectangle "
                                                    f"({rect(d.ini())})")


main()
check.exit()
