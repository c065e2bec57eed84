#!/usr/bin/env bash
# The windows open where the previous session left them: four starts in a row
# of the desktop program, each opening the main window, the log window and the
# progress window (a conversion), first under a window manager that draws
# title bars and borders (twm), then without one. Each window's frame, as the
# X server has it, must stand where the settings said (within 2 pixels), on
# the screen, and the settings the session leaves must say the same again.
#
#   window_placement_test.sh DRAVIK EXAMPLES_DIR
# Exit status 77 (skipped) when xvfb-run, twm, xdotool or xwininfo is missing.
set -u
dravik=$1
examples=$2

for tool in xvfb-run twm xdotool xwininfo; do
  if ! command -v $tool >/dev/null; then
    echo "$tool is missing: the window placement test is skipped"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
conf=$XDG_CONFIG_HOME/Quillfern/Dravik.conf
cp "$examples"/spr0117.raw "$examples"/spr0117.cal "$work"/
cd "$work" || exit 1
# A window manager of few words: windows go where they ask, or anywhere.
printf '%s\n' RandomPlacement NoGrabServer 'TitleFont "fixed"' 'MenuFont "fixed"' \
  'IconFont "fixed"' 'ResizeFont "fixed"' 'IconManagerFont "fixed"' >twmrc

# One session: the program starts (its log window opens with it), Ctrl+C
# converts, the progress window's OK closes it and the Exit entry ends the
# program. The frames of the three windows are written to frames.txt.
cat >session.sh <<'SCRIPT'
dravik=$1
find_window() {
  local wid=
  for _ in $(seq 1 200); do
    wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    sleep 0.05
  done
  echo "$wid"
}
# left top right bottom of the window's frame: its window manager's window
# when it has one, else the window itself; the corner xwininfo gives is the
# border's, the size the one inside it.
frame_of() {
  local id=$1 parent
  parent=$(xwininfo -id "$id" -tree | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  [ "$parent" = "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')" ] ||
    id=$parent
  xwininfo -id "$id" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
    /Width:/ {w = $2} /Height:/ {h = $2} /Border width/ {b = $3}
    END {print x, y, x + w + 2 * b, y + h + 2 * b}'
}
# Gives a window the keyboard as a person does: the pointer goes onto it
# (away from the menu bar, whose menu would open under it).
focus() {
  xdotool mousemove --window "$1" 200 150
  xdotool windowfocus --sync "$1"
  sleep 0.2
}
"$dravik" & pid=$!
main=$(find_window '^Dravik$')
log=$(find_window '^Conversion Log Output$')
[ -n "$main" ] && [ -n "$log" ] || { kill $pid; exit 1; }
sleep 0.5
focus "$main"
xdotool key ctrl+c
progress=$(find_window '^Dravik Conversion')
[ -n "$progress" ] || { kill $pid; exit 1; }
for _ in $(seq 1 100); do [ -s placed.dat ] && break; sleep 0.05; done
sleep 0.5
{
  echo "main $(frame_of "$main")"
  echo "log $(frame_of "$log")"
  echo "progress $(frame_of "$progress")"
} >frames.txt
focus "$progress"
xdotool key Return
focus "$main"
xdotool key --delay 150 alt+d x
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.05; done
kill $pid 2>/dev/null && exit 1
wait $pid
SCRIPT

# The session on a fresh X server, with twm when asked. Another run on the
# machine may take the same server number at the same moment; a session that
# then finds no server runs again on another one.
on_x() {
  local status
  for _ in 1 2 3; do
    rm -f x-status.txt
    xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x1024x24" \
      env QT_QPA_PLATFORM=xcb LC_ALL=C bash -c '
        [ "$2" = twm ] && { twm -display "$DISPLAY" -f twmrc 2>/dev/null & sleep 0.5; }
        timeout 60 bash session.sh "$1"; echo $? >x-status.txt' _ "$dravik" "$1" 2>x-errors.txt
    status=$?
    [ -s x-status.txt ] && status=$(cat x-status.txt)
    [ "$status" -eq 0 ] || cat x-errors.txt >&2
    grep -q "could not connect to display" x-errors.txt || return $status
    echo "no X server reached: running again" >&2
  done
  return $status
}

# The stored rectangle of a section, as four numbers (two for a position).
stored() {
  sed -n "/^\[$1\]/,/^\[/s/^Rect=//p" "$conf"
}
# Whether the first COUNT numbers of two rectangles differ by 2 at most.
near() {
  awk -v a="$1" -v b="$2" -v n="$3" 'BEGIN {
    split(a, p, " "); split(b, q, " ")
    for (i = 1; i <= n; i++) { d = p[i] - q[i]; if (d > 2 || d < -2) exit 1 }
  }'
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
for manager in twm none; do
  mkdir -p "$(dirname "$conf")"
  # The log window open, each window somewhere of its own, the progress
  # window left open when a conversion ends.
  cat >"$conf" <<'CONF'
[Conversion%20Log%20Window]
Rect=0700 0500 1200 0800
Show%20Window=1

[Conversion%20Window]
Rect=0100 0600

[Settings]
Dismiss%20Progress=0

[View]
Default%20Outfile=placed.dat

[Window%20Position]
Rect=0060 0040 0100 0100
CONF
  for start in 1 2 3 4; do
    rm -f placed.dat frames.txt
    declare -A before=([main]="$(stored 'Window%20Position')"
      [log]="$(stored 'Conversion%20Log%20Window')" [progress]="$(stored 'Conversion%20Window')")
    on_x $manager || { fail "$manager, start $start: the session failed"; continue; }
    # The main window's size comes from its form, so the first start, whose
    # stored size is made up, checks its position only.
    for window in main log progress; do
      count=4
      [ $window = progress ] && count=2
      [ $window = main ] && [ $start = 1 ] && count=2
      frame=$(sed -n "s/^$window //p" frames.txt)
      near "$frame" "${before[$window]}" $count ||
        fail "$manager, start $start: the $window window opened at $frame, stored ${before[$window]}"
      read -r left top right bottom <<<"$frame"
      [ "$left" -ge 0 ] && [ "$top" -ge 0 ] && [ "$right" -le 1280 ] && [ "$bottom" -le 1024 ] ||
        fail "$manager, start $start: the $window window's frame $frame is off the screen"
    done
    near "$(stored 'Window%20Position')" "${before[main]}" 2 ||
      fail "$manager, start $start: the main window was stored at $(stored 'Window%20Position')"
    near "$(stored 'Conversion%20Log%20Window')" "${before[log]}" 4 ||
      fail "$manager, start $start: the log window was stored at $(stored 'Conversion%20Log%20Window')"
    near "$(stored 'Conversion%20Window')" "${before[progress]}" 2 ||
      fail "$manager, start $start: the progress window was stored at $(stored 'Conversion%20Window')"
  done
  echo "$manager: $(stored 'Window%20Position') / $(stored 'Conversion%20Log%20Window') / $(stored 'Conversion%20Window')"
done
[ $failures -eq 0 ] || exit 1
echo "window placement: four starts in a row open every window where it was left"
