#!/usr/bin/env bash
# Saves screenshots of the desktop program for the README: the main window
# with its lists filled, in header mode and while converting, the progress
# window during and after a conversion, the log window, each dialog and the
# Quick Look's spectrum and series pages. The
# program runs on a private X server (Xvfb) with a small window manager (twm,
# which draws the titles the progress shows in) and is driven with keys, as a
# person would drive it; the settings go to a scratch folder.
#
#   scripts/screenshots.sh [BUILD_DIR]      (default build/release)
#
# Needs xvfb, twm, xdotool, x11-utils (xwininfo), x11-apps (xwd) and netpbm
# (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/release}
dravik=$root/$build/src/ui/dravik
loggen=$root/$build/tools/dravik-loggen
convert=$root/$build/src/cli/dravik-convert
out=$root/docs/screenshots
for tool in Xvfb twm xdotool xwininfo xwd xwdtopnm pnmpaste pnmtopng; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh"; exit 1; }
done
for program in "$dravik" "$loggen" "$convert"; do
  [ -x "$program" ] || { echo "build $build first (dravik, dravik-loggen, dravik-convert)"; exit 1; }
done
mkdir -p "$out"

work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work
sleep 1
# Windows go where the program puts them (or anywhere), without asking for a
# click.
# Xvfb has only the "fixed" core font.
cat >"$work/twmrc" <<'TWMRC'
RandomPlacement
NoGrabServer
DecorateTransients
TitleFont "fixed"
MenuFont "fixed"
IconFont "fixed"
ResizeFont "fixed"
IconManagerFont "fixed"
TWMRC
LC_ALL=C twm -f "$work/twmrc" >/dev/null 2>&1 &
wm_pid=$!
sleep 1
kill -0 "$wm_pid" 2>/dev/null || { echo "twm did not start"; exit 1; }

# The id of the visible window whose title matches the pattern $1 (a whole
# title unless the pattern says otherwise), waiting up to 60 s.
window() {
  local wid=""
  for _ in $(seq 1 600); do
    wid=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1 || true)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.1
  done
  echo "no window titled '$1'" >&2
  return 1
}
# Gives window $1 the keyboard and types the keys that follow. The pointer
# rests on the window too: the window manager gives the keyboard to the window
# under the pointer.
keys() {
  local wid=$1
  shift
  xdotool mousemove --window "$wid" 4 4
  xdotool windowfocus --sync "$wid"
  xdotool key --delay 120 "$@"
}
# The window manager's frame around window $1: its ancestor just below the root.
frame() {
  local wid=$1 parent root
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  while :; do
    parent=$(xwininfo -tree -id "$wid" | awk '/Parent window id:/ {print $4}')
    if [ -z "$parent" ] || [ "$parent" = "$root" ]; then break; fi
    wid=$parent
  done
  echo "$wid"
}
# Saves window $1 with its title bar as docs/screenshots/$2.png, once the
# window manager has framed it and the program has drawn it again.
shot() {
  local outer=$1
  for _ in $(seq 1 100); do
    outer=$(frame "$1")
    [ $((outer)) -ne $(($1)) ] && break
    sleep 0.1
  done
  if [ "$(geometry "$outer" 'Absolute upper-left X')" -lt 0 ] ||
     [ "$(geometry "$outer" 'Absolute upper-left Y')" -lt 0 ]; then
    # A frame partly off the screen would be dumped cut short.
    xdotool windowmove --sync "$1" 60 60 || true
  fi
  sleep 1
  # The frame's dump leaves the contents of some windows (modal dialogs)
  # black, so the window's own dump is pasted into it.
  xwd -silent -id "$outer" | xwdtopnm >"$work/frame.pnm" 2>/dev/null
  xwd -silent -nobdrs -id "$1" | xwdtopnm >"$work/window.pnm" 2>/dev/null
  # (xwininfo places a window by the outer corner of its border, as xwd dumps it.)
  local x y
  x=$(($(geometry "$1" 'Absolute upper-left X') - $(geometry "$outer" 'Absolute upper-left X')))
  y=$(($(geometry "$1" 'Absolute upper-left Y') - $(geometry "$outer" 'Absolute upper-left Y')))
  pnmpaste "$work/window.pnm" "$x" "$y" "$work/frame.pnm" | pnmtopng >"$out/$2.png"
  echo "docs/screenshots/$2.png"
}
# One number of the geometry of window $1, by its name in xwininfo's report.
geometry() {
  xwininfo -id "$1" | awk -F: -v name="$2" '$1 ~ name {gsub(/ /, "", $2); print $2}'
}
# Waits until no visible window's title matches $1.
gone() {
  for _ in $(seq 1 600); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  echo "the window '$1' stayed open" >&2
  return 1
}

