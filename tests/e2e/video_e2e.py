#!/usr/bin/env python3
"""A video in the pane, on a private X server with a real window manager:
full screen by the Home key, the picture at its placed rectangle with bands
around it, a click that pauses and resumes, a frame captured to a BMP file
and to the clipboard. Argument 1 is the qel program."""
import ctypes
import glob
import os
import struct
import subprocess
import sys
import time

from xsession import Checks, Desktop, wait_for

QEL = os.path.abspath(sys.argv[1])
check = Checks()
W, H = 1024, 768


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def pointer_visible(d):
    """Whether the pointer shown now has any opaque pixel (under weston:
    whether the client gives it a picture)."""
    if d.wayland:
        return "role wl_pointer-cursor" in d.scene()
    display = d.display
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    try:
        image = xfixes.XFixesGetCursorImage(connection).contents
        return any(image.pixels[i] >> 24 for i in range(image.width * image.height))
    finally:
        x11.XCloseDisplay(connection)


def make_clip(path):
    # Top half: red on the left, blue on the right; bottom half moves.
    graph = ("color=c=0xff0000:s=320x180:r=25[a];color=c=0x0000ff:s=320x180:r=25[b];[a][b]hstack[top];"
             "testsrc2=s=640x180:r=25[bottom];[top][bottom]vstack,format=yuv420p[v]")
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=60",
                    "-filter_complex", graph, "-map", "[v]", "-map", "0:a", "-t", "60", "-c:v", "libx264",
                    "-preset", "ultrafast", "-c:a", "aac", path], check=True)


