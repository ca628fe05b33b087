#!/usr/bin/env python3
"""The keyboard focus after an open, the wheel over each control and dragging
rows, with real X events (xdotool) into the real player; what each did is
read from what the player writes at exit. Argument 1 is the qel program,
argument 2 the demo folder."""
import os
import sys
import time

from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SONG = f"{DEMO}/01 朝の歌.mp3"
BLUE = (0, 128, 255)  # a selected row
check = Checks()


class Layout:
    """Where the controls stand on the screen. The window is laid out in
    dialog units from its font; the font's cell is read back from the
    window's width (187 units) and from the first row, which starts the
    list 36 units down."""

    def __init__(self, d, wid):
        self.x, self.y, self.width, self.height = d.client_rect(wid)
        blue = []

        def selected_row_painted():
            image = d.screenshot()
            blue[:] = [(x, y) for y in range(self.y, self.y + self.height) for x in range(self.x, self.x + 160)
                       if image.at(x, y) == BLUE]
            return bool(blue)

        # A busy machine may paint the selection some time after the title.
        self.found = bool(wait_for(selected_row_painted, 10))
        if not blue:
            return
        top = min(y for _, y in blue)
        self.row_left = min(x for x, _ in blue)
        # Measured where no text reaches: the row's right end.
        right = max(x for x, _ in blue) - 2
        self.right = right
        self.row_height = sum(1 for x, y in blue if x == right)
        self.row_top = top
        self.cx = round(self.width * 4 / 187)
        self.cy = (top - self.y - 2) * 8 // 36

    def du(self, x, y):
        return self.x + x * self.cx // 4, self.y + y * self.cy // 8

    def row(self, i):
        return self.row_left + 30, self.row_top + i * self.row_height + self.row_height // 2

    def controls(self):
        list_x, list_y = self.row(6)
        time_label_x = self.x + self.width - 62 * self.cx // 4 // 2 - 40
        return {
            "list": (list_x, list_y),
            "background": (self.x + 3, self.y + self.height // 2),
            "play button": self.du(22 + 7, 7 + 7),
            "time read-out": (time_label_x, self.du(0, 23 + 6)[1]),
            "position slider": (self.x + 40, self.du(0, 23 + 6)[1]),
            "volume slider": self.du(100 + 27, 10 + 4),
            "pane without text": (self.x + self.width - 40, self.y + self.height // 2),
        }


def session(d, music, action):
    """One run of the player on the folder: the action, then Escape."""
    d.write_ini("[SystemSetting]\nMasterVolume=OFF\nVolume= 50\n")
    player = d.start(music)
    wid = d.window()
    if not wid or not wait_for(lambda: d.title(wid) == "朝の歌"):
        check(False, "the player starts on the folder")
        return None
    time.sleep(0.3)
    result = action(wid)
    d.key(wid, "Escape")
    d.stop(player)
    return result


def main():
    with Desktop(QEL) as d:
        music = d.music(d.path("music"), [f"{i:02d} 曲.mp3" for i in range(30)], SONG)

        # After the first open the window, not the list, has the keys: Page
        # Down lowers the volume by 5 instead of scrolling the list.
        session(d, music, lambda wid: d.key(wid, "Next", "Next"))
        check(d.ini().get("Volume") == "40", f"Page Down twice after the open: volume 40 ({d.ini().get('Volume')})")

        layout = session(d, music, lambda wid: Layout(d, wid))
        if not check(layout is not None and layout.found, "the list's current row is found on the screen"):
            return
        expected = {"list": "45", "background": "45", "play button": "45", "time read-out": "45",
                    "position slider": "50", "volume slider": "47", "pane without text": "45"}
        for name, (x, y) in layout.controls().items():
            session(d, music, lambda wid: d.wheel(x, y, up=False))
            got = d.ini().get("Volume")
            check(got == expected[name], f"one notch down over the {name} at {x},{y}: volume {got}, "
                                         f"expected {expected[name]}")

        # A plain drag selects rows 0 to 3; a Shift-drag from the selected
        # row 1 moves the four of them two rows down.
        def drag(wid):
            d.focus(wid)
            d.pointer(*layout.row(0))
            d.run(["xdotool", "mousedown", "1"])
            for i in (1, 2, 3):
                time.sleep(0.1)
                d.pointer(*layout.row(i))
            time.sleep(0.1)
            d.run(["xdotool", "mouseup", "1"])
            # The Shift-press must find row 1 selected.
            check(bool(wait_for(lambda: all(d.screenshot().at(layout.right, layout.row(i)[1]) == BLUE
                                            for i in (0, 1, 2, 3)), 10)), "a plain drag selects rows 0 to 3")
            d.pointer(*layout.row(1))
            d.run(["xdotool", "keydown", "shift", "mousedown", "1"])
            for i in (2, 3):
                time.sleep(0.1)
                d.pointer(*layout.row(i))
            d.run(["xdotool", "mouseup", "1", "keyup", "shift"])
            time.sleep(0.2)
            d.screenshot(save=d.path("drag.ppm"))
            d.run(["convert", d.path("drag.ppm"), os.environ.get("QEL_E2E_SHOT", d.path("drag.png"))])

        session(d, music, drag)
        order = [os.path.basename(p)[:2] for p in d.playlist() or []]
        want = ["04", "05", "00", "01", "02", "03", "06"]
        check(order[:7] == want, f"only the Shift-drag moved rows: {order[:8]}")


main()
check.exit()
