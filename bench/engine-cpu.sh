#!/bin/sh
# CPU time of playing one minute of MP3 with qel-mci against mpv, same file,
# same run, audio to the null output.
set -eu
bin="${1:-build/bin}/qel-mci"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
ffmpeg -hide_banner -loglevel error -f lavfi -i "sine=frequency=440:duration=60" -c:a libmp3lame -b:a 128k "$tmp/min.mp3"
cpu() { /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1 + $2}'; }
q=$(printf 'open "%s" alias q\nplay q\nwait 60500\n' "$tmp/min.mp3" | QEL_AUDIO_OUTPUT=null cpu "$bin")
m=$(cpu mpv --no-config --no-video --ao=null "$tmp/min.mp3")
echo "qel-mci cpu ${q}s, mpv cpu ${m}s"
