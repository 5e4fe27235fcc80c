#!/usr/bin/env bash
# The program must start without Qt: it links no Qt library, no library
# outside the window folder links or includes Qt, and only that folder
# includes Qt headers.
set -euo pipefail
build=$1
source=$2
fail() { echo "FAIL: $*"; exit 1; }

needed=$(readelf -d "$build/tarnwick" | grep NEEDED || true)
grep -qi 'libQt' <<<"$needed" && fail "the program links Qt: $needed"
readelf -d "$build/libtarnwick-windows.so" | grep -q 'libQt6Widgets' ||
  fail "the window module links no Qt: is this the right build?"

# Every library's direct link list, written by CMake at generate time.
while IFS= read -r line; do
  case $line in
    tarnwick_window_code:*|tarnwick_windows:*) ;;
    *Qt*) fail "a library outside the windows links Qt: $line" ;;
  esac
done <"$build/tests/link-libraries.txt"

# No compile line of a file outside the window folder sees Qt's headers.
python3 - "$build/compile_commands.json" "$source" <<'PY' || exit 1
import json, sys
entries = json.load(open(sys.argv[1]))
src = sys.argv[2].rstrip('/') + '/src/'
for e in entries:
    f = e['file']
    if f.startswith(src) and not f.startswith(src + 'windows/'):
        if 'qt6' in e.get('command', '').lower():
            print('FAIL: compiled with Qt include paths:', f)
            sys.exit(1)
PY

outside=$(cd "$source" && grep -rl '#include <Q' src | grep -v '^src/windows/' || true)
[ -z "$outside" ] || fail "Qt headers included outside src/windows: $outside"
echo "Qt line: ok"
