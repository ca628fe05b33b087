#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a distribution
# would: the launcher file and the metainfo validate, the manual page renders,
# every icon size is there, the program answers --version from the prefix, and
# the Debian package holds the same files and depends on the libraries the
# program links.
set -euo pipefail
build="$1"
app_id="$2"
song="$3"  # an MP3 the installed program plays
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

share="$prefix/share"
desktop="$share/applications/$app_id.desktop"
metainfo="$share/metainfo/$app_id.metainfo.xml"
[ -x "$prefix/bin/qel" ] || fail "no program in bin/"
[ -f "$desktop" ] || fail "no launcher file"
[ -f "$metainfo" ] || fail "no metainfo"

desktop-file-validate "$desktop" || fail "launcher file does not validate"
appstreamcli validate --no-net "$metainfo" || fail "metainfo does not validate"

# The launcher opens what the engine plays and the playlists, and runs the
# three remote commands.
grep -q '^MimeType=.*audio/mpeg;' "$desktop" || fail "no MP3 in MimeType"
grep -q '^MimeType=.*audio/x-mpegurl;' "$desktop" || fail "no M3U in MimeType"
grep -q '^MimeType=.*audio/midi;' "$desktop" || fail "no MIDI in MimeType"
for action in Play Stop Next; do
  grep -q "^Exec=qel /$action\$" "$desktop" || fail "no /$action action"
done

# The session picks the platform: the launcher forces none.
! grep -q 'QT_QPA_PLATFORM' "$desktop" || fail "the launcher forces a platform"

man_text="$(MANWIDTH=80 man -l "$share/man/man1/qel.1.gz" 2>&1)" || fail "manual page does not render"
for word in /Play /Stop /Next XDG_CONFIG_HOME QEL_AUDIO_OUTPUT qel.m3u8 org.mpris.MediaPlayer2.qel playerctl; do
  grep -qF -- "$word" <<<"$man_text" || fail "manual page says nothing of $word"
done

icons="$share/icons/hicolor"
[ -f "$icons/scalable/apps/$app_id.svg" ] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
  png="$icons/${size}x${size}/apps/$app_id.png"
  [ -f "$png" ] || fail "no ${size}px icon"
  dims="$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png")"
  [ "$dims" = "${size}x${size}" ] || fail "${size}px icon is $dims"
done
for action in play stop next; do
  [ -f "$icons/scalable/apps/$app_id-$action.svg" ] || fail "no $action action icon"
done

# The media engine is a module beside the program, found from bin/ by the
# program itself: the program does not link the media libraries. The engine
# links libsndfile; libmpv and FluidSynth are in modules of their own beside
# it, which it loads when a file needs them. Each exports its entry alone.
module="$(find "$prefix" -name qel-engine.so -path '*/qel/*' | head -n 1)"
[ -n "$module" ] || fail "no engine module"
# ldd's output is taken whole: grep -q would stop reading early, and under
# pipefail ldd's broken pipe would decide the test.
program_libs="$(ldd "$prefix/bin/qel")"
if grep -qE 'libmpv|libavformat|libfluidsynth|libsndfile' <<<"$program_libs"; then fail "the program links the media libraries"; fi
for entry in "qel-engine:qel_engine_module_create:libsndfile:libmpv|libavformat|libfluidsynth" \
             "qel-engine-player:qel_engine_player_backend:libmpv:libfluidsynth" \
             "qel-engine-midi:qel_engine_midi_backend:libfluidsynth:libmpv|libavformat"; do
  IFS=: read -r name symbol links never <<<"$entry"
  file="$(dirname "$module")/$name.so"
  [ -f "$file" ] || fail "no $name.so beside the engine"
  libs="$(ldd "$file")"
  grep -q "$links" <<<"$libs" || fail "$name.so does not link $links"
  if grep -qE "$never" <<<"$libs"; then fail "$name.so links one of $never"; fi
  exported="$(nm -D --defined-only "$file" | awk '$2 == "T" {print $3}')"
  [ "$exported" = "$symbol" ] || fail "$name.so exports: $exported"
done

# The installed program finds it when a file is opened.
run="$work/run"
mkdir -p "$run/config" "$run/state" "$run/runtime" && chmod 700 "$run/runtime"
env -u DBUS_SESSION_BUS_ADDRESS -u PULSE_SERVER HOME="$run" XDG_CONFIG_HOME="$run/config" XDG_STATE_HOME="$run/state" \
  XDG_RUNTIME_DIR="$run/runtime" QT_QPA_PLATFORM=offscreen QEL_AUDIO_OUTPUT=null "$prefix/bin/qel" "$song" \
  >/dev/null 2>&1 &
player=$!
loaded=no
for _ in $(seq 100); do
  if grep -qF "$module" "/proc/$player/maps" 2>/dev/null; then loaded=yes; break; fi
  sleep 0.1
done
kill "$player" 2>/dev/null || true
wait "$player" 2>/dev/null || true
[ "$loaded" = yes ] || fail "the installed program did not load $module to play a file"

version="$(QT_QPA_PLATFORM=offscreen "$prefix/bin/qel" --version)" || fail "--version failed"
grep -q '^qel [0-9]' <<<"$version" || fail "--version printed: $version"

# The package: built from the same tree, not installed.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null) || fail "cpack failed"
deb="$(ls "$work"/package/*.deb)"
contents="$(dpkg-deb --contents "$deb")"
for name in qel-engine qel-engine-player qel-engine-midi; do
  grep -qE " \./usr/lib/(.*/)?qel/$name\.so" <<<"$contents" || fail "package lacks $name.so"
done
for path in ./usr/bin/qel "./usr/share/applications/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml" \
            ./usr/share/man/man1/qel.1.gz "./usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
            "./usr/share/icons/hicolor/48x48/apps/$app_id.png"; do
  grep -qF -- " $path" <<<"$contents" || fail "package lacks $path"
done
depends="$(dpkg-deb --field "$deb" Depends)"
for lib in libmpv libqt6widgets6 libfluidsynth libc6 qt6-translations-l10n; do
  grep -q "$lib" <<<"$depends" || fail "package does not depend on $lib: $depends"
done
# Native under Wayland once Qt's Wayland plugin is there.
grep -q "qt6-wayland" <<<"$(dpkg-deb --field "$deb" Recommends)" || fail "package does not recommend qt6-wayland"
echo "install_test: $(wc -l <<<"$contents") paths in $(basename "$deb")"
