#!/usr/bin/env bash
# Checks what an install gives a user: the desktop entry and AppStream metadata validate,
# an install into a staging folder (DESTDIR) holds exactly the expected files, the installed
# varnelcd-cli (not the build tree's) reads a disc image and finds the language files, both
# manual pages render without warnings and describe every subcommand and option, and both
# programs answer --help, --version and bad options as GNU tools do.
# Usage: scripts/check-install.sh [BUILD_DIR]   (default: build, configured already)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)

tmp=$(mktemp -d)
trap 'rm -rf -- "${tmp:?}"' EXIT
failed=0
fail() { echo "check-install: FAILED: $*" >&2; failed=1; }

# The WMA encoder tool is installed when the sources have it.
targets=(varnelcd varnelcd-cli make-test-disc manpages)
has_wm8eutil=0
if grep -r -q -E 'add_executable\( *wm8eutil( |$|\))' tools; then
  has_wm8eutil=1
  targets+=(wm8eutil)
fi
cmake --build "$build" --target "${targets[@]}" > "$tmp/build.log" || { cat "$tmp/build.log"; exit 1; }

echo "-- desktop entry and AppStream metadata"
desktop-file-validate resources/varnelcd.desktop || fail "desktop-file-validate"

echo "-- install into a staging folder"
stage=$tmp/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr > "$tmp/install.log"
expected=(
  usr/bin/varnelcd
  usr/bin/varnelcd-cli
  usr/share/applications/varnelcd.desktop
  usr/share/metainfo/com.varnel.VarnelCD.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/varnelcd.svg
  usr/share/man/man1/varnelcd.1.gz
  usr/share/man/man1/varnelcd-cli.1.gz
  usr/share/doc/varnelcd/copyright
  usr/share/varnelcd/Varnel.html
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/varnelcd.png")
done
for f in resources/lang/CLan_*.ini; do
  expected+=("usr/share/varnelcd/$(basename "$f")")
done
[ $has_wm8eutil -eq 0 ] || expected+=(usr/libexec/varnelcd/wm8eutil)
printf '%s\n' "${expected[@]}" | LC_ALL=C sort > "$tmp/expected.txt"
(cd "$stage" && find . -mindepth 1 ! -type d | sed 's|^\./||' | LC_ALL=C sort) > "$tmp/installed.txt"
if ! diff -u "$tmp/expected.txt" "$tmp/installed.txt"; then
  fail "the install does not hold exactly the expected files (- expected, + installed)"
fi
for f in usr/bin/varnelcd usr/bin/varnelcd-cli; do
  [ -x "$stage/$f" ] || fail "$f is not executable"
done
desktop-file-validate "$stage/usr/share/applications/varnelcd.desktop" || fail "installed desktop entry"
appstreamcli validate --no-net "$stage/usr/share/metainfo/com.varnel.VarnelCD.metainfo.xml" \
  || fail "appstreamcli validate"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' resources/varnelcd.desktop)
[ -x "$stage/usr/bin/$exec_program" ] || fail "the desktop entry's Exec program $exec_program is not installed"
icon=$(sed -n 's/^Icon=//p' resources/varnelcd.desktop)
for size in 16 22 24 32 48 64 128 256; do
  png=$stage/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
  file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size x $size PNG: $(file -b "$png")"
done
[ -f "$stage/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "the desktop entry's icon $icon is not installed"

echo "-- the installed varnelcd-cli on a test disc"
home=$tmp/home
settings="$home/config/Varnel软件/CD音频转换"
mkdir -p "$settings" "$tmp/discs"
"$build/make-test-disc" --out "$tmp/discs/audio" --track audio:750 --track audio:1500 --cdtext --title 1:Erste > /dev/null
"$build/make-test-disc" --out "$tmp/discs/data" --track data:300 > /dev/null
cli() {
  (cd "$tmp" && env -u VARNELCD_DISC_IMAGES -u VARNELCD_CD_INPUT_ONLY HOME="$home" XDG_CONFIG_HOME="$home/config" \
     "$stage/usr/bin/varnelcd-cli" "$@")
}
set_language() { printf '[Options]\nLan=%s\n' "$1" > "$settings/options.ini"; }
set_language Chinese
rc=0; out=$(cli tracks --disc-image "$tmp/discs/audio.cue" 2> "$tmp/err") || rc=$?
want=$(printf '1\tErste\t00:10\t01.68\n2\tTrack 02\t00:20\t03.36')
[ $rc -eq 0 ] && [ "$out" = "$want" ] || fail "tracks on an audio disc: status $rc, output: $out $(cat "$tmp/err")"
# A data disc gives the message of the language file (an empty text when it is not found).
rc=0; cli tracks --disc-image "$tmp/discs/data.cue" > /dev/null 2> "$tmp/err" || rc=$?
[ $rc -eq 1 ] && [ "$(cat "$tmp/err")" = "无法读取光盘映像 $tmp/discs/data.cue：没有音轨" ] \
  || fail "tracks on a data disc: status $rc, message '$(cat "$tmp/err")' instead of the Chinese language file's"
# A language only the staged tree has: the texts come from the installed folder, found
# relative to the installed program, not from the build tree or an earlier install.
printf '[ResourceString]\nRES_Image_Error=staged language file: %%1 %%2\n' > "$stage/usr/share/varnelcd/CLan_StagedCheck.ini"
set_language StagedCheck
rc=0; cli tracks --disc-image "$tmp/discs/data.cue" > /dev/null 2> "$tmp/err" || rc=$?
[ $rc -eq 1 ] && [ "$(cat "$tmp/err")" = "staged language file: $tmp/discs/data.cue 没有音轨" ] \
  || fail "the installed program did not read the installed language folder: '$(cat "$tmp/err")'"
rm -f -- "$stage/usr/share/varnelcd/CLan_StagedCheck.ini"

echo "-- --help, --version and bad options"
# expect STATUS STREAM PATTERN COMMAND...: the status, and PATTERN in stdout or stderr.
expect() {
  local status=$1 stream=$2 pattern=$3; shift 3
  local rc=0
  (cd "$tmp" && HOME="$home" XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=offscreen "$@") \
    > "$tmp/out" 2> "$tmp/err" || rc=$?
  local other=err; [ "$stream" = out ] || other=out
  if [ $rc -ne "$status" ] || ! grep -q -e "$pattern" "$tmp/$stream" || { [ "$stream" = out ] && [ -s "$tmp/$other" ]; }; then
    fail "'${*##*/}': status $rc (want $status), std$stream should hold '$pattern'"
  fi
}
bin=$stage/usr/bin
version=$(sed -n 's/^project(VarnelCD VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
expect 0 out '^Usage: '             "$bin/varnelcd" --help
expect 0 out "^varnelcd (VarnelCD) $version\$" "$bin/varnelcd" --version
expect 2 err 'Unknown option'       "$bin/varnelcd" --no-such-option
expect 0 out '^Usage: varnelcd-cli' "$bin/varnelcd-cli" --help
expect 0 out "^varnelcd-cli $version\$" "$bin/varnelcd-cli" --version
expect 2 err 'unknown command'      "$bin/varnelcd-cli" no-such-command
expect 2 err 'no command'           "$bin/varnelcd-cli"

echo "-- manual pages"
man1=$stage/usr/share/man/man1
for page in varnelcd varnelcd-cli; do
  for locale in C C.UTF-8; do
    if ! LC_ALL=$locale MANWIDTH=80 man --warnings -l "$man1/$page.1.gz" > "$tmp/$page.$locale.txt" 2> "$tmp/man.err" \
       || [ -s "$tmp/man.err" ]; then
      fail "man $page ($locale):"; cat "$tmp/man.err" >&2
    fi
  done
done
# Options are looked for in the page's source, as roff writes them (\-\-name).
zcat "$man1/varnelcd-cli.1.gz" > "$tmp/varnelcd-cli.1"
zcat "$man1/varnelcd.1.gz" > "$tmp/varnelcd.1"
described() { grep -q -F -e "$(printf '%s' "$1" | sed 's/-/\\-/g')" "$2"; }
# Every subcommand has its section, and every option of its --help is described.
commands=$("$bin/varnelcd-cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z0-9][a-z0-9-]*\) .*/\1/p')
[ -n "$commands" ] || fail "varnelcd-cli --help lists no commands"
for c in $commands; do
  # roff writes a hyphen in a name as \-
  grep -q -E "^\.SS \"?${c//-/\\\\?-}( |\"|$)" "$tmp/varnelcd-cli.1" || fail "varnelcd-cli(1) has no section for '$c'"
  expect 0 out '^Usage: ' "$bin/varnelcd-cli" "$c" --help
  expect 2 err '.'        "$bin/varnelcd-cli" "$c" --no-such-option
  for opt in $("$bin/varnelcd-cli" "$c" --help | grep -o -E '^ +(-[a-zA-Z], )?--[a-z0-9-]+' | grep -o -E -- '--[a-z0-9-]+'); do
    described "$opt" "$tmp/varnelcd-cli.1" || fail "varnelcd-cli(1) does not describe '$c $opt'"
  done
done
for opt in $("$bin/varnelcd" --help | grep -o -E '^ +(-[a-zA-Z], )?--[a-z0-9-]+' | grep -o -E -- '--[a-z0-9-]+'); do
  described "$opt" "$tmp/varnelcd.1" || fail "varnelcd(1) does not describe '$opt'"
done

[ $failed -eq 0 ] || exit 1
echo "check-install: all checks passed"
