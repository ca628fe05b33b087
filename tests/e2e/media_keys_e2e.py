#!/usr/bin/env python3
"""The keyboard's media keys pressed at the real player's window (xdotool,
real X key events), and at another window, where they are not the
player's. What they did is read back over a private session bus with
playerctl and from the window's title. Argument 1 is the qel program."""
import os
import subprocess
import sys
import time

from session_bus import SessionBus, tone
from xsession import Checks, Desktop, wait_for

QEL = os.path.abspath(sys.argv[1])
check = Checks()


def main():
    with Desktop(QEL) as d:
        bus = SessionBus(d)
        music = d.path("music")
        os.makedirs(music)
        d.music(music, ["a.mp3", "b.mp3", "c.mp3"], tone(d.path("tone.mp3"), 120))
        d.write_ini("[SystemSetting]\nVolume= 50\n")
        player = d.start(music)
        wid = d.window()
        if not check(wid is not None and bool(wait_for(lambda: bus.value("status") == "Playing")),
                     "the player plays"):
            return
        status = lambda: bus.value("status")
        volume = lambda: bus.value("volume")

        d.key(wid, "XF86AudioPlay")
        check(bool(wait_for(lambda: status() == "Paused")), f"play/pause pauses ({status()})")
        d.key(wid, "XF86AudioPlay")
        check(bool(wait_for(lambda: status() == "Playing")), f"and plays on ({status()})")
        d.key(wid, "XF86AudioPause")
        check(bool(wait_for(lambda: status() == "Paused")), f"pause pauses ({status()})")
        d.key(wid, "XF86AudioPause")
        time.sleep(0.3)
        check(status() == "Paused", f"and pauses only ({status()})")
        d.key(wid, "XF86AudioPlay")
        check(bool(wait_for(lambda: status() == "Playing")), f"play/pause resumes ({status()})")

        d.key(wid, "XF86AudioNext")
        check(bool(wait_for(lambda: d.title(wid) == "b.mp3")), f"next ({d.title(wid)!r})")
        d.key(wid, "XF86AudioPrev")
        check(bool(wait_for(lambda: d.title(wid) == "a.mp3")), f"previous ({d.title(wid)!r})")

        d.key(wid, "XF86AudioLowerVolume")
        check(bool(wait_for(lambda: volume() == "0.450000")), f"volume down by 50 of 1000 ({volume()})")
        d.key(wid, "XF86AudioRaiseVolume", "XF86AudioRaiseVolume", "XF86AudioRaiseVolume")
        check(bool(wait_for(lambda: volume() == "0.600000")), f"volume up three times ({volume()})")
        bus.playerctl("volume", "0.98")
        wait_for(lambda: volume() == "0.980000")
        d.key(wid, "XF86AudioRaiseVolume")
        check(bool(wait_for(lambda: volume() == "1.000000")), f"980 up is 1000 ({volume()})")
        d.key(wid, "XF86AudioRaiseVolume")
        time.sleep(0.3)
        check(volume() == "1.000000", f"and stays there ({volume()})")
        bus.playerctl("volume", "0.03")
        wait_for(lambda: volume() == "0.030000")
        d.key(wid, "XF86AudioLowerVolume")
        check(bool(wait_for(lambda: volume() == "0.000000")), f"30 down is 0 ({volume()})")
        bus.playerctl("volume", "0.5")

        d.key(wid, "XF86AudioStop")
        check(bool(wait_for(lambda: status() == "Stopped")), f"stop ({status()})")
        d.key(wid, "XF86AudioPlay")
        check(bool(wait_for(lambda: status() == "Playing")), f"play/pause plays the current file ({status()})")
        check(d.title(wid) == "a.mp3", f"the same one ({d.title(wid)!r})")

        # At another window the keys are that window's: the player has not
        # taken them from the desktop.
        other = subprocess.Popen(["xclock"], env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        d.processes.append(other)
        clock = wait_for(lambda: (d.run(["xdotool", "search", "--onlyvisible", "--class", "xclock"], text=True)
                                  .stdout.split() or [None])[0], 10)
        if check(clock is not None, "another window opens"):
            d.key(clock, "XF86AudioLowerVolume", "XF86AudioNext", "XF86AudioPlay")
            time.sleep(1.0)
            check(volume() == "0.500000", f"the volume keys at another window leave the player alone ({volume()})")
            check(d.title(wid) == "a.mp3" and status() == "Playing",
                  f"so do next and play/pause ({d.title(wid)!r}, {status()})")
            # Given the focus back, the player answers the keys again.
            d.key(wid, "XF86AudioNext")
            check(bool(wait_for(lambda: d.title(wid) == "b.mp3")), f"back at the player, next ({d.title(wid)!r})")

        d.key(wid, "Escape")
        check(d.stop(player) == 0, "Escape ends the player")
        check(d.ini().get("Volume") == "50", f"the volume it ends with is kept ({d.ini().get('Volume')!r})")


main()
check.exit()
