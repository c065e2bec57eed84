#!/usr/bin/env bash
# A session in the window as a person has it: the log and the instrument file
# are picked in their lists with the keyboard, an output name is typed in the
# "Next" box and Ctrl+C converts. The output must equal what the headless
# converter writes for the same files and options.
#
#   window_session_test.sh DRAVIK DRAVIK_CONVERT EXAMPLES_DIR
# Exit status 77 (skipped) when xvfb-run or xdotool is missing.
set -u
dravik=$1
convert=$2
examples=$3

for tool in xvfb-run xdotool; do
  if ! command -v $tool >/dev/null; then
    echo "$tool is missing: the window session test is skipped"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
# The progress window goes by itself when the conversion ends.
mkdir -p "$XDG_CONFIG_HOME/Quillfern"
printf '[Settings]\nDismiss%%20Progress=1\n' >"$XDG_CONFIG_HOME/Quillfern/Dravik.conf"
# Decoys come first in the lists, so the wanted files have to be picked.
cp "$examples"/spr0117.raw "$examples"/spr0117.cal "$work"/
cp "$examples"/cast0117.raw "$work"/aaa.raw
cp "$examples"/spr0117.cal "$work"/aaa.cal
cd "$work" || exit 1

cat >session.sh <<'SCRIPT'
"$1" & pid=$!
wid=
for _ in $(seq 1 300); do
  wid=$(xdotool search --onlyvisible --name '^Dravik$' 2>/dev/null | head -n 1)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { kill $pid; exit 1; }
sleep 1
xdotool windowfocus --sync "$wid"
# Log list: "s" picks spr0117.raw; Instrument list likewise; then the name.
xdotool key --delay 150 alt+l s alt+i s alt+n ctrl+a
xdotool type --delay 50 window
xdotool key ctrl+c
for _ in $(seq 1 300); do
  [ -s window.dat ] && ! xdotool search --onlyvisible --name '^Dravik Conversion' >/dev/null 2>&1 &&
    break
  sleep 0.1
done
sleep 0.5
kill $pid
wait $pid 2>/dev/null
exit 0
SCRIPT

status=1
for _ in 1 2 3; do
  # The session's own status: xvfb-run answers 5 when it cannot remove its
  # temporary folder, which happens on a loaded machine.
  rm -f x-status.txt
  xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x1024x24" \
    env QT_QPA_PLATFORM=xcb bash -c 'bash session.sh "$1"; echo $? >x-status.txt' _ "$dravik" 2>x-errors.txt
  status=$?
  [ -s x-status.txt ] && status=$(cat x-status.txt)
  cat x-errors.txt >&2
  grep -q "could not connect to display" x-errors.txt || break
  echo "no X server reached: running again" >&2
done
[ "$status" -eq 0 ] || { echo "FAIL: the window never showed"; exit 1; }
"$convert" spr0117.raw converter.dat spr0117.cal 2>/dev/null
[ -s converter.dat ] || { echo "FAIL: dravik-convert wrote nothing"; exit 1; }
[ -s window.dat ] || { echo "FAIL: the session wrote no window.dat"; ls; exit 1; }
cmp window.dat converter.dat || { echo "FAIL: the window's output differs from the converter's"; exit 1; }
echo "window session: the output equals the converter's"
