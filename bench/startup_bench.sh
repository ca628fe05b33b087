#!/usr/bin/env bash
# Start-up time and footprint of qel beside Audacious from Debian, measured in
# one run on a private X server, session bus and sound server: the time to a
# shown window and to a ready list with a resumed 10,000-entry playlist, with
# a 10,000-file folder and with one MP3 that plays; memory and libraries idle
# and while the MP3 plays. See startup_bench.py for what each figure means.
# Usage:
#   bench/startup_bench.sh [path/to/qel] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in Xvfb dbus-daemon pulseaudio ffmpeg; do
  command -v "$tool" >/dev/null || { echo "startup_bench: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
done
command -v audacious >/dev/null || echo "startup_bench: no audacious, qel alone is measured" >&2
exec python3 bench/startup_bench.py "${1:-build/bin/qel}" "${2:-5}"
