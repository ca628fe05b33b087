#!/usr/bin/env python3
"""Drives the real player on a private X server: keys, second starts, and what
a user finds afterwards (title, ini, auto-saved playlist). Argument 1 is the
qel program, argument 2 the demo folder with real media."""
import os
import shutil
import sys

from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
check = Checks()


def main():
    with Desktop(QEL) as d:
        music, other = d.path("music"), d.path("other")
        os.makedirs(music)
        os.makedirs(other)
        for name in ("01 朝の歌.mp3", "02 夜の歌.mp3", "03 Evening.ogg"):
            shutil.copy(f"{DEMO}/{name}", f"{music}/{name}")
        shutil.copy(f"{DEMO}/05 scale.mid", f"{other}/solo.mid")

        # A folder on the command line lists itself and plays its first file.
        player = d.start(music + "/")
        wid = d.window()
        if not check(wid is not None, "the window appears"):
            return
        check(bool(wait_for(lambda: "朝の歌" in d.title(wid))), f"the folder's first file plays ({d.title(wid)!r})")
        if d.wayland:
            # The compositor finds the launcher, and with it Qel's icon, by this.
            app_id = d.toplevels()[wid][4]
            check(app_id == os.environ.get("QEL_APP_ID"), f"the window's application id is the launcher's ({app_id})")

        d.key(wid, "Down")
        check(bool(wait_for(lambda: "夜の歌" in d.title(wid))), f"Down plays the next file ({d.title(wid)!r})")

        d.key(wid, "Escape")
        check(d.stop(player) == 0, "Escape ends the player")
        ini = d.ini()
        check(ini.get("nowPlaying", "").endswith("02 夜の歌.mp3"), f"the ini holds the current file ({ini.get('nowPlaying')!r})")
        saved = d.playlist()
        check(saved == [f"{music}/01 朝の歌.mp3", f"{music}/02 夜の歌.mp3", f"{music}/03 Evening.ogg"],
              f"the auto-saved playlist holds the list ({saved})")

        # A start without arguments resumes that list.
        player = d.start()
        wid = d.window()
        check(wid is not None, "the resumed player appears")
        d.key(wid, "Down")
        check(bool(wait_for(lambda: any(n in d.title(wid) for n in ("朝の歌", "夜の歌", "Evening")))),
              f"the resumed list plays ({d.title(wid)!r})")
        before = d.title(wid)
        check(d.second("/Next") == 0, "/Next returns")
        check(bool(wait_for(lambda: d.title(wid) != before)), f"/Next advances ({before!r} -> {d.title(wid)!r})")

        check(d.second(f"{other}/solo.mid") == 0, "a second start with a file returns")
        check(bool(wait_for(lambda: "solo" in d.title(wid))), f"the second start's file plays ({d.title(wid)!r})")
        check(d.second(music) == 0, "a second start with a folder returns")
        check(bool(wait_for(lambda: "朝の歌" in d.title(wid))),
              f"the handed-over folder lists itself and plays its first file ({d.title(wid)!r})")
        check(d.windows() == [wid], "no second window stays")

        with open(d.path("state", "qel", "qel.m3u8"), "rb") as f:
            last_saved = f.read()
        check(d.second() == 0, "an empty second start returns")
        check(bool(wait_for(lambda: d.title(wid) == "Qel")), f"an empty second start clears the list ({d.title(wid)!r})")

        d.key(wid, "Escape")
        check(d.stop(player) == 0, "Escape ends the player with an empty list")
        # An empty list is not written: the last list saved stays for the
        # next start, byte for byte, and the ini names no current file.
        with open(d.path("state", "qel", "qel.m3u8"), "rb") as f:
            check(f.read() == last_saved, "an empty list at exit leaves the last saved playlist as it was")
        check(d.ini().get("nowPlaying") == "", f"the ini names no current file ({d.ini().get('nowPlaying')!r})")


main()
check.exit()
