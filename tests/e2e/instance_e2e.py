#!/usr/bin/env python3
"""One player per name, driven through real second starts: overlapping starts,
a killed player, a hand-off or a remote command while a save dialog or a
save is under way, and a hand-off line far longer than 259 bytes. Argument
1 is the qel program, argument 2 the demo folder."""
import os
import shutil
import signal
import subprocess
import sys
import time

from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SONG = f"{DEMO}/01 朝の歌.mp3"
check = Checks()


def alive(processes):
    return [p for p in processes if p.poll() is None]


def accept(d, dialog):
    """Return in the save dialog until it takes it (its folder may still be
    loading)."""
    for _ in range(10):
        d.key(dialog, "Return")
        if wait_for(lambda: dialog not in d.windows(), 1):
            return True
    return False


def overlapping_starts(d):
    # A big folder makes the first open slow, so the starts overlap for long.
    big = d.music(d.path("big"), [f"{i:04d} 曲.mp3" for i in range(1500)], SONG)
    small = d.music(d.path("small"), ["a.mp3", "b.mp3"], SONG)
    starts = [d.start(big), d.start(small), d.start(f"{small}/b.mp3")]
    wait_for(lambda: len(alive(starts)) <= 1 and d.windows(), 30)
    time.sleep(0.5)
    players = alive(starts)
    check(len(players) == 1, f"three overlapping starts leave one player ({len(players)} running)")
    check(len(d.windows()) == 1, f"and one window ({len(d.windows())})")
    check(all(p.returncode == 0 for p in starts if p not in players), "the other starts end with 0")
    if not players:
        return
    player = players[0]
    wid = d.window()
    # The player still owns the name: a later start reaches it.
    check(d.second(f"{small}/a.mp3") == 0, "a later second start returns")
    check(bool(wait_for(lambda: d.title(wid) == "朝の歌" and d.windows() == [wid])),
          f"and reaches the one player ({d.title(wid)!r})")
    d.key(wid, "Escape")
    check(d.stop(player) == 0, "Escape ends it")
    check(not os.path.exists(d.path("runtime", "qel", "qel.sock")), "its socket is gone with it")

    # Killed outright it leaves its socket; the next start is a player all
    # the same, and a start after that hands over to it.
    player = d.start(small)
    wid = d.window()
    player.send_signal(signal.SIGKILL)
    player.wait()
    check(os.path.exists(d.path("runtime", "qel", "qel.sock")), "a killed player leaves its socket")
    wait_for(lambda: not d.windows(), 5)
    player = d.start(small)
    wid = d.window()
    check(wid is not None, "the next start after a killed player opens a window")
    shutil.copy(f"{DEMO}/03 Evening.ogg", d.path("evening.ogg"))
    check(d.second(d.path("evening.ogg")) == 0 and bool(wait_for(lambda: d.title(wid) == "Evening")),
          f"and takes the hand-offs ({d.title(wid)!r})")
    d.key(wid, "Escape")
    d.stop(player)


def start_in_the_save_dialog(d, music):
    """The player on a folder, its first song playing, its save dialog open
    (None when Ctrl+S brought none)."""
    player = d.start(music)
    wid = d.window()
    wait_for(lambda: d.title(wid) == "朝の歌")
    d.key(wid, "ctrl+s")
    dialog = wait_for(lambda: (d.windows("Qel") or [None])[0], 10)
    check(dialog is not None, "Ctrl+S opens the save dialog")
    return player, wid, dialog


def hand_off_during_the_save_dialog(d):
    music = d.music(d.path("dialog"), ["a.mp3", "b.mp3", "c.mp3"], SONG)
    player, wid, dialog = start_in_the_save_dialog(d, music)
    if dialog is None:
        return
    empty = d.second_later()  # an argument-less second start: clear the list
    time.sleep(1.5)
    check(empty.poll() is None, "a second start waits while the save dialog is open")
    check(d.title(wid) == "朝の歌", f"and the list is not cleared under the dialog ({d.title(wid)!r})")
    accept(d, dialog)
    check(bool(wait_for(lambda: empty.poll() is not None, 15)) and empty.returncode == 0,
          "the second start ends once the dialog is answered")
    check(bool(wait_for(lambda: d.title(wid) == "Qel")), f"then the list is cleared ({d.title(wid)!r})")
    saved = os.path.join(music, "dialog.m3u8")
    text = open(saved, encoding="utf-8-sig", errors="replace").read() if os.path.exists(saved) else ""
    check(all(f"\n{n}" in text for n in ("a.mp3", "b.mp3", "c.mp3")), f"the playlist was saved whole ({text!r})")
    check(player.poll() is None, "the player is still running")
    d.key(wid, "Escape")
    d.stop(player)


