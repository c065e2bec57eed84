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

source "$(dirname "$0")/x_session.sh"
need_tools xvfb-run xdotool

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
source "$X_SESSION"
"$1" & pid=$!
wid=$(find_window '^Dravik$')
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

on_x bash session.sh "$dravik"
status=$?
[ "$status" -eq 0 ] || { echo "FAIL: the window never showed"; exit 1; }
"$convert" spr0117.raw converter.dat spr0117.cal 2>/dev/null
[ -s converter.dat ] || { echo "FAIL: dravik-convert wrote nothing"; exit 1; }
[ -s window.dat ] || { echo "FAIL: the session wrote no window.dat"; ls; exit 1; }
cmp window.dat converter.dat || { echo "FAIL: the window's output differs from the converter's"; exit 1; }
echo "window session: the output equals the converter's"
