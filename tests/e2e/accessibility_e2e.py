#!/usr/bin/env python3
"""What a screen reader finds in the real player: the accessibility bus on a
private session bus, the player walked over AT-SPI as Orca walks it. Every
control that does something has a Japanese name and its role, the sliders
say their values as text, the list's rows are items named by their texts
whose selection and playing entry follow the player, and the pane's text is
readable. Under weston's headless backend when there is one (no input is
needed), else on the private X server. Argument 1 is the qel program,
argument 2 the demo folder."""
import os
import shutil
import subprocess
import sys

from session_bus import SessionBus
from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
check = Checks()


def walk(node, depth=0):
    """Every accessible below node, depth first."""
    yield node
    if depth < 12:
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                yield from walk(child, depth + 1)


def main():
    with Desktop(QEL, platform=os.environ.get("QEL_E2E_PLATFORM", "wayland-headless")) as d:
        bus = SessionBus(d)
        launcher = subprocess.Popen([os.environ.get("QEL_ATSPI_LAUNCHER", "/usr/libexec/at-spi-bus-launcher"),
                                     "--launch-immediately"], env=d.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        d.processes.append(launcher)
        try:
            walk_player(d, bus)
        finally:
            # Ended politely it takes its own bus with it; killed, that bus
            # would outlive the test.
            launcher.terminate()
            launcher.wait(timeout=10)


def walk_player(d, bus):
    if not check(bool(wait_for(lambda: "org.a11y.Bus" in bus.run("dbus-send", "--session", "--print-reply",
                                                               "--dest=org.freedesktop.DBus", "/",
                                                               "org.freedesktop.DBus.ListNames")[1], 10)),
                 "the accessibility bus is up"):
        return
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = d.env["DBUS_SESSION_BUS_ADDRESS"]
    import pyatspi  # it joins the bus named above

    music = d.path("music")
    os.makedirs(music)
    for name in ("01 朝の歌.mp3", "01 朝の歌.txt", "02 夜の歌.mp3", "03 Evening.ogg"):
        shutil.copy(f"{DEMO}/{name}", f"{music}/{name}")
    d.write_ini("[SystemSetting]\nMasterVolume=OFF\nVolume= 70\n")
    # As a desktop with a screen reader running tells it to.
    d.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    player = d.start(music + "/")
    wid = d.window()
    if not check(wid is not None and bool(wait_for(lambda: d.title(wid) == "朝の歌")), "the player plays"):
        return

    def application():
        return next((a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "qel"), None)

    app = wait_for(application, 10)
    if not check(app is not None, "the player is on the accessibility bus"):
        return
    nodes = list(walk(app))
    by_role = {}
    for node in nodes:
        by_role.setdefault(node.getRoleName(), []).append(node)

    buttons = [b.name for b in by_role.get("push button", [])]
    check(buttons == ["開く", "再生", "停止", "前へ", "次へ", "再生順: 順次再生", "最前面に表示",
                      "リスト/ペインの入れ替え"], f"the eight buttons are named for what they do ({buttons})")
    sliders = {s.name: s for s in by_role.get("slider", [])}
    check(sorted(sliders) == ["再生位置", "音量"], f"both sliders are named ({sorted(sliders)})")
    if "音量" in sliders:
        volume = sliders["音量"]
        check(volume.queryValue().currentValue == 70 and volume.description == "70%",
              f"the volume says its value ({volume.queryValue().currentValue}, {volume.description!r})")
    if "再生位置" in sliders:
        label = next((n.name for n in by_role.get("label", []) if " / " in n.name), None)
        check(bool(wait_for(lambda: sliders["再生位置"].description.endswith(" / 00:06"), 5)),
              f"the position says its time as the read-out does ({sliders['再生位置'].description!r}, {label!r})")

    texts = [t for t in by_role.get("text", []) if t.name == "テキスト"]
    if check(len(texts) == 1, "the pane is a text named テキスト"):
        text = texts[0].queryText()
        content = wait_for(lambda: text.getText(0, -1), 5)
        check("窓をあけて" in content, f"the pane's lyrics are readable ({content[:30]!r})")

    lists = [n for n in by_role.get("list", []) if n.name == "リスト"]
    if not check(len(lists) == 1, "the list is a list named リスト"):
        return
    rows_of = lists[0]

    def rows():
        found = []
        for i in range(rows_of.childCount):
            item = rows_of.getChildAtIndex(i)
            if item is not None and item.getRoleName() == "list item":
                found.append((item.name, item.getState().contains(pyatspi.STATE_SELECTED), item.description))
        return found

    check(rows() == [("朝の歌", True, "再生中"), ("夜の歌", False, ""), ("Evening", False, "")],
          f"the rows are items with their texts, the playing one selected and told ({rows()})")
    check(d.second("/Next") == 0 and bool(wait_for(lambda: d.title(wid) == "夜の歌")), "/Next plays the next file")
    check(bool(wait_for(lambda: rows() == [("朝の歌", False, ""), ("夜の歌", True, "再生中"),
                                           ("Evening", False, "")], 5)),
          f"selection and the playing entry follow ({rows()})")

    d.second("/Stop")
    d.stop(player, timeout=1)


main()
check.exit()
