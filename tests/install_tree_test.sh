#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks the tree: the
# program and its window library, a manual page that renders without a
# warning, a desktop entry that validates, the icons, the completion.
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr
fail() { echo "FAIL: $*"; exit 1; }

[ -x "$root/bin/tarnwick" ] || fail "no program"
shopt -s nullglob
modules=("$root"/lib/*/tarnwick/libtarnwick-windows.so "$root"/lib/tarnwick/libtarnwick-windows.s[o])
[ ${#modules[@]} -eq 1 ] || fail "window library: ${modules[*]}"
"$root/bin/tarnwick" -V | grep -q "^Tarnwick Version" || fail "the installed program does not run"

page=$root/share/man/man1/tarnwick.1.gz
[ -f "$page" ] || fail "no manual page"
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page warns: $warnings"
text=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
for section in SYNOPSIS OPTIONS SETTINGS FILES "EXIT STATUS" DIAGNOSTICS EXAMPLES; do
  grep -q "^$section" <<<"$text" || fail "the manual page has no $section"
done
grep -q "12140" <<<"$text" || fail "the manual page lists no error numbers"

desktop-file-validate "$root/share/applications/tarnwick.desktop" || fail "desktop entry"
grep -q "^Exec=tarnwick -config$" "$root/share/applications/tarnwick.desktop" || fail "Exec"

[ -f "$root/share/icons/hicolor/scalable/apps/tarnwick.svg" ] || fail "no SVG icon"
for size in 16 24 32 48 64 128 256; do
  png=$root/share/icons/hicolor/${size}x${size}/apps/tarnwick.png
  [ -f "$png" ] || fail "no ${size}px icon"
  # Width and height from the PNG header: the file is the size it claims.
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "${size}px icon is $dims"
done

completion=$root/share/bash-completion/completions/tarnwick
[ -f "$completion" ] || fail "no completion"
offered=$(bash -c "source '$completion'; COMP_WORDS=(tarnwick -x); COMP_CWORD=1; _tarnwick; echo \${COMPREPLY[*]}")
grep -q -- "-xu" <<<"$offered" || fail "completion offers: $offered"
[ -f "$root/share/doc/tarnwick/copyright" ] || fail "no copyright"
echo "install tree: ok"