def near(pixel, colour, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


def grey(pixel):
    return max(pixel) - min(pixel) < 12


def region(image, y0, y1):
    return bytes(image.pixels[y0 * image.width * 3:y1 * image.width * 3])


def main():
    with Desktop(QEL, window_manager=True, screen=f"{W}x{H}x24") as d:
        clip = d.path("clip.mp4")
        make_clip(clip)
        shots = d.path("shots")
        os.makedirs(shots)
        d.write_ini(f"[SystemSetting]\nMasterVolume=OFF\n[UserSetting]\nCaptureDir={shots}\n")
        player = d.start(clip)
        wid = d.window()
        if not check(wid is not None and bool(wait_for(lambda: "clip" in d.title(wid))), "the clip plays"):
            return
        time.sleep(1)

        def client_shot(name=None):
            x, y, w, h = d.client_rect(wid)
            image = d.screenshot(d.path(name) if name else None)
            return lambda cx, cy: image.at(x + cx, y + cy), w, h

        def picture_pixels():
            at, w, h = client_shot()
            return sum(1 for cy in range(0, h, 4) for cx in range(0, w, 4)
                       if near(at(cx, cy), (255, 0, 0)) or near(at(cx, cy), (0, 0, 255)))

        def picture_moves():
            first = client_shot()[0]
            time.sleep(0.4)
            second, w, h = client_shot()
            return any(first(cx, cy) != second(cx, cy) for cy in range(0, h, 3) for cx in range(0, w, 3))

        # Stay on top (the button at the top right) is the window manager's
        # state: the same window, its picture still there and playing.
        check(bool(wait_for(lambda: picture_pixels() > 50, 5)), "the picture shows in the pane")
        for on in (True, False):
            x, y, w, h = d.client_rect(wid)
            d.pointer(x + w - 20, y + 20)
            d.run(["xdotool", "click", "1"])
            if d.wayland:  # no stay-on-top state to ask for: the window is left as it is
                time.sleep(0.5)
                check(d.windows() == [wid], f"stay-on-top keeps the window it was pressed in ({d.windows()})")
            else:
                above = wait_for(lambda: ("_NET_WM_STATE_ABOVE" in d.run(["xprop", "-id", wid, "_NET_WM_STATE"],
                                                                          text=True).stdout) == on, 5)
                check(above, f"the stay-on-top button {'asks for' if on else 'takes back'} _NET_WM_STATE_ABOVE "
                             f"on the same window")
            time.sleep(0.5)
            check(picture_pixels() > 50 and picture_moves(),
                  f"with stay-on-top {'on' if on else 'off'} the picture still shows and plays")

        # ORIGINAL (F5) and MULTIPLE (F5 again) keep the 640 x 360 picture,
        # larger than the pane, inside the pane: the list beside it stays.
        at, w, h = client_shot()
        list_point = (30, h - 40)
        check(near(at(*list_point), (255, 255, 255), 8), f"the list is white below its rows ({at(*list_point)})")
        for rule in ("ORIGINAL", "MULTIPLE"):
            d.key(wid, "F5")
            time.sleep(1)
            at, w, h = client_shot(f"{rule}.ppm")
            check(near(at(*list_point), (255, 255, 255), 8) and at(3, h // 2) == at(3, 3),
                  f"{rule}: nothing of the picture over the list or the margin ({at(*list_point)}, {at(3, h // 2)})")
            check(picture_pixels() > 50, f"{rule}: the picture shows in the pane")
        d.key(wid, "F5")

        d.key(wid, "Home", "Home", "Home")
        full = wait_for(lambda: d.client_rect(wid) == (0, 0, W, H), 10)
        check(bool(full), f"Home three times covers the screen ({d.client_rect(wid)})")
        check(d.full_screen(wid), "the window manager holds it full screen")
        with open(f"/proc/{player.pid}/maps") as f:
            maps = f.read()
        check("_dri.so" in maps or "libGLX_mesa" in maps or "libEGL_mesa" in maps, "the picture is drawn with OpenGL")
        time.sleep(1)

        # 640 x 360 fitted to 1024 x 768: 1024 x 576 from y = 96.
        image = d.screenshot(d.path("full.ppm"))
        check(near(image.at(256, 200), (255, 0, 0)) and near(image.at(768, 200), (0, 0, 255)),
              f"the picture fills the placed rectangle ({image.at(256, 200)}, {image.at(768, 200)})")
        check(near(image.at(256, 98), (255, 0, 0)) and grey(image.at(256, 93)),
              f"the picture starts at the rectangle's top ({image.at(256, 93)} above {image.at(256, 98)})")
        bands = [image.at(x, y) for x, y in ((10, 10), (512, 90), (1000, 700), (512, 760))]
        check(all(grey(p) and p == bands[0] for p in bands), f"bands of the background above and below ({bands})")

        # A click pauses: the moving half stands still; the next click resumes.
        def moving():
            first = region(d.screenshot(), 500, 640)
            time.sleep(0.4)
            return first != region(d.screenshot(), 500, 640)

        check(moving(), "the picture moves while it plays")
        d.pointer(512, 560)
        d.run(["xdotool", "click", "1"])
        time.sleep(0.5)
        check(not moving(), "a click on the picture pauses it")
        time.sleep(0.6)
        d.run(["xdotool", "click", "1"])
        time.sleep(0.3)
        check(moving(), "the next click resumes it")

        # Resting over the playing picture, the pointer goes; it comes back
        # at the next movement.
        d.pointer(300, 300)
        check(bool(wait_for(lambda: pointer_visible(d), 2)), "the pointer shows over the picture while it moves")
        check(bool(wait_for(lambda: not pointer_visible(d), 8)), "after 5 s of rest it is hidden")
        d.pointer(310, 300)
        check(bool(wait_for(lambda: pointer_visible(d), 2)), "the next movement brings it back")

        # A frame to a BMP file, at the video window's size.
        d.key(wid, "F12")
        files = wait_for(lambda: glob.glob(os.path.join(shots, "clip_00_*.bmp")), 5)
        if check(bool(files), f"F12 writes the frame into the capture folder ({files})"):
            with open(files[0], "rb") as f:
                bmp = f.read()
            fields = struct.unpack_from("<2sIIIIiiHHI", bmp, 0)
            check(fields == (b"BM", 54 + 1024 * 576 * 4, 0, 54, 40, 1024, 576, 1, 32, 0),
                  f"the BMP's headers: 32-bit, 1024 x 576, bottom-up ({fields})")

            def bmp_pixel(x, y):  # rows bottom-up, blue green red
                at = 54 + ((575 - y) * 1024 + x) * 4
                return bmp[at + 2], bmp[at + 1], bmp[at]

            check(near(bmp_pixel(256, 100), (255, 0, 0)) and near(bmp_pixel(768, 100), (0, 0, 255)),
                  f"the BMP holds the pattern's colours ({bmp_pixel(256, 100)}, {bmp_pixel(768, 100)})")

        if not d.wayland:  # X cannot read a Wayland client's clipboard
            d.key(wid, "F11")
            time.sleep(0.5)
            png = d.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"], timeout=10).stdout
            size = struct.unpack(">II", png[16:24]) if png[:8] == b"\x89PNG\r\n\x1a\n" else None
            check(size == (1024, 576), f"F11 puts an image of the video window's size on the clipboard ({size})")

        # The pane is 4:3, the picture 16:9: the fourth step fills the screen.
        d.key(wid, "Home")
        time.sleep(1)
        image = d.screenshot(d.path("fill.ppm"))
        check(not grey(image.at(256, 10)) and not grey(image.at(768, 10)),
              f"filling, no band remains ({image.at(256, 10)}, {image.at(768, 10)})")
        d.key(wid, "Home")
        normal = wait_for(lambda: d.client_rect(wid)[2] < W, 10)
        check(bool(normal), f"the next Home gives the framed window back ({d.client_rect(wid)})")

        if d.wayland:
            # The clipboard read by a Wayland client; taken after the other
            # keys, as reading it leaves the keyboard with the reader. The
            # image on it has the size of the frame written to a file.
            time.sleep(0.5)
            before = set(glob.glob(os.path.join(shots, "*.bmp")))
            d.key(wid, "F12", "F11")
            files = wait_for(lambda: set(glob.glob(os.path.join(shots, "*.bmp"))) - before, 5)
            png = subprocess.run(["wl-paste", "-t", "image/png"], env=d.player_env, capture_output=True,
                                 timeout=10).stdout
            size = struct.unpack(">II", png[16:24]) if png[:8] == b"\x89PNG\r\n\x1a\n" else None
            bmp_size = None
            if files:
                with open(files.pop(), "rb") as f:
                    bmp_size = struct.unpack_from("<ii", f.read(26), 18)
            check(size is not None and size == bmp_size,
                  f"F11 puts an image of the video window's size on the clipboard ({size}, the file's {bmp_size})")
            x, y, w, _ = d.client_rect(wid)
            d.pointer(x + w // 2, y - 12)  # its title bar gives the window the keyboard again
            d.run(["xdotool", "click", "1"])
            time.sleep(0.3)

        d.key(wid, "Escape")
        check(d.stop(player) == 0, "Escape ends the player")


main()
check.exit()