def hand_off_to_a_player_that_stays_busy(d):
    """A second start gives up after about 10 s and says why; the player,
    once its dialog is gone, has not acted on the file it took back."""
    music = d.music(d.path("busy"), ["a.mp3", "b.mp3"], SONG)
    shutil.copy(f"{DEMO}/03 Evening.ogg", d.path("evening.ogg"))
    player, wid, dialog = start_in_the_save_dialog(d, music)
    if dialog is None:
        return
    began = time.time()
    second = d.second_later(d.path("evening.ogg"))
    box = wait_for(lambda: next(iter(d.run(["xdotool", "search", "--onlyvisible", "--pid", str(second.pid)],
                                          text=True).stdout.split()), None), 25)
    waited = time.time() - began
    check(box is not None and 9 <= waited <= 16, f"the second start tells the user after {waited:.1f} s")
    if box:
        if os.environ.get("QEL_E2E_SHOT"):
            d.screenshot(os.environ["QEL_E2E_SHOT"])
        d.key(box, "Return")
    check(bool(wait_for(lambda: second.poll() is not None, 10)) and second.returncode == 1,
          f"and ends without handing over (exit {second.returncode})")
    for _ in range(10):
        d.key(dialog, "Escape")
        if wait_for(lambda: dialog not in d.windows(), 1):
            break
    time.sleep(1.0)
    check(d.title(wid) == "朝の歌", f"the player never opens the file it gave back ({d.title(wid)!r})")
    check(d.second(d.path("evening.ogg")) == 0 and bool(wait_for(lambda: d.title(wid) == "Evening")),
          "a second start once the player is free hands it over")
    d.key(wid, "Escape")
    d.stop(player)


def next_during_a_save(d):
    # Measuring 10000 lengths keeps the save busy for seconds; the file that
    # plays meanwhile lasts a minute, so only the command can move on.
    names = [f"{i:05d} 歌.mp3" for i in range(10000)]
    music = d.music(d.path("long"), names, SONG)
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo", "-t", "60",
                    "-metadata", "title=長い曲", os.path.join(music, "00000 a.mp3")], check=True)
    player = d.start(music)
    wid = d.window()
    wait_for(lambda: d.title(wid) == "長い曲", 20)
    d.key(wid, "ctrl+s")
    dialog = wait_for(lambda: (d.windows("Qel") or [None])[0], 10)
    if not check(dialog is not None, f"the save dialog opens for a long list ({[d.title(w) for w in d.windows()]})"):
        return
    accept(d, dialog)
    saving = wait_for(lambda: "プレイリスト保存中" in d.title(wid), 10)
    check(bool(saving), f"the title shows the save ({d.title(wid)!r})")
    began = time.time()
    check("プレイリスト保存中" in d.title(wid), "/Next is sent while the save runs")
    code = d.second("/Next", timeout=60)
    # The playlist appears whole when the save ends (the title follows a
    # moment later, as titles are paced).
    saved = os.path.join(music, "long.m3u8")
    entries = open(saved, encoding="utf-8-sig").read().count("\n#EXTINF:") if os.path.exists(saved) else 0
    check(code == 0, "/Next during the save returns")
    check(entries == 10001, f"once the save is over ({time.time() - began:.1f} s, {entries} entries written)")
    check(bool(wait_for(lambda: "プレイリスト保存中" not in d.title(wid), 3)), "and the title no longer shows the save")
    # "00000 a.mp3" was playing; next comes "00000 歌.mp3".
    check(bool(wait_for(lambda: d.title(wid) == "朝の歌", 10)), f"and then plays the next file ({d.title(wid)!r})")
    d.key(wid, "Escape")
    d.stop(player)


def long_hand_off(d):
    folder = d.path("long-names", *[f"{chr(0x61 + i) * 20} 「夜の歌」を聴きながら" for i in range(6)])
    song = os.path.join(folder, "とても長い名前の曲.mp3")
    os.makedirs(folder)
    shutil.copy(f"{DEMO}/02 夜の歌.mp3", song)
    check(len(song.encode()) > 300, f"the path is {len(song.encode())} bytes")
    player = d.start(d.path("dialog"))
    wid = d.window()
    check(d.second(song) == 0, "a second start with a long path returns")
    check(bool(wait_for(lambda: d.title(wid) == "夜の歌")), f"and its file plays ({d.title(wid)!r})")
    d.key(wid, "Escape")
    d.stop(player)
    check(d.ini().get("nowPlaying") == song, "the ini names it whole")


def main():
    only = os.environ.get("QEL_E2E_ONLY", "").split()
    with Desktop(QEL) as d:
        for scenario in (overlapping_starts, hand_off_during_the_save_dialog, hand_off_to_a_player_that_stays_busy,
                         next_during_a_save, long_hand_off):
            if not only or scenario.__name__ in only:
                scenario(d)


main()
check.exit()
