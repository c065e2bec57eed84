#!/usr/bin/env bash
# Files dropped on the three lists as a person drops them: the mouse presses
# on another program's window (a small Qt window that drags the files given
# to it), moves onto a list of the main window and lets go. The list then
# shows the dropped file's folder with that file selected, which the program
# keeps in its settings at exit: a log, an instrument file and an output file
# in one session, an instrument package (its first instrument file selected)
# in another.
#
#   file_drop_test.sh DRAVIK DRAG_SOURCE EXAMPLES_DIR
# Exit status 77 (skipped) when xvfb-run, xdotool or xwininfo is missing.
set -u
source "$(dirname "$0")/x_session.sh"
need_tools xvfb-run xdotool xwininfo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
conf=$XDG_CONFIG_HOME/Quillfern/Dravik.conf
# The lists start on a folder of decoys; the dropped files are elsewhere.
dropped=$work/dropped
mkdir -p "$work/start" "$dropped" "$(dirname "$conf")"
cp "$3"/spr0117.raw "$work/start/a.raw"
cp "$3"/spr0117.cal "$work/start/a.cal"
cp "$3"/spr0117.raw "$dropped/cast.raw"
cp "$3"/spr0117.cal "$dropped/probe.cal"
cp "$3"/spr0117.zpk "$dropped/"
echo old >"$dropped/earlier.dat"
printf '[Window%%20Position]\nRect=0020 0020 0100 0100\n' >"$conf"
cd "$work/start" || exit 1

# One session: each argument LIST:FILE drags FILE onto the list (log,
# instrument or output), then the Exit entry ends the program. The sources
# stay until then: a list reads the dropped names from its source after the
# drop.
cat >session.sh <<'SCRIPT'
source "$X_SESSION"
"$1" & pid=$!
main=$(find_window '^Dravik$')
[ -n "$main" ] || { kill $pid; exit 1; }
eval "$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {print "left=" $4}
  /Absolute upper-left Y/ {print "top=" $4} /Width:/ {print "width=" $2}
  /Height:/ {print "height=" $2}')"
status=0 sources= drag_source=$2
shift 2
for drop in "$@"; do
  # The three lists stand side by side across the middle of the window.
  case ${drop%%:*} in log) column=1 ;; instrument) column=3 ;; output) column=5 ;; esac
  "$drag_source" "${drop#*:}" >drag.txt & sources="$sources $!"
  source=$(find_window '^Drag Source$')
  xdotool mousemove --window "$source" 80 50 sleep 0.2 mousedown 1
  x=$((left + width * column / 6)) y=$((top + height / 2))
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((1080 + (x - 1080) * step / 8)) $((850 + (y - 850) * step / 8)) sleep 0.05
  done
  xdotool mousemove $((x + 3)) $((y + 3)) sleep 0.3 mouseup 1
  for _ in $(seq 1 100); do [ -s drag.txt ] && break; sleep 0.05; done
  grep -q taken drag.txt || { echo "the ${drop%%:*} list did not take ${drop#*:}" >&2; status=1; }
  sleep 0.5
  xdotool windowunmap --sync "$source"
done
exit_program $pid "$main" || status=1
kill $sources
exit $status
SCRIPT

expect() {
  [ "$(stored "$1" "$2")" = "$3" ] && return
  fail "$1 / $2 is \"$(stored "$1" "$2")\", expected \"$3\""
}
on_x timeout 60 bash session.sh "$1" "$2" log:"$dropped/cast.raw" \
  instrument:"$dropped/probe.cal" output:"$dropped/earlier.dat" || fail "the session with the files"
for list in Log Instrument Output; do expect "$list%20View" "Working%20Directory" "$dropped/"; done
expect "Log%20View" "File%20Selected" cast.raw
expect "Log%20View" "File%20Filter" "*.raw"
expect "Instrument%20View" "File%20Selected" probe.cal
expect "Instrument%20View" "Use%20Working%20Directory" 1
expect "Output%20View" "File%20Selected" earlier.dat

on_x timeout 60 bash session.sh "$1" "$2" instrument:"$dropped/spr0117.zpk" ||
  fail "the session with the package"
expect "Instrument%20View" "Instrument%20Package%20File" "$dropped/spr0117.zpk"
expect "Instrument%20View" "Use%20Working%20Directory" 0
expect "Instrument%20View" "File%20Selected" spr0117.cal

[ $failures -eq 0 ] && echo "file drop: each list took the file dropped on it and selected it"
[ $failures -eq 0 ]
