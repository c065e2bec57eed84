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
dravik=$1
drag_source=$2
examples=$3

for tool in xvfb-run xdotool xwininfo; do
  if ! command -v $tool >/dev/null; then
    echo "$tool is missing: the file drop test is skipped"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
conf=$XDG_CONFIG_HOME/Quillfern/Dravik.conf
# The lists start on a folder of decoys; the dropped files are elsewhere.
mkdir -p "$work/start" "$work/dropped"
cp "$examples"/spr0117.raw "$work/start/a.raw"
cp "$examples"/spr0117.cal "$work/start/a.cal"
cp "$examples"/spr0117.raw "$work/dropped/cast.raw"
cp "$examples"/spr0117.cal "$work/dropped/probe.cal"
cp "$examples"/spr0117.zpk "$work/dropped/"
echo old >"$work/dropped/earlier.dat"
cd "$work/start" || exit 1

# One session: each argument LIST:FILE drags FILE onto the list (log,
# instrument or output), then the Exit entry ends the program.
cat >session.sh <<'SCRIPT'
dravik=$1 drag_source=$2
shift 2
find_window() {
  local wid=
  for _ in $(seq 1 200); do
    wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    sleep 0.05
  done
  echo "$wid"
}
"$dravik" & pid=$!
main=$(find_window '^Dravik$')
[ -n "$main" ] || { kill $pid; exit 1; }
sleep 0.5
eval "$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {print "left=" $4}
  /Absolute upper-left Y/ {print "top=" $4} /Width:/ {print "width=" $2}
  /Height:/ {print "height=" $2}')"
status=0 sources=
for drop in "$@"; do
  # The three lists stand side by side across the middle of the window.
  case ${drop%%:*} in
    log) column=1 ;;
    instrument) column=3 ;;
    output) column=5 ;;
  esac
  "$drag_source" "${drop#*:}" >drag.txt & sources="$sources $!"
  source=$(find_window '^Drag Source$')
  [ -n "$source" ] || { echo "no drag source window" >&2; status=1; break; }
  sleep 0.3
  xdotool mousemove --window "$source" 80 50 sleep 0.2 mousedown 1
  x=$((left + width * column / 6)) y=$((top + height / 2))
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((1080 + (x - 1080) * step / 8)) $((850 + (y - 850) * step / 8)) sleep 0.05
  done
  xdotool mousemove $((x + 3)) $((y + 3)) sleep 0.3 mouseup 1
  for _ in $(seq 1 100); do [ -s drag.txt ] && break; sleep 0.05; done
  grep -q taken drag.txt || { echo "the ${drop%%:*} list did not take ${drop#*:}" >&2; status=1; }
  sleep 0.5
  # The next source window is found by its title alone.
  xdotool windowunmap --sync "$source"
done
xdotool mousemove --window "$main" $((width / 2)) $((height / 2))
xdotool windowfocus --sync "$main"
sleep 0.5
xdotool key --delay 150 alt+d x
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.05; done
kill $sources 2>/dev/null
kill $pid 2>/dev/null && exit 1
wait $pid
exit $status
SCRIPT

# The session on a fresh X server. Another run on the machine may take the
# same server number at the same moment; a session that then finds no server
# runs again on another one.
on_x() {
  local status
  for _ in 1 2 3; do
    rm -f x-status.txt
    xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x1024x24" \
      env QT_QPA_PLATFORM=xcb bash -c 'timeout 60 bash session.sh "$@"; echo $? >x-status.txt' \
      _ "$dravik" "$drag_source" "$@" 2>x-errors.txt
    status=$?
    [ -s x-status.txt ] && status=$(cat x-status.txt)
    [ "$status" -eq 0 ] || cat x-errors.txt >&2
    grep -q "could not connect to display" x-errors.txt || return $status
    echo "no X server reached: running again" >&2
  done
  return $status
}

# A stored value: section and key as the settings file writes them.
stored() {
  sed -n "/^\[$1\]/,/^\[/s/^$2=//p" "$conf"
}
failures=0
expect() {
  local value
  value=$(stored "$1" "$2")
  [ "$value" = "$3" ] || {
    echo "FAIL: $1 / $2 is \"$value\", expected \"$3\""
    failures=$((failures + 1))
  }
}

mkdir -p "$(dirname "$conf")"
printf '[Window%%20Position]\nRect=0020 0020 0100 0100\n' >"$conf"
dropped=$work/dropped
on_x log:"$dropped/cast.raw" instrument:"$dropped/probe.cal" output:"$dropped/earlier.dat" ||
  { echo "FAIL: the session with the files failed"; failures=$((failures + 1)); }
for list in Log Instrument Output; do expect "$list%20View" "Working%20Directory" "$dropped/"; done
expect "Log%20View" "File%20Selected" cast.raw
expect "Log%20View" "File%20Filter" "*.raw"
expect "Instrument%20View" "File%20Selected" probe.cal
expect "Instrument%20View" "Use%20Working%20Directory" 1
expect "Output%20View" "File%20Selected" earlier.dat

on_x instrument:"$dropped/spr0117.zpk" ||
  { echo "FAIL: the session with the package failed"; failures=$((failures + 1)); }
expect "Instrument%20View" "Instrument%20Package%20File" "$dropped/spr0117.zpk"
expect "Instrument%20View" "Use%20Working%20Directory" 0
expect "Instrument%20View" "File%20Selected" spr0117.cal

[ $failures -eq 0 ] || exit 1
echo "file drop: each list took the file dropped on it and selected it"
