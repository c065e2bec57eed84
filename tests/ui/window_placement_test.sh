#!/usr/bin/env bash
# The windows open where the previous session left them: four starts in a row
# of the desktop program, each opening the main window, the log window, the
# Quick Look and the progress window (a conversion), first under a window
# manager that draws title bars and borders (twm), then without one. Each window's frame, as the
# X server has it, must stand where the settings said (within 2 pixels), on
# the screen, and the settings the session leaves must say the same again.
#
#   window_placement_test.sh DRAVIK EXAMPLES_DIR
# Exit status 77 (skipped) when xvfb-run, twm, xdotool or xwininfo is missing.
set -u
source "$(dirname "$0")/x_session.sh"
need_tools xvfb-run twm xdotool xwininfo
dravik=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
conf=$XDG_CONFIG_HOME/Quillfern/Dravik.conf
cp "$2"/spr0117.raw "$2"/spr0117.cal "$work"/
cd "$work" || exit 1

# One session: the program starts (its log window opens with it), Ctrl+C
# converts, the progress window's OK closes it and the Exit entry ends the
# program. The frames of the three windows are written to frames.txt.
cat >session.sh <<'SCRIPT'
source "$X_SESSION"
# left top right bottom of the window's frame: its window manager's window
# when it has one, else the window itself; the corner xwininfo gives is the
# border's, the size the one inside it.
frame_of() {
  local id=$1 parent
  parent=$(xwininfo -id "$id" -tree | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  xwininfo -root | grep -q "Window id: $parent " || id=$parent
  xwininfo -id "$id" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
    /Width:/ {w = $2} /Height:/ {h = $2} /Border width/ {b = $3}
    END {print x, y, x + w + 2 * b, y + h + 2 * b}'
}
"$1" & pid=$!
main=$(find_window '^Dravik$') log=$(find_window '^Conversion Log Output$')
quick=$(find_window '^Quick Look')
[ -n "$main" ] && [ -n "$log" ] && [ -n "$quick" ] || { kill $pid; exit 1; }
focus_window "$main"
xdotool key ctrl+c
progress=$(find_window '^Dravik Conversion')
for _ in $(seq 1 100); do [ -s placed.dat ] && break; sleep 0.05; done
sleep 0.5
for window in main log progress quick; do echo "$window $(frame_of "${!window}")"; done >frames.txt
focus_window "$progress"
xdotool key Return
exit_program $pid "$main"
SCRIPT

# Whether the first COUNT numbers of two rectangles differ by 2 at most.
near() {
  awk -v a="$1" -v b="$2" -v n="$3" 'BEGIN { split(a, p, " "); split(b, q, " ")
    for (i = 1; i <= n; i++) if (p[i] - q[i] > 2 || q[i] - p[i] > 2) exit 1 }'
}
declare -A section=([main]='Window%20Position' [log]='Conversion%20Log%20Window'
  [progress]='Conversion%20Window' [quick]='Quick%20Look%20Window')
for manager in twm none; do
  # The log window open, each window somewhere of its own, the progress
  # window left open when a conversion ends.
  mkdir -p "$(dirname "$conf")"
  printf '[%s]\n%s\n' 'Conversion%20Log%20Window' 'Rect=0700 0500 1200 0800
Show%20Window=1' 'Conversion%20Window' 'Rect=0100 0600' 'Settings' 'Dismiss%20Progress=0' \
    'View' 'Default%20Outfile=placed.dat' 'Window%20Position' 'Rect=0060 0040 0100 0100' \
    'Quick%20Look%20Window' 'Rect=0500 0060 1100 0460
Show%20Window=1' >"$conf"
  for start in 1 2 3 4; do
    rm -f placed.dat frames.txt
    # From the second start on, every start must find what the first one
    # left: a pixel or two lost at each start adds up.
    if [ $start -le 2 ]; then
      declare -A before=()
      for window in main log progress quick; do before[$window]=$(stored "${section[$window]}" Rect); done
    fi
    X_MANAGER=$manager on_x timeout 60 bash session.sh "$dravik" ||
      { fail "$manager, start $start: the session failed"; continue; }
    for window in main log progress quick; do
      # The progress window keeps its position only; the main window's size
      # comes from its form, so the first start, whose size is made up,
      # checks its position only.
      count=4
      [ $window = progress ] || { [ $window = main ] && [ $start = 1 ]; } && count=2
      frame=$(sed -n "s/^$window //p" frames.txt) after=$(stored "${section[$window]}" Rect)
      near "$frame" "${before[$window]}" $count ||
        fail "$manager, start $start: the $window window opened at $frame, stored ${before[$window]}"
      near "$after" "${before[$window]}" $count ||
        fail "$manager, start $start: the $window window was stored at $after"
      read -r left top right bottom <<<"$frame"
      [ "$left" -ge 0 ] && [ "$top" -ge 0 ] && [ "$right" -le 1280 ] && [ "$bottom" -le 1024 ] ||
        fail "$manager, start $start: the $window window's frame $frame is off the screen"
    done
  done
done
[ $failures -eq 0 ] && echo "window placement: four starts in a row open every window where it was left"
[ $failures -eq 0 ]
