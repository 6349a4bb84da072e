#!/usr/bin/env bash
# Installs the build tree with `make install-built PREFIX=... DESTDIR=...` into a
# temporary staging folder and checks what arrived: every file in its place and
# nothing outside the prefix, the desktop entry and the AppStream metainfo pass
# their validators, the icon is well-formed SVG, the manual page formats without
# a warning, and the installed program runs and finds its help files in the
# installed tree.
#
# usage: install_test.sh SOURCE_DIR BUILD_DIR   (QUORVEL_TEST_DATA: the fixtures)
set -uo pipefail

src=$1
build=$(cd "$2" && pwd)
data=${QUORVEL_TEST_DATA:-$src/tests/data}
app_id=org.quorvel.Quorvel
prefix=/opt/quorvel-staged

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The validators are part of the test: a missing one is a failure, never a skip.
for tool in desktop-file-validate appstreamcli xmllint groff make cmake; do
  if ! command -v "$tool" > /dev/null; then
    echo "FAIL: $tool is not installed (scripts/install-deps installs it)"
    exit 1
  fi
done

stage=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-install-XXXXXX")
trap 'rm -rf "$stage"' EXIT
dest=$stage/root
root=$dest$prefix

if ! make --no-print-directory -C "$src" install-built BUILD="$build" PREFIX="$prefix" DESTDIR="$dest" \
    > "$stage/install.log" 2>&1; then
  cat "$stage/install.log"
  echo "FAIL: make install-built failed"
  exit 1
fi

# Every file, and only these, under the prefix.
expected=(
  "bin/quorvel"
  "lib/quorvel/quorvel-editor.so"
  "share/quorvel/Quorvel.local.help.file.htm"
  "share/quorvel/Quorvel.script.tutorial.htm"
  "share/applications/$app_id.desktop"
  "share/icons/hicolor/scalable/apps/$app_id.svg"
  "share/metainfo/$app_id.metainfo.xml"
  "share/man/man1/quorvel.1"
)
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "$prefix/$f was not installed"
done
[ -x "$root/bin/quorvel" ] || fail "bin/quorvel is not executable"
while IFS= read -r f; do
  rel=${f#"$root"/}
  found=0
  for e in "${expected[@]}"; do [ "$rel" = "$e" ] && found=1; done
  [ $found -eq 1 ] || fail "unexpected file installed: ${f#"$dest"}"
done < <(find "$dest" -type f -o -type l)
# Help files installed as they are in the source tree.
for h in Quorvel.local.help.file.htm Quorvel.script.tutorial.htm; do
  cmp -s "$src/help/$h" "$root/share/quorvel/$h" || fail "installed $h differs from help/$h"
done

# Desktop entry.
desktop=$root/share/applications/$app_id.desktop
if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
  fail "desktop-file-validate: $out"
fi
grep -qx 'Exec=quorvel %f' "$desktop" || fail "desktop entry: no 'Exec=quorvel %f'"
grep -qx 'MimeType=audio/mpeg;' "$desktop" || fail "desktop entry: no 'MimeType=audio/mpeg;'"
grep -qx "Icon=$app_id" "$desktop" || fail "desktop entry: icon is not $app_id"
grep -qx 'Type=Application' "$desktop" || fail "desktop entry: not an application"
grep -q '^Categories=.*AudioVideo;' "$desktop" || fail "desktop entry: not in the AudioVideo category"

# AppStream metainfo, naming the installed desktop entry and binary.
metainfo=$root/share/metainfo/$app_id.metainfo.xml
if ! out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
  fail "appstreamcli validate: $out"
fi
grep -q "<id>$app_id</id>" "$metainfo" || fail "metainfo: id is not $app_id"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "metainfo: launchable does not name the desktop entry"
grep -q '<binary>quorvel</binary>' "$metainfo" || fail "metainfo: does not provide the binary"
grep -q '<mediatype>audio/mpeg</mediatype>' "$metainfo" || fail "metainfo: does not provide audio/mpeg"

# Icon: well-formed SVG with a view box, so it scales.
icon=$root/share/icons/hicolor/scalable/apps/$app_id.svg
if ! out=$(xmllint --noout "$icon" 2>&1); then fail "icon is not well-formed XML: $out"; fi
if [ "$(xmllint --xpath 'local-name(/*)' "$icon" 2>/dev/null)" != "svg" ]; then fail "icon's root element is not svg"; fi
[ -n "$(xmllint --xpath 'string(/*/@viewBox)' "$icon" 2>/dev/null)" ] || fail "icon has no viewBox"

# Manual page: formats without a warning and covers the command line, the files,
# the log and the exit status.
man=$root/share/man/man1/quorvel.1
if ! out=$(LC_ALL=C.UTF-8 groff -man -ww -z -Tutf8 "$man" 2>&1) || [ -n "$out" ]; then
  fail "groff warnings on quorvel.1: $out"
fi
text=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -P -cbou "$man" 2>/dev/null)
for word in '--script' '--info' '--help' '--version' 'EXIT STATUS' 'quorvel.ini' 'Quorvel.log' \
  'XDG_CONFIG_HOME' '.config/quorvel'; do
  grep -qF -- "$word" <<< "$text" || fail "manual page does not mention $word"
done

# The installed program: its version, its help files found in the installed tree
# (the build tree's copies are elsewhere), and an analysis.
bin=$root/bin/quorvel
version=$(sed -n 's/^project(Quorvel VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
out=$("$bin" --version 2>&1)
[ "$out" = "quorvel $version" ] || fail "--version printed '$out', expected 'quorvel $version'"
grep -q "release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
grep -q "\"Quorvel $version\"" "$man" || fail "manual page is not of version $version"

out=$("$bin" --help 2>&1)
grep -qxF "  program: $root/share/quorvel/Quorvel.local.help.file.htm" <<< "$out" ||
  fail "--help does not show the installed program help: $out"
grep -qxF "  scripts: $root/share/quorvel/Quorvel.script.tutorial.htm" <<< "$out" ||
  fail "--help does not show the installed script help: $out"

grep -qxF "  module: $root/lib/quorvel/quorvel-editor.so" <<< "$out" ||
  fail "--help does not show the installed editor module: $out"
# The program links no Qt (so silent runs load none); the module resolves every symbol.
if ldd "$bin" | grep -q 'libQt6'; then fail "bin/quorvel links Qt: $(ldd "$bin" | grep libQt6)"; fi
out=$(ldd -r "$root/lib/quorvel/quorvel-editor.so" 2>&1)
grep -q 'libQt6Widgets' <<< "$out" || fail "the editor module does not link Qt Widgets: $out"
if grep -q 'undefined symbol\|not found' <<< "$out"; then fail "the editor module does not resolve: $out"; fi

fixture=$data/cbr128-info.mp3
out=$("$bin" --info "$fixture" 2>&1)
status=$?
[ $status -eq 0 ] || fail "--info exited with $status: $out"
[ "$(head -n 1 <<< "$out")" = "$fixture" ] || fail "--info does not start with the file name: $out"
grep -q '^  frames: [1-9][0-9]*$' <<< "$out" || fail "--info shows no frame count: $out"
grep -q 'kbps' <<< "$out" || fail "--info shows no information line: $out"

# Without its help files the installed program says so.
rm "$root/share/quorvel/Quorvel.script.tutorial.htm"
out=$("$bin" --help 2>&1)
grep -qxF "  scripts: (missing)" <<< "$out" || fail "--help does not report a missing help file: $out"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install: every check passed"
