#!/usr/bin/env bash
# The batch run of the desktop program on a real X server: it writes exactly
# what the headless converter writes and exits 0, with an instrument file or
# an instrument package; an invalid command line exits 2; a refused overwrite
# question (answered with the keyboard, as a person would) exits 1 and leaves
# the file alone, and a file size limit ends in the write error and exit 1.
#
#   batch_run_test.sh DRAVIK DRAVIK_CONVERT EXAMPLES_DIR
# Exit status 77 (skipped) when xvfb-run is missing.
set -u
dravik=$1
convert=$2
examples=$3

source "$(dirname "$0")/x_session.sh"
need_tools xvfb-run

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
cp "$examples"/spr0117.raw "$examples"/spr0117.cal "$examples"/spr0117.zpk "$work"/
cd "$work" || exit 1
# 1. The window's conversion equals the converter's, byte for byte.
on_x timeout 60 "$dravik" spr0117.raw window.dat spr0117.cal /c /t /ew=yes
status=$?
[ "$status" -eq 0 ] || fail "dravik exited $status, expected 0"
"$convert" spr0117.raw converter.dat spr0117.cal /c /t 2>/dev/null
[ -s converter.dat ] || fail "dravik-convert wrote nothing"
cmp window.dat converter.dat || fail "the window's output differs from the converter's"

# 2. An instrument package in place of the instrument file: its first
#    instrument file converts, as with the converter, and the extracted files
#    go with the run.
on_x timeout 60 "$dravik" spr0117.raw package-window.dat spr0117.zpk /c /ew=yes
status=$?
[ "$status" -eq 0 ] || fail "dravik with a package exited $status, expected 0"
"$convert" spr0117.raw package-converter.dat spr0117.zpk /c 2>/dev/null
[ -s package-converter.dat ] || fail "dravik-convert wrote nothing from the package"
cmp package-window.dat package-converter.dat ||
  fail "the window's output from the package differs from the converter's"
leftovers=$(find "$XDG_CACHE_HOME" -name 'run-*' 2>/dev/null)
[ -z "$leftovers" ] || fail "the package's files stayed behind: $leftovers"

# 3. An invalid command line exits 2 after its message; the box is dismissed
#    with Enter.
if command -v xdotool >/dev/null; then
  # Waits for a window titled $1, gives it the keyboard and types keys $2...
  cat >answer.sh <<'SCRIPT'
title=$1
shift
shown() { xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1; }
for _ in $(seq 1 300); do
  wid=$(shown)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || exit 1
# A busy machine may map the window before it takes keys: type again until
# the window has gone.
for _ in $(seq 1 20); do
  sleep 0.3
  xdotool windowfocus --sync "$wid" 2>/dev/null
  xdotool key "$@"
  for _ in $(seq 1 10); do
    [ "$(shown)" = "$wid" ] || exit 0
    sleep 0.1
  done
done
exit 1
SCRIPT
  on_x bash -c 'timeout 60 "$1" spr0117.raw x.dat /t /nonsense & pid=$!
                bash answer.sh Dravik Return; wait $pid' _ "$dravik"
  status=$?
  [ "$status" -eq 2 ] || fail "an invalid command line exited $status, expected 2"

  # 4. "No" to the overwrite question: exit 1, the file untouched.
  printf 'keep me' >kept.dat
  on_x bash -c 'timeout 60 "$1" spr0117.raw kept.dat spr0117.cal /ow=no /ew=yes & pid=$!
                bash answer.sh Dravik alt+n; wait $pid' _ "$dravik"
  status=$?
  [ "$status" -eq 1 ] || fail "a refused overwrite exited $status, expected 1"
  [ "$(cat kept.dat)" = "keep me" ] || fail "a refused overwrite changed the file"

  # 5. A file size limit is a full disk: the write error, then the failed
  #    conversion's progress window waiting for its OK, then exit 1; not a
  #    window killed halfway through its output.
  on_x bash -c 'ulimit -f 64; timeout 60 "$1" spr0117.raw limited.dat spr0117.cal /c /t /ew=yes &
                pid=$!; bash answer.sh Dravik Return; bash answer.sh "Dravik Conversion" Return
                wait $pid' _ "$dravik"
  status=$?
  [ "$status" -eq 1 ] || fail "a file size limit exited $status, expected 1"
  cmp -s spr0117.raw "$examples"/spr0117.raw || fail "a file size limit changed the log"
else
  echo "xdotool is missing: the answered questions are not tested"
fi

[ "$failures" -eq 0 ] && echo "batch run: all checks passed"
[ "$failures" -eq 0 ]
