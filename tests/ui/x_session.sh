# Sourced by the tests that run the desktop program on a private X server
# (Xvfb): their failed checks, the tools they need, a fresh server for each
# session, the program's windows found by their titles, and the settings it
# keeps.

# A failed check: said, and counted.
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Skips the test (status 77) when a tool named is missing.
need_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null && continue
    echo "$tool is missing: ${0##*/} is skipped"
    exit 77
  done
}

# Runs a command on a fresh X server, under twm when X_MANAGER is "twm" (a
# window manager of few words: windows go where they ask, or anywhere).
# Another run on the machine may take the same server number at the same
# moment; a command that then finds no server is run again on another one (a
# fault of the program itself is not retried). The command's own status is
# kept in a file: xvfb-run answers 5 instead when it cannot remove its
# temporary folder, which happens on a loaded machine.
on_x() {
  local status
  [ "${X_MANAGER:-}" = twm ] && printf '%s\n' RandomPlacement NoGrabServer 'TitleFont "fixed"' \
    'MenuFont "fixed"' 'IconFont "fixed"' 'ResizeFont "fixed"' 'IconManagerFont "fixed"' >twmrc
  for _ in 1 2 3; do
    rm -f x-status.txt
    xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x1024x24" \
      env QT_QPA_PLATFORM=xcb X_SESSION="$X_SESSION" bash -c '
        [ "${X_MANAGER:-}" = twm ] && { LC_ALL=C twm -display "$DISPLAY" -f twmrc 2>/dev/null &
                                        sleep 0.5; }
        "$@"; echo $? >x-status.txt' _ "$@" 2>x-errors.txt
    status=$?
    [ -s x-status.txt ] && status=$(cat x-status.txt)
    cat x-errors.txt >&2
    grep -q "could not connect to display" x-errors.txt || return $status
    echo "no X server reached: running again" >&2
  done
  return $status
}
X_SESSION=${BASH_SOURCE[0]}

# The first visible window whose title matches, once it shows (30 s at most).
find_window() {
  local wid=
  for _ in $(seq 1 600); do
    wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    sleep 0.05
  done
  echo "$wid"
}

# Gives a window the keyboard as a person does: the pointer goes onto it, in
# its middle (away from a menu bar, whose menu would open under the pointer).
focus_window() {
  eval "$(xwininfo -id "$1" | awk '/Width:/ {print "w=" $2} /Height:/ {print "h=" $2}')"
  xdotool mousemove --window "$1" $((w / 2)) $((h / 2))
  xdotool windowfocus --sync "$1"
  sleep 0.3
}

# Ends the program (process $1, main window $2) with its Exit entry, as a
# person does, and answers its exit status (1 when it did not end).
exit_program() {
  focus_window "$2"
  xdotool key --delay 150 alt+d x
  for _ in $(seq 1 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
  kill "$1" 2>/dev/null && return 1
  wait "$1"
}

# A value the program keeps in its settings file ($conf): section and key as
# the file writes them.
stored() {
  sed -n "/^\[$1\]/,/^\[/s/^$2=//p" "$conf"
}
