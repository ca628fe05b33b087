#!/usr/bin/env python3
"""The real player on a private session bus, driven as the desktop's media
controls drive it: with playerctl, dbus-send, and dbus-monitor listening to
what it tells them. Argument 1 is the qel program, argument 2 the demo
folder (unused: the media are made here)."""
import os
import re
import shutil
import sys
import time
import urllib.parse
from xml.etree import ElementTree

from session_bus import SessionBus, tone
from xsession import Checks, Desktop, wait_for

QEL = os.path.abspath(sys.argv[1])
check = Checks()
PLAYER = "org.mpris.MediaPlayer2.Player"


def near(text, expected, tolerance):
    try:
        return abs(float(text) - expected) <= tolerance
    except ValueError:
        return False


def metadata_signals(signals, title):
    return [s for s in signals if "Metadata" in s and f'string "{title}"' in s]


def main():
    with Desktop(QEL) as d:
        bus = SessionBus(d)
        music = d.path("music")
        os.makedirs(music)
        song = tone(d.path("tone.mp3"), 120)
        d.music(music, ["a.mp3", "b.mp3", "c.mp3"], song)
        open(os.path.join(music, "b.png"), "wb").close()

        player = d.start(music)
        wid = d.window()
        if not check(wid is not None and bool(wait_for(lambda: "qel" in bus.players())),
                     f"the player appears on the bus ({bus.players()})"):
            return
        wait_for(lambda: bus.value("status") == "Playing")
        check(bus.value("status") == "Playing", "status: playing")
        check(bus.value("metadata", "xesam:title") == "a.mp3", f"title ({bus.value('metadata', 'xesam:title')!r})")
        # Whole seconds, as the player measures lengths: the encoder's padding
        # may add one.
        check(bus.value("metadata", "mpris:length") in ("120000000", "121000000"),
              f"length in microseconds ({bus.value('metadata', 'mpris:length')!r})")
        check(bus.value("metadata", "xesam:url") == "file://" + urllib.parse.quote(f"{music}/a.mp3"),
              f"url ({bus.value('metadata', 'xesam:url')!r})")
        check(bus.value("metadata", "mpris:artUrl") == "", "no picture beside a.mp3, no art")
        identity = bus.get("org.mpris.MediaPlayer2.qel", "org.mpris.MediaPlayer2", "Identity")
        entry = bus.get("org.mpris.MediaPlayer2.qel", "org.mpris.MediaPlayer2", "DesktopEntry")
        mimes = bus.get("org.mpris.MediaPlayer2.qel", "org.mpris.MediaPlayer2", "SupportedMimeTypes")
        check("Qel" in identity and "org.qel.Qel" in entry, f"identity and desktop entry ({identity!r}, {entry!r})")
        check(all(m in mimes for m in ("audio/mpeg", "audio/flac", "video/mp4", "audio/x-mpegurl")),
              f"the MIME types of what it plays ({mimes[:80]!r}...)")

        # What the bus checks of a client's writes and reads.
        name = "org.mpris.MediaPlayer2.qel"
        props = ("/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties")

        def dbus(*args):
            return bus.run("dbus-send", "--session", "--print-reply", f"--dest={name}", *args)

        refusals = {
            "a volume given as text": dbus(*props[:1], f"{props[1]}.Set", f"string:{PLAYER}", "string:Volume",
                                          "variant:string:loud"),
            "a read-only position": dbus(*props[:1], f"{props[1]}.Set", f"string:{PLAYER}", "string:Position",
                                        "variant:int64:5"),
            "an unknown property": dbus(*props[:1], f"{props[1]}.Get", f"string:{PLAYER}", "string:Colour"),
            "a seek without its offset": bus.call(name, "Seek", interface=PLAYER),
        }
        for what, (code, _) in refusals.items():
            check(code != 0, f"{what} is refused")
        code, xml = bus.run("dbus-send", "--session", "--print-reply=literal", f"--dest={name}",
                            "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Introspectable.Introspect")
        try:
            root = ElementTree.fromstring(xml)
            interfaces = {i.get("name"): i for i in root.iter("interface")}
            methods = interfaces.get(PLAYER)
            check(methods is not None and {m.get("name") for m in methods.iter("method")} >= {
                "Next", "Previous", "Pause", "PlayPause", "Stop", "Play", "Seek", "SetPosition", "OpenUri"},
                "introspection lists the player's methods")
            position = [p for p in methods.iter("property") if p.get("name") == "Position"]
            check(len(position) == 1 and position[0].find("annotation").get("value") == "false",
                  "and says the position is not signalled")
        except ElementTree.ParseError as e:
            check(False, f"introspection is XML ({e})")

        monitor = bus.monitor()
        time.sleep(1.5)
        check(monitor.signals() == [], f"steady playback sends nothing ({len(monitor.signals())} signals)")

        # A change of track: one PropertiesChanged carries the new metadata.
        monitor.mark()
        check(bus.playerctl("next")[0] == 0, "next returns")
        check(bool(wait_for(lambda: bus.value("metadata", "xesam:title") == "b.mp3")), "next: b.mp3 plays")
        check(bool(wait_for(lambda: "b.mp3" in d.title(wid))), f"and the window shows it ({d.title(wid)!r})")
        check(bus.value("metadata", "mpris:artUrl") == "file://" + urllib.parse.quote(f"{music}/b.png"),
              f"the picture beside b.mp3 is its art ({bus.value('metadata', 'mpris:artUrl')!r})")
        time.sleep(0.5)
        changes = monitor.signals("PropertiesChanged")
        check(len(metadata_signals(changes, "b.mp3")) == 1 and len([s for s in changes if "Metadata" in s]) == 1,
              f"one PropertiesChanged with the new metadata ({len(changes)} signals)")
        check(monitor.signals("Seeked") == [], "a new track is no seek")

        check(bus.playerctl("previous")[0] == 0 and bool(wait_for(
            lambda: bus.value("metadata", "xesam:title") == "a.mp3")), "previous: a.mp3 again")

        monitor.mark()
        bus.playerctl("play-pause")
        check(bool(wait_for(lambda: bus.value("status") == "Paused")), "play-pause pauses")
        check(any('string "Paused"' in s for s in monitor.signals("PropertiesChanged")), "and says so")
        bus.playerctl("play-pause")
        check(bool(wait_for(lambda: bus.value("status") == "Playing")), "play-pause plays on")

        # Position: set and read; each jump is told once.
        monitor.mark()
        bus.playerctl("position", "30")
        check(bool(wait_for(lambda: near(bus.value("position"), 30, 1.5))),
              f"position set to 30 s ({bus.value('position')!r})")
        seeked = monitor.signals("Seeked")
        # The signal carries the position when it is sent, a few ms past the target on a busy machine.
        at = re.search(r"int64 (\d+)", seeked[0]) if len(seeked) == 1 else None
        check(bool(at) and near(int(at.group(1)) / 1e6, 30, 0.5), f"one Seeked to 30 s ({seeked})")
        monitor.mark()
        bus.playerctl("position", "10-")
        check(bool(wait_for(lambda: near(bus.value("position"), 20, 1.5))),
              f"10 s back ({bus.value('position')!r})")
        check(len(monitor.signals("Seeked")) == 1, "one Seeked")
        monitor.mark()
        time.sleep(1.0)
        check(monitor.signals() == [], "playing on after a seek sends nothing")

        # Volume, both ways.
        bus.playerctl("volume", "0.25")
        check(bool(wait_for(lambda: bus.value("volume") == "0.250000")), f"volume 0.25 ({bus.value('volume')!r})")
        bus.playerctl("volume", "0.9")
        check(bool(wait_for(lambda: bus.value("volume") == "0.900000")), f"volume 0.9 ({bus.value('volume')!r})")

        # Loop and shuffle, both ways, over the four play orders.
        for loop, shuffle, expect in (("Track", None, ("Track", "Off")), ("None", None, ("None", "Off")),
                                      (None, "On", ("Playlist", "On")), ("Playlist", None, ("Playlist", "On")),
                                      (None, "Off", ("Playlist", "Off")), ("Track", None, ("Track", "Off"))):
            if loop:
                bus.playerctl("loop", loop)
            if shuffle:
                bus.playerctl("shuffle", shuffle)
            check(bool(wait_for(lambda: (bus.value("loop"), bus.value("shuffle")) == expect)),
                  f"loop {loop} shuffle {shuffle}: {(bus.value('loop'), bus.value('shuffle'))}")

        bus.playerctl("stop")
        check(bool(wait_for(lambda: bus.value("status") == "Stopped")), "stop")

        # A file URI opens as a second start's hand-off does.
        other = d.path("other")
        os.makedirs(other)
        shutil.copy(song, os.path.join(other, "別の 歌#1.mp3"))
        uri = "file://" + urllib.parse.quote(os.path.join(other, "別の 歌#1.mp3"))
        check(bus.playerctl("open", uri)[0] == 0, "open of a file URI returns")
        check(bool(wait_for(lambda: bus.value("metadata", "xesam:title") == "別の 歌#1.mp3")),
              f"its file plays ({bus.value('metadata', 'xesam:title')!r})")
        check(bus.value("status") == "Playing", "and plays")
        code, _ = bus.call("org.mpris.MediaPlayer2.qel", "OpenUri", "string:https://example.org/a.mp3",
                           interface=PLAYER)
        check(code != 0, "a URI that names no local file is refused")
        # One longer than any path is refused before it is looked at, in
        # no more time than the bus takes to carry it (measured with a method
        # the player does not have), and the player goes on answering.
        huge = "file:///" + "a" * (10 << 20)
        _, carried = bus.raw_call("org.mpris.MediaPlayer2.qel", PLAYER, "NoSuchMethod", huge, timeout=30)
        answer, seconds = bus.raw_call("org.mpris.MediaPlayer2.qel", PLAYER, "OpenUri", huge, timeout=30)
        check(answer == "org.freedesktop.DBus.Error.InvalidArgs" and seconds < min(carried + 0.5, 3.0),
              f"a 10 MB URI is refused at once ({answer}, {seconds:.2f} s; carrying it takes {carried:.2f} s)")
        check(bus.value("status") == "Playing" and bus.value("metadata", "xesam:title") == "別の 歌#1.mp3",
              f"and the player answers as before ({bus.value('status')!r})")

        # A folder URI lists the folder and plays its first file.
        check(bus.playerctl("open", "file://" + urllib.parse.quote(music + "/"))[0] == 0, "open of a folder URI")
        check(bool(wait_for(lambda: d.title(wid) == "a.mp3")), f"lists it and plays its first file ({d.title(wid)!r})")

        # A call while a dialog is open is answered at once and acted on
        # when the dialog has gone, not under it.
        d.key(wid, "ctrl+s")
        dialog = wait_for(lambda: (d.windows("Qel") or [None])[0], 10)
        if check(dialog is not None, "Ctrl+S opens the save dialog"):
            began = time.time()
            code, _ = bus.playerctl("next")
            check(code == 0 and time.time() - began < 5, f"next under the dialog is answered ({time.time() - began:.1f} s)")
            time.sleep(1.0)
            check(d.title(wid) == "a.mp3", f"but waits for the dialog ({d.title(wid)!r})")
            for _ in range(10):
                d.key(dialog, "Escape")
                if wait_for(lambda: dialog not in d.windows(), 1):
                    break
            check(bool(wait_for(lambda: d.title(wid) == "b.mp3")), f"then plays the next file ({d.title(wid)!r})")
            check(bool(wait_for(lambda: bus.value("metadata", "xesam:title") == "b.mp3")), "and says so")
        bus.playerctl("pause")
        wait_for(lambda: bus.value("status") == "Paused")
        monitor.stop()

        # Two named players are two players.
        one = d.start("-one", music)
        two = d.start("-two", music)
        expected = ["qel", "qel.instance_one", "qel.instance_two"]
        check(bool(wait_for(lambda: bus.players() == expected, 20)), f"named players on the bus ({bus.players()})")
        check(bool(wait_for(lambda: bus.value("status", player="qel.instance_two") == "Playing")),
              "each answers for itself")
        check(bus.value("status") == "Paused", "the first one is as it was")

        # Quit is the orderly close: the settings are written.
        for name, process in (("qel.instance_one", one), ("qel.instance_two", two), ("qel", player)):
            bus.call(f"org.mpris.MediaPlayer2.{name}", "Quit")
            check(d.stop(process) == 0, f"Quit ends {name}")
        check(bus.players() == [], f"and they leave the bus ({bus.players()})")
        check(d.ini().get("Mode") == "SINGLE", f"the play order set over the bus is kept ({d.ini().get('Mode')!r})")
        check(d.ini().get("Volume") == "90", f"so is the volume ({d.ini().get('Volume')!r})")


main()
check.exit()
