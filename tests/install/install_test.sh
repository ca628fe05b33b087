#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a distribution
# would: the launcher file and the metainfo validate, the manual page renders,
# every icon size is there, the program answers --version from the prefix, and
# the Debian package holds the same files and depends on the libraries the
# program links.
set -euo pipefail
build="$1"
app_id="$2"
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

version="$(QT_QPA_PLATFORM=offscreen "$prefix/bin/qel" --version)" || fail "--version failed"
grep -q '^qel [0-9]' <<<"$version" || fail "--version printed: $version"

# The package: built from the same tree, not installed.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null) || fail "cpack failed"
deb="$(ls "$work"/package/*.deb)"
contents="$(dpkg-deb --contents "$deb")"
for path in ./usr/bin/qel "./usr/share/applications/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml" \
            ./usr/share/man/man1/qel.1.gz "./usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
            "./usr/share/icons/hicolor/48x48/apps/$app_id.png"; do
  grep -qF -- " $path" <<<"$contents" || fail "package lacks $path"
done
depends="$(dpkg-deb --field "$deb" Depends)"
for lib in libmpv libqt6widgets6 libfluidsynth libc6; do
  grep -q "$lib" <<<"$depends" || fail "package does not depend on $lib: $depends"
done
echo "install_test: $(wc -l <<<"$contents") paths in $(basename "$deb")"
