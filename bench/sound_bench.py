#!/usr/bin/env python3
"""The sound path as a listener judges it, qel beside Audacious in one run on
one private desktop (Xvfb, a session bus, a PulseAudio server whose null sink
is recorded from its monitor):

  lengths   every kind of file ffmpeg and LAME make: the length qel answers
            ("status Qel_ length" through qel-mci) against the frames ffmpeg
            (LAME for free format) decodes; the goal is 30 ms
  gapless   two halves of one tone, split and encoded separately, played by
            each player from a folder of the two: the silent milliseconds
            between the first and the last sound heard
  volume    the first file after start at volumes 5, 20 and 100: the level
            of its first 200 ms against the rest (goal: within 1 dB)
  cpu       CPU time of each player while a 60 s MP3 and a 60 s FLAC play to
            the sound server (Audacious without and with its window), and
            qel's memory while the MP3 plays

Usage: bench/sound_bench.py [path/to/qel]; QEL_SOUND_BENCH=gapless,volume,cpu
chooses the parts after the lengths.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from array import array

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from startup_bench import AUDACIOUS, AUDTOOL, Desktop, audtool, memory, now  # noqa: E402

QEL = os.path.realpath(sys.argv[1]) if len(sys.argv) > 1 else os.path.realpath("build/bin/qel")
MCI = os.path.join(os.path.dirname(QEL), "qel-mci")
RATE = 44100


def ffmpeg(*args):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", *args], check=True)


# ---- lengths

def make_corpus(root):
    tone = f"{root}/tone.wav"
    ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=61.73", "-ac", "2", tone)
    short = f"{root}/short.wav"
    ffmpeg("-f", "lavfi", "-i", "sine=frequency=330:sample_rate=44100:duration=2.96", "-ac", "2", short)
    kinds = [
        ("MP3 CBR 128k, LAME tag", "cbr.mp3", ["-c:a", "libmp3lame", "-b:a", "128k"]),
        ("MP3 CBR 128k, no Info", "cbr-bare.mp3", ["-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"]),
        ("MP3 VBR, Xing", "vbr.mp3", ["-c:a", "libmp3lame", "-q:a", "2"]),
        ("MP3 VBR, no Xing", "vbr-bare.mp3", ["-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"]),
        ("MPEG-2 22 kHz VBR, Xing", "mpeg2.mp3", ["-ar", "22050", "-c:a", "libmp3lame", "-q:a", "4"]),
        ("MPEG-2 22 kHz VBR, no Xing", "mpeg2-bare.mp3",
         ["-ar", "22050", "-c:a", "libmp3lame", "-q:a", "4", "-write_xing", "0"]),
        ("MPEG-2.5 8 kHz, Xing", "mpeg25.mp3", ["-ar", "8000", "-c:a", "libmp3lame", "-b:a", "16k"]),
        ("MPEG-2.5 8 kHz, no Xing", "mpeg25-bare.mp3",
         ["-ar", "8000", "-c:a", "libmp3lame", "-b:a", "16k", "-write_xing", "0"]),
        ("FLAC", "plain.flac", ["-c:a", "flac"]),
        ("Ogg Vorbis", "plain.ogg", ["-c:a", "libvorbis"]),
        ("Ogg Opus", "plain.opus", ["-c:a", "libopus"]),
        ("WAV", "plain.wav", ["-c:a", "pcm_s16le"]),
    ]
    files = []
    for name, file, args in kinds:
        path = f"{root}/{file}"
        ffmpeg("-i", tone, *args, path)
        files.append((name, path, False))
    free = f"{root}/free.mp3"
    subprocess.run(["lame", "--quiet", "--freeformat", "-b", "200", tone, free], check=True)
    files.append(("MP3 free format 200k", free, True))
    joined = f"{root}/joined.mp3"
    with open(joined, "wb") as out:
        for _ in range(2):
            with open(f"{root}/cbr.mp3", "rb") as f:
                out.write(f.read())
    files.append(("two MP3s joined", joined, False))
    # A 10 s CBR file without an Info frame behind a 1 MiB cover.
    covered = f"{root}/cover.mp3"
    ffmpeg("-i", short, "-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", f"{root}/cover-sound.mp3")
    picture = os.urandom(1 << 20)
    body = b"\0image/png\0\x03\0" + picture
    frame = b"APIC" + len(body).to_bytes(4, "big") + b"\0\0" + body
    n = len(frame)
    size = bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
    with open(covered, "wb") as out, open(f"{root}/cover-sound.mp3", "rb") as f:
        out.write(b"ID3\x03\0\0" + size + frame + f.read())
    files.append(("MP3 CBR, no Info, 1 MiB cover", covered, False))
    return files


def reference_ms(path, lame):
    if lame:
        dec = subprocess.Popen(["lame", "--quiet", "--decode", path, "-"], stdout=subprocess.PIPE)
        src = ["-i", "-"]
    else:
        dec = None
        src = ["-i", path]
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "stream=sample_rate",
                            "-of", "csv=p=0", path], capture_output=True, text=True)
    digits = probe.stdout.strip().split(",")[0]
    rate = int(digits) if digits.isdigit() and int(digits) > 0 else RATE  # ffprobe knows no free format
    out = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", *src, "-f", "f32le", "-ac", "1", "-"],
                         stdin=dec.stdout if dec else None, capture_output=True)
    if dec:
        dec.wait()
    return len(out.stdout) / 4 * 1000.0 / rate


def qel_lengths(paths):
    lines = "".join(f'open "{p}" alias Qel_ type mpegvideo shareable\nstatus Qel_ length\nclose Qel_\n'
                    for p in paths)
    env = dict(os.environ, QEL_AUDIO_OUTPUT="null")
    out = subprocess.run([MCI], input=lines, capture_output=True, text=True, env=env).stdout.splitlines()
    answers = [line.split("\t") for line in out if not line.startswith("notify")]
    return [int(a[1]) if len(a) > 1 and a[0] == "0" and a[1] else None for a in answers[1::3]]


def bench_lengths(root):
    print("lengths: qel's answer against the decoded length")
    files = make_corpus(root)
    answers = qel_lengths([p for _, p, _ in files])
    worst = 0.0
    for (name, path, lame), ms in zip(files, answers):
        ref = reference_ms(path, lame)
        diff = None if ms is None else ms - ref
        worst = max(worst, abs(diff) if diff is not None else float("inf"))
        print(f"  {name:32s} decoded {ref:9.1f} ms   qel {ms if ms is not None else '-':>7} ms   "
              f"{'' if diff is None else f'{diff:+7.1f} ms'}")
    print(f"  largest difference: {worst:.1f} ms (goal: 30 ms)\n")


# ---- recording the sink

class Recorder:
    def __init__(self, env):
        self.proc = subprocess.Popen(["parec", "--device=bench.monitor", "--raw", "--format=float32le",
                                      "--channels=1", f"--rate={RATE}", "--latency-msec=20"],
                                     env=env, stdout=subprocess.PIPE)
        self.data = bytearray()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while True:
            chunk = self.proc.stdout.read(4096)
            if not chunk:
                break
            self.data += chunk

    def mark(self):
        return len(self.data) // 4

    def samples(self, start=0):
        n = len(self.data) // 4 * 4
        a = array("f")
        a.frombytes(bytes(self.data[:n]))
        return a[start:]

    def stop(self):
        self.proc.terminate()
        self.proc.wait()
        self.thread.join()


def sounding(samples, floor):
    first = next((i for i, v in enumerate(samples) if abs(v) > floor), None)
    if first is None:
        return None, None
    last = len(samples) - next(i for i, v in enumerate(reversed(samples)) if abs(v) > floor)
    return first, last


def silent_ms(samples, floor=0.02):
    first, last = sounding(samples, floor)
    if first is None:
        return None, 0
    ms = RATE // 1000
    silent = 0
    for at in range(first, last - ms + 1, ms):
        if max(abs(v) for v in samples[at:at + ms]) <= floor:
            silent += 1
    return silent, (last - first) / RATE


def db(samples):
    s = sum(v * v for v in samples) / max(1, len(samples))
    return 10 * __import__("math").log10(s + 1e-30)


def start_qel(desktop, args, ini=None):
    env = dict(desktop.env)
    for sub in ("state", "config"):
        shutil.rmtree(f"{desktop.root}/{sub}", ignore_errors=True)
        os.makedirs(f"{desktop.root}/{sub}")
    if ini:
        os.makedirs(f"{desktop.root}/config/qel", exist_ok=True)
        with open(f"{desktop.root}/config/qel/qel.ini", "w") as f:
            f.write(ini)
    return subprocess.Popen([QEL, *args], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def start_audacious(desktop, files):
    env = dict(desktop.env, XDG_CONFIG_HOME=f"{desktop.root}/aud-config")
    shutil.rmtree(env["XDG_CONFIG_HOME"], ignore_errors=True)
    return subprocess.Popen([AUDACIOUS, "-H", *files], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL), env


def stop(proc):
    proc.terminate()
    try:
        proc.wait(5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def bench_gapless(desktop, root):
    print("gapless: silent milliseconds between two halves of one tone")
    formats = [("flac", ["-c:a", "flac"]), ("wav", ["-c:a", "pcm_s16le"]), ("ogg", ["-c:a", "libvorbis"]),
               ("opus", ["-c:a", "libopus"]), ("mp3", ["-c:a", "libmp3lame", "-b:a", "192k"])]
    players = ["qel"] + (["audacious"] if AUDACIOUS and AUDTOOL else [])
    for ext, codec in formats:
        folder = f"{root}/gapless-{ext}"
        os.makedirs(folder)
        files = []
        for i, offset in enumerate(("0", "1.5")):
            path = f"{folder}/{i + 1}.{ext}"
            ffmpeg("-f", "lavfi", "-i", f"aevalsrc=0.5*sin(2*PI*440*(t+{offset})):s=44100:d=1.5", "-ac", "2",
                   *codec, path)
            files.append(path)
        row = []
        for player in players:
            rec = Recorder(desktop.env)
            time.sleep(0.3)
            mark = rec.mark()
            if player == "qel":
                proc = start_qel(desktop, [folder], "[SystemSetting]\nMode=ONE\nMasterVolume=OFF\nVolume= 100\n")
            else:
                proc, _ = start_audacious(desktop, files)
            time.sleep(5.0)
            stop(proc)
            rec.stop()
            silent, heard = silent_ms(rec.samples(mark))
            row.append(f"{player} {'-' if silent is None else silent:>3} ms silent in {heard:4.2f} s heard")
        print(f"  {ext:5s} " + "   ".join(row))
    print()


def bench_volume(desktop, root):
    print("volume at the first sample: the first 200 ms against the rest, qel")
    tone = f"{root}/volume.flac"
    ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-c:a", "flac", tone)
    for volume in (5, 20, 100):
        rec = Recorder(desktop.env)
        time.sleep(0.3)
        mark = rec.mark()
        proc = start_qel(desktop, [tone], f"[SystemSetting]\nMode=ONE\nMasterVolume=OFF\nVolume= {volume}\n")
        time.sleep(3.5)
        stop(proc)
        rec.stop()
        s = rec.samples(mark)
        first, last = sounding(s, 1e-6)
        if first is None:
            print(f"  volume {volume:3d}: nothing heard")
            continue
        head = db(s[first:first + RATE // 5])
        rest = db(s[first + RATE // 5:last])
        print(f"  volume {volume:3d}: first 200 ms {head:6.1f} dB, the rest {rest:6.1f} dB ({head - rest:+.2f} dB)")
    print()


def cpu_by_thread(pid):
    """Nanoseconds on a CPU so far: the main thread's (the window's, in both
    players) and the other threads' (decoding and feeding the sound server)."""
    used = {"main": 0, "rest": 0}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                ns = int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            continue
        used["main" if int(tid) == pid else "rest"] += ns
    return used


