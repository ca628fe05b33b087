#!/usr/bin/env bash
# Start-up to a shown window with a resumed 10,000-entry playlist, and the
# idle memory of the running player with that list. Usage:
#   bench/startup_bench.sh [path/to/qel] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/bin/qel}")
runs=${2:-5}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
unset PULSE_SERVER PULSE_RUNTIME_PATH  # leave the user's master volume alone
export XDG_CONFIG_HOME=$root/config XDG_STATE_HOME=$root/state XDG_RUNTIME_DIR=$root/runtime QEL_AUDIO_OUTPUT=null
mkdir -p "$XDG_STATE_HOME/qel" "$root/music" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cp "demo/01 朝の歌.mp3" "$root/music/track.mp3"
python3 - "$root" <<'PY'
import sys
root = sys.argv[1]
with open(f"{root}/state/qel/qel.m3u8", "w", encoding="utf-8") as f:
    f.write("#EXTM3U\n")
    for i in range(10000):
        f.write(f"#EXTINF:180,曲 {i:05d}\n{root}/music/track.mp3\n")
PY
xvfb-run -a bash -c '
  bin=$1 runs=$2 total=0
  for i in $(seq "$runs"); do
    rm -f "$XDG_RUNTIME_DIR/qel/qel.sock"
    start=$(date +%s%N)
    "$bin" 2>/dev/null &
    pid=$!
    until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do sleep 0.005; done
    shown=$(date +%s%N)
    # The instance mark goes up once the first open (rows included) is done.
    until [ -S "$XDG_RUNTIME_DIR/qel/qel.sock" ]; do sleep 0.005; done
    ready=$(date +%s%N)
    ms=$(( (ready - start) / 1000000 ))
    echo "run $i: window shown $(( (shown - start) / 1000000 )) ms, list ready ${ms} ms"
    total=$((total + ms))
    if [ "$i" = "$runs" ]; then
      sleep 2
      echo "idle memory: $(grep VmRSS /proc/$pid/status)"
      # Most of the resident size is clean library pages the kernel can drop;
      # the dirty private part is what the player itself holds.
      grep -E "^(Pss|Private_Dirty):" /proc/$pid/smaps_rollup
    fi
    kill -9 "$pid"; wait "$pid" 2>/dev/null || true
  done
  echo "mean to a ready list: $((total / runs)) ms"
' bench "$bin" "$runs"
