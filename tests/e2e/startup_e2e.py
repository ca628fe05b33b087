#!/usr/bin/env python3
"""What a start loads and in which order, on the real program: a resumed list
maps none of the media libraries, the first MP3 that plays maps the engine
but not libmpv nor FluidSynth, and a
start on a folder that takes long to list shows its painted window while it
is still listing. Argument 1 is the qel program, argument 2 the demo folder."""
import os
import re
import shutil
import socket
import struct
import sys
import time

from session_bus import SessionBus
from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SONG = f"{DEMO}/01 朝の歌.mp3"
MEDIA_LIBRARIES = ("libmpv.so", "libavformat.so", "libavcodec.so", "libfluidsynth.so", "qel-engine")
check = Checks()


def mapped(pid):
    """The media libraries the process has mapped."""
    with open(f"/proc/{pid}/maps") as f:
        names = {os.path.basename(line.split()[5]) for line in f if len(line.split()) >= 6}
    return sorted(n for n in names if n.startswith(MEDIA_LIBRARIES))


class ReadyProbe:
    """Asks the player, over its instance socket, to act on a command number
    nobody uses; it answers once everything before it is done, the first
    open included."""

    def __init__(self, d):
        self.path = d.path("runtime", "qel", "qel.sock")
        self.sock = None

    def answered(self):
        if self.sock is None:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                s.connect(self.path)
            except OSError:
                s.close()
                return False
            s.sendall(b"C" + struct.pack("<I", 1) + b"0")
            s.setblocking(False)
            self.sock = s
        try:
            return self.sock.recv(1) == b"1"
        except BlockingIOError:
            return False

    def close(self):
        if self.sock is not None:
            self.sock.close()


def resumed_list_loads_no_media_library(d):
    folder = d.music(d.path("music"), ["a.mp3", "b.mp3", "c.mp3"], SONG)
    os.makedirs(d.path("state", "qel"), exist_ok=True)
    with open(d.path("state", "qel", "qel.m3u8"), "w", encoding="utf-8") as f:
        f.write("#EXTM3U\n" + "".join(f"{folder}/{n}\n" for n in ("a.mp3", "b.mp3", "c.mp3")))
    # The list resumes on its second file, which the desktop's media
    # controls then describe, length included.
    d.write_ini(f"[SystemSetting]\nnowPlaying={folder}/b.mp3\nnowDir={folder}\n")
    bus = SessionBus(d) if shutil.which("dbus-daemon") and shutil.which("dbus-send") else None
    player = d.start()
    probe = ReadyProbe(d)
    ready = wait_for(probe.answered, 20, 0.01)
    probe.close()
    check(ready, "the resumed list is ready")
    wid = d.window()
    check(bool(wid), "its window is shown")
    if bus:
        name, interface = "org.mpris.MediaPlayer2.qel", "org.mpris.MediaPlayer2.Player"
        metadata = wait_for(lambda: "b.mp3" in (m := bus.get(name, interface, "Metadata")) and m, 10) or ""
        length = re.search(r"mpris:length\s+variant\s+int64 (\d+)", metadata)
        check(length is not None and int(length.group(1)) > 0,
              f"the media controls describe the resumed file, length included: {metadata!r}")
        status = bus.get(name, interface, "PlaybackStatus")
        position = bus.get(name, interface, "Position")
        check("Stopped" in status and position.endswith(" 0"), f"stopped at 0 ({status!r}, {position!r})")
    time.sleep(0.5)  # idle a moment: nothing is loaded behind its back either
    check(mapped(player.pid) == [], f"no media library is mapped with a resumed list: {mapped(player.pid)}")

    # The first file that plays brings the engine, and for an MP3 no more
    # (libmpg123, which it decodes with, comes with libpulse already).
    check(d.second(f"{folder}/b.mp3") == 0, "a second start hands a file over")
    check(bool(wait_for(lambda: "qel-engine.so" in mapped(player.pid), 10)),
          f"the file that plays maps the engine: {mapped(player.pid)}")
    check(bool(wait_for(lambda: d.title(wid) == "朝の歌", 10)), f"and it plays ({d.title(wid)!r})")
    heavy = [n for n in mapped(player.pid) if n.startswith(("libmpv.so", "libavformat.so", "libfluidsynth.so"))]
    check(not heavy, f"neither libmpv nor FluidSynth for an MP3: {heavy}")
    d.key(wid, "Escape")
    check(d.stop(player) == 0, "Escape ends it")


def window_is_painted_before_a_long_open(d):
    # Listing this folder (a title read from each file) takes far longer
    # than showing a window.
    big = d.music(d.path("big"), [f"{i:05d} 曲.mp3" for i in range(20000)], SONG)
    probe = ReadyProbe(d)
    player = d.start(big)
    wid = d.window(30)
    listing = not probe.answered()
    check(bool(wid), "the window is shown")
    check(listing, "while the folder is still being listed")
    if wid:
        x, y, w, h = d.client_rect(wid)
        shot = d.screenshot()
        # An unpainted window on a bare X server shows the black root behind it.
        corner = shot.at(x + 2, y + 2)
        check(corner != (0, 0, 0), f"and painted, not black ({corner})")
    ready = wait_for(probe.answered, 60, 0.05)
    probe.close()
    check(ready, "the listing ends")
    check(bool(wait_for(lambda: d.title(wid) == "朝の歌", 10)), "and its first file plays")
    d.key(wid, "Escape")
    check(d.stop(player) == 0, "Escape ends it")


for test in (resumed_list_loads_no_media_library, window_is_painted_before_a_long_open):
    with Desktop(QEL) as desktop:
        print(f"-- {test.__name__}", flush=True)
        test(desktop)
check.exit()