def bench_cpu(desktop, root):
    # qel always has its window; Audacious is measured both without one
    # (-H) and with its Qt window, which is the like-for-like yardstick.
    seconds = 40
    print(f"CPU seconds while {seconds} s of a 60 s file play to the sound server (main thread + the rest)")
    files = {}
    for ext, codec in (("mp3", ["-c:a", "libmp3lame", "-b:a", "192k"]), ("flac", ["-c:a", "flac"])):
        path = f"{root}/cpu.{ext}"
        ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=60", "-ac", "2", *codec, path)
        files[ext] = path
    players = ["qel"] + (["audacious -H", "audacious -Q"] if AUDACIOUS else [])
    for ext, path in files.items():
        row = []
        for player in players:
            if player == "qel":
                proc = start_qel(desktop, [path])
            else:
                env = dict(desktop.env, XDG_CONFIG_HOME=f"{root}/aud-config")
                shutil.rmtree(env["XDG_CONFIG_HOME"], ignore_errors=True)
                proc = subprocess.Popen([AUDACIOUS, player.split()[1], path], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
            time.sleep(5)
            before = cpu_by_thread(proc.pid)
            time.sleep(seconds)
            after = cpu_by_thread(proc.pid)
            used = {k: (v - before[k]) / 1e9 for k, v in after.items()}
            note = ""
            if player == "qel" and ext == "mp3":
                m = memory(proc.pid)
                with open(f"/proc/{proc.pid}/maps") as f:
                    heavy = sorted({os.path.basename(line.split()[-1]) for line in f
                                    if "libmpv" in line or "libavcodec" in line or "libavformat" in line})
                note = f" (PSS {m['pss']:.1f} MB, {m['libs']} libraries{', ' + ' '.join(heavy) if heavy else ''})"
            row.append(f"{player} {used['main'] + used['rest']:5.2f} s ({used['main']:4.2f} + {used['rest']:4.2f}){note}")
            stop(proc)
        print(f"  {ext:5s} " + "   ".join(row))
    print()


def main():
    if not os.access(QEL, os.X_OK) or not os.access(MCI, os.X_OK):
        sys.exit(f"no program at {QEL} (and qel-mci beside it)")
    root = tempfile.mkdtemp(prefix="qel-sound-")
    desktop = Desktop(root)
    try:
        bench_lengths(root)
        desktop.start()
        only = os.environ.get("QEL_SOUND_BENCH", "gapless,volume,cpu").split(",")
        if "gapless" in only:
            bench_gapless(desktop, root)
        if "volume" in only:
            bench_volume(desktop, root)
        if "cpu" in only:
            bench_cpu(desktop, root)
    finally:
        desktop.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