cd "$work"
cp "$root"/examples/spr0117.cal .
"$loggen" spr0117.cal big.raw --size 150M --time-tags --garbage 0.001 >/dev/null 2>&1

# A cruise as the lists show it: logs, instrument files and earlier outputs,
# one of each selected, in folders of their own. The program places the main
# window top left and the progress window beside it, so neither hides the other.
mkdir -p logs inst out
cp "$root"/examples/{cast0003,cast0117,nav0001,spr0117}.raw logs/
ln big.raw logs/spr0142.raw
cp "$root"/examples/spr0117.cal "$root"/examples/nav0001.tdf inst/
cp "$root"/examples/spr0117.cal inst/spr0118.cal
"$convert" logs/spr0117.raw out/spr0117.dat inst/spr0117.cal >/dev/null 2>&1
"$convert" logs/spr0117.raw out/spr0117-phys.dat inst/spr0117.cal /c /t >/dev/null 2>&1
"$convert" logs/nav0001.raw out/nav0001.dat inst/nav0001.tdf >/dev/null 2>&1
mkdir -p config/Quillfern
cat >config/Quillfern/Dravik.conf <<INI
[Log%20View]
Working%20Directory=$work/logs/
File%20Selected=spr0142.raw
[Instrument%20View]
Working%20Directory=$work/inst/
File%20Filter=*.*
File%20Selected=spr0117.cal
[Output%20View]
Working%20Directory=$work/out/
File%20Selected=spr0117-phys.dat
[View]
Default%20Outfile=spr0142.dat
[Parameters]
Apply%20Fit=1
Time%20Tags=1
[Window%20Position]
Rect=0020 0020 0700 0500
[Conversion%20Window]
Rect=1000 0060
INI

# The main window, in header mode, and while it converts.
"$dravik" & app_pid=$!
main=$(window Dravik)
shot "$main" main-window
keys "$main" ctrl+h                       # Conversion > Header
shot "$main" main-header
keys "$main" ctrl+h ctrl+c                # back, then Conversion > Convert
progress=$(window 'Dravik Conversion')
window 'Dravik - Conversion in Progress - \([1-9][0-9]*%\)' >/dev/null
shot "$main" main-converting
keys "$progress" Return                   # Cancel
sleep 1
keys "$progress" Return                   # OK
gone '^Dravik Conversion'

# What the menus open.
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
rm -rf config

# The Quick Look on the example cast spr0117, calibrated with time tags: the
# spectrum of its last frame, then two channels and the tilt against time.
mkdir -p config/Quillfern
cat >config/Quillfern/Dravik.conf <<INI
[Log%20View]
Working%20Directory=$work/logs/
File%20Selected=spr0117.raw
[Instrument%20View]
Working%20Directory=$work/inst/
File%20Filter=*.*
File%20Selected=spr0117.cal
[Output%20View]
Working%20Directory=$work/out/
[View]
Default%20Outfile=spr0117-look.dat
[Parameters]
Apply%20Fit=1
Time%20Tags=1
[Window%20Position]
Rect=0020 0020 0700 0500
[Conversion%20Window]
Rect=1000 0600
[Quick%20Look%20Window]
Rect=0720 0020 1580 0560
Show%20Window=1
Page=0
Left%20Columns=ES(412.7) [uW/cm^2/nm]|ES(551.3) [uW/cm^2/nm]
Right%20Columns=TILT(X) [deg]
INI
"$dravik" & app_pid=$!
main=$(window Dravik)
window 'Quick Look' >/dev/null
keys "$main" ctrl+c                       # Conversion > Convert
progress=$(window 'Dravik Conversion')
look=$(window 'Quick Look - spr0117.raw')
sleep 2
keys "$progress" Return                   # OK
gone '^Dravik Conversion'
shot "$look" quick-look-spectrum
keys "$look" alt+e                        # the Series page
shot "$look" quick-look-series
keys "$main" alt+d x                      # Dravik > Exit
wait "$app_pid" || true
app_pid=""
rm -rf config

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
