#!/usr/bin/env bash
# Saves screenshots of the desktop program for the README: the main window,
# the progress window during and after a conversion, the log window and each
# dialog. The program runs on a private X server (Xvfb) and is driven with
# keys, as a person would drive it; the settings go to a scratch folder.
#
#   scripts/screenshots.sh [BUILD_DIR]      (default build/release)
#
# Needs xvfb, xdotool, x11-apps (xwd) and netpbm (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/release}
dravik=$root/$build/src/ui/dravik
loggen=$root/$build/tools/dravik-loggen
out=$root/docs/screenshots
for tool in Xvfb xdotool xwd xwdtopnm pnmtopng; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh"; exit 1; }
done
[ -x "$dravik" ] && [ -x "$loggen" ] || { echo "build $build first (dravik, dravik-loggen)"; exit 1; }
mkdir -p "$out"

work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work
sleep 1

# The id of the visible window titled exactly $1, waiting up to 30 s.
window() {
  local wid=""
  for _ in $(seq 1 300); do
    wid=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1 || true)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.1
  done
  echo "no window titled '$1'" >&2
  return 1
}
# Gives window $1 the keyboard and types the keys that follow.
keys() {
  local wid=$1
  shift
  xdotool windowfocus --sync "$wid"
  xdotool key --delay 120 "$@"
}
shot() {
  sleep 0.5
  xwd -silent -id "$1" | xwdtopnm 2>/dev/null | pnmtopng >"$out/$2.png"
  echo "docs/screenshots/$2.png"
}

cd "$work"
cp "$root"/examples/spr0117.cal .
"$loggen" spr0117.cal big.raw --size 150M --time-tags --garbage 0.001 >/dev/null 2>&1

# The main window and what its menus open.
"$dravik" & app_pid=$!
main=$(window Dravik)
shot "$main" main-window
keys "$main" alt+v l                      # View > Conversion Log
shot "$(window 'Conversion Log Output')" log-window
keys "$main" alt+d p                      # Dravik > Properties...
shot "$(window 'Dravik Properties')" properties-dialog
keys "$(window 'Dravik Properties')" Escape
keys "$main" alt+h a                      # Help > About Dravik...
shot "$(window 'About Dravik')" about-dialog
keys "$(window 'About Dravik')" Return
keys "$main" F1
shot "$(window 'Dravik Help')" help-window
keys "$main" alt+d x                      # Dravik > Exit
wait "$app_pid" || true
app_pid=""

# A batch run: the overwrite question, the progress window while converting,
# the question of Escape, and the window once the conversion has ended.
printf 'an older output\n' >big.dat
"$dravik" big.raw big.dat spr0117.cal /c /t /efc /l-2 & app_pid=$!
question=$(window Dravik)
shot "$question" overwrite-dialog
keys "$question" alt+y
progress=$(window 'Dravik Conversion')
sleep 1
shot "$progress" progress-converting
keys "$progress" Escape
shot "$(window Dravik)" abort-question
keys "$(window Dravik)" alt+n
# The conversion has ended when its output stops growing.
previous=-1
for _ in $(seq 1 600); do
  size=$(stat -c %s big.dat)
  [ "$size" = "$previous" ] && break
  previous=$size
  sleep 1
done
shot "$progress" progress-complete
keys "$progress" Return
wait "$app_pid" || true
app_pid=""
