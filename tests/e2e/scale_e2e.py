#!/usr/bin/env python3
"""The player on a dense screen: at scale factors 1.5 and 2 (Qt's scale
factor, and Xft.dpi under X11) the window keeps its layout in logical pixels,
its icons come from their SVGs, and a detailed cover in the pane is drawn
at the screen's own pixels, not scaled up from the layout's (which would
repeat every pixel). Screenshots at 1x and 2x judge it. Argument 1 is the
qel program, argument 2 the demo folder."""
import os
import shutil
import subprocess
import sys
import time

from xsession import Checks, Desktop, wait_for

QEL, DEMO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
check = Checks()


def repeated_pairs(image, box):
    """Of the neighbouring pixel pairs in the box, the share that are equal.
    Noise drawn pixel for pixel has next to none; noise scaled up from
    fewer pixels repeats half of them at 2x, a third at 1.5x."""
    x0, y0, x1, y1 = box
    same = total = 0
    for y in range(y0, y1):
        row = [image.at(x, y) for x in range(x0, x1)]
        for a, b in zip(row, row[1:]):
            same += a == b
            total += 1
    return same / max(total, 1)


def run(d, env, name, media="cover.mp3", title="夜の歌"):
    player = d.start(d.path("music", media), env=env)
    wid = d.window()
    if not check(wid is not None and bool(wait_for(lambda: d.title(wid) == title)), f"{name}: the file plays"):
        return None
    time.sleep(1)  # the picture painted
    x, y, w, h = d.client_rect(wid)
    # The pane fills the client (no list); the square cover is fitted to
    # its width, so the middle of the client lies inside the picture.
    box = (x + w * 3 // 10, y + h * 4 // 10, x + w * 7 // 10, y + h * 6 // 10)
    shares = []
    # A busy machine may show the picture late: until then the box is
    # plain (every pair repeats).
    wait_for(lambda: shares.append(repeated_pairs(d.screenshot(d.path(f"{name}.ppm")), box)) or shares[-1] < 0.1, 10,
             0.5)
    share = shares[-1]
    with open(f"/proc/{player.pid}/maps") as f:
        svg_icons = "libqsvgicon" in f.read()
    d.key(wid, "Escape")
    check(d.stop(player) == 0, f"{name}: Escape ends the player")
    return w, h, share, svg_icons


def main():
    with Desktop(QEL) as d:
        os.makedirs(d.path("music"))
        shutil.copy(f"{DEMO}/02 夜の歌.mp3", d.path("music", "cover.mp3"))
        # A 1200-pixel cover of grey noise: every pixel differs from the next.
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "nullsrc=s=1200x1200,format=gray",
                        "-vf", "geq=lum='random(1)*255'", "-frames:v", "1", "-q:v", "1",
                        d.path("music", "cover.jpg")], check=True)
        ini = "[SystemSetting]\nMasterVolume=OFF\nwidth= 300\nheight= 320\nListWidth= 0\nShowText=OFF\n"

        results = {}
        for name, factor in (("1x", None), ("1.5x", "1.5"), ("2x", "2")):
            d.write_ini(ini)
            env = dict(d.player_env)
            env.pop("QT_SCALE_FACTOR", None)
            if factor:
                env["QT_SCALE_FACTOR"] = factor
            results[name] = run(d, env, name)
        # The X resource desktops set for a 200% screen.
        d.run(["xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER", "Xft.dpi:\t192\n"])
        d.write_ini(ini)
        env = dict(d.player_env)
        env.pop("QT_SCALE_FACTOR", None)
        results["Xft.dpi 192"] = run(d, env, "xft192")
        d.run(["xprop", "-root", "-remove", "RESOURCE_MANAGER"])
        # A video of noise, drawn into the pane by OpenGL.
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "nullsrc=s=800x800:r=10,format=gray",
                        "-vf", "geq=lum='random(1)*255',format=yuv420p", "-t", "4", "-c:v", "libx264", "-preset",
                        "ultrafast", "-crf", "10", d.path("music", "noise.mp4")], check=True)
        d.write_ini(ini)
        env = dict(d.player_env, QT_SCALE_FACTOR="2")
        results["video 2x"] = run(d, env, "video", "noise.mp4", "noise.mp4")
        if not all(results.values()):
            return
        share = results["video 2x"][2]
        check(share < 0.1, f"2x: the video is drawn at the screen's pixels ({share:.2f} of neighbours repeat)")

        base_w, base_h, base_share, _ = results["1x"]
        check(base_share < 0.1, f"1x: the cover's pixels are its own ({base_share:.2f} of neighbours repeat)")
        for name, factor in (("1.5x", 1.5), ("2x", 2), ("Xft.dpi 192", 2)):
            w, h, share, svg_icons = results[name]
            check(abs(w - base_w * factor) <= 3 and abs(h - base_h * factor) <= 3,
                  f"{name}: the layout is the 1x layout in logical pixels ({w} x {h} for {base_w} x {base_h})")
            check(share < 0.1, f"{name}: the cover is drawn at the screen's pixels ({share:.2f} of neighbours repeat)")
            check(svg_icons, f"{name}: the icons are drawn from their SVGs")


main()
check.exit()
