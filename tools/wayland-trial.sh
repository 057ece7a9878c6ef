#!/usr/bin/env bash
# Runs the overlay on XWayland under a weston of its own and prints what
# reaches it: each keypad key with the keyboard at a Wayland-native window
# (weston-terminal), at an X11 window and after a press on the overlay, and
# whether clicks pass through to either kind of window.
#
#   tools/wayland-trial.sh   (KORIVAN_PROGRAM, KORIVAN_E2E_HELPER as for the
#                             end-to-end tests; installs the packages in
#                             tools/wayland-trial.packages when missing)
#
# weston runs nested in an Xvfb of its own (x11 backend), so that xdotool on
# that Xvfb hands weston keys and pointer as its own seat's: they go where
# weston sends them, as a real keyboard's would. Nothing outside the
# temporary folder is touched. A check that something does not happen waits
# a fixed SETTLE seconds.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
PROGRAM=${KORIVAN_PROGRAM:-$ROOT/build/app/korivan-dsk}
HELPER=${KORIVAN_E2E_HELPER:-$ROOT/build/tests/e2e/korivan_e2e_helper}
SETTLE=${SETTLE:-1.5}
W=1280
H=720
# The trial's own packages; the test command does not need them.
(source "$ROOT/scripts/lib.sh" && ensure_packages "$ROOT/tools/wayland-trial.packages") || exit 2
for tool in Xvfb weston weston-terminal Xwayland xdotool import xwininfo "$PROGRAM" "$HELPER"; do
  command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 2; }
done

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2> /dev/null; done
  wait 2> /dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# Waits up to the given seconds (tenths count) for a command to succeed.
wait_for() {
  local tries
  tries=$(awk -v s="$1" 'BEGIN { print int(s * 10) }')
  shift
  until "$@"; do
    ((tries-- > 0)) || return 1
    sleep 0.1
  done
}
nonempty() { [[ -s $1 ]]; }

mkdir -m 700 "$WORK/run"
mkdir "$WORK/home" "$WORK/prog"
export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/run
unset WAYLAND_DISPLAY XDG_DATA_HOME XDG_CONFIG_HOME

Xvfb -displayfd 3 -screen 0 ${W}x${H}x24 -nolisten tcp 3> "$WORK/xvfb.num" 2> "$WORK/xvfb.log" &
PIDS+=($!)
wait_for 10 nonempty "$WORK/xvfb.num" || { echo "Xvfb did not start" >&2; exit 1; }
OUTER=:$(head -1 "$WORK/xvfb.num")

DISPLAY=$OUTER weston --backend=x11-backend.so --use-pixman --width=$W --height=$H --no-config \
  --xwayland --socket=korivan-trial --idle-time=0 > "$WORK/weston.log" 2>&1 &
PIDS+=($!)
xserver() { grep -o 'xserver listening on display :[0-9]*' "$WORK/weston.log" | grep -o ':[0-9]*$'; }
wait_for 20 xserver > /dev/null || { echo "weston did not start:" >&2; cat "$WORK/weston.log" >&2; exit 1; }
XW=$(xserver)
WESTON_VERSION=$(weston --version)
XWAYLAND_VERSION=$(Xwayland -version 2>&1 | grep -i -m1 'xwayland')

outer() { DISPLAY=$OUTER xdotool "$@"; }
pixel() { import -display "$OUTER" -window root -crop "1x1+$1+$2" -depth 8 txt:- 2> /dev/null | grep -o '#[0-9A-F]\{6\}' | head -1; }
stroke() {  # x0 x1 y
  outer mousemove "$1" "$3" mousedown 1
  for ((x = $1; x <= $2; x += 20)); do outer mousemove "$x" "$3"; done
  outer mouseup 1
}
# Screenshots of the steps into TRIAL_SHOTS, when set.
shot() { [[ -z ${TRIAL_SHOTS:-} ]] || import -display "$OUTER" -window root "$TRIAL_SHOTS/$1.png"; }
typed() {  # text: a shell command typed into whatever has the keyboard
  outer key Return
  outer type --delay 20 "$1"
  outer key Return
}

# The program, from a folder of its own with a sibling program that notes its starts.
cp "$PROGRAM" "$WORK/prog/korivan-dsk"
printf '#!/bin/sh\necho started >> "%s"\n' "$WORK/sibling-started" > "$WORK/prog/KORIVAN_WBD"
chmod +x "$WORK/prog/KORIVAN_WBD"
DISPLAY=$XW QT_QPA_PLATFORM=xcb "$WORK/prog/korivan-dsk" > "$WORK/program.log" 2>&1 &
PIDS+=($!)
overlay_id() { DISPLAY=$XW xwininfo -root -tree | grep '("korivan-dsk" "korivan-dsk")' | grep " ${W}x${H}+0+0" | awk '{print $1}'; }
has_overlay() { [[ -n $(overlay_id) ]]; }
wait_for 20 has_overlay || { echo "the overlay did not map" >&2; cat "$WORK/program.log" >&2; exit 1; }
OVERLAY=$(overlay_id)
viewable() { DISPLAY=$XW xwininfo -id "$OVERLAY" | grep -q IsViewable; }
splash_gone() { ! DISPLAY=$XW xwininfo -root -tree | grep '("korivan-dsk" "korivan-dsk")' | grep -v " ${W}x${H}+0+0" | grep -q .; }
wait_for 20 viewable || { echo "the overlay did not show" >&2; exit 1; }
wait_for 20 splash_gone || echo "the splash stayed" >&2
# The Wayland-native window, maximised below weston's panel; started after the
# overlay, so that it has the keyboard (the splash took it).
WAYLAND_DISPLAY=korivan-trial weston-terminal --maximized --shell=/bin/sh > "$WORK/terminal.log" 2>&1 &
PIDS+=($!)
term_ready() { typed "touch $WORK/terminal-ready"; wait_for 1 test -e "$WORK/terminal-ready"; }
wait_for 20 term_ready || { echo "weston-terminal took no keys" >&2; exit 1; }
shot 0-ready

input() { DISPLAY=$XW "$HELPER" input-at "$OVERLAY" $((W / 2)) $((H / 2)); }
drawing() { [[ $(input) == 1 ]]; }
passing() { [[ $(input) == 0 ]]; }
wait_for 10 passing || { echo "the overlay does not let the pointer through at start" >&2; exit 1; }
saved() { find "$HOME/Pictures" -type f 2> /dev/null | wc -l; }
started() { [[ -e $WORK/sibling-started ]] && wc -l < "$WORK/sibling-started" || echo 0; }
focus_name() {
  local f
  f=$(DISPLAY=$XW xdotool getwindowfocus 2> /dev/null)
  [[ -n $f && $((f)) == $((OVERLAY)) ]] && echo overlay || echo "not the overlay"
}

# One key; prints what it did, judged by its own effect.
declare -A RESULT
press() {  # case key check...
  local case=$1 key=$2
  shift 2
  outer key "$key"
  if wait_for "$SETTLE" "$@"; then RESULT[$case,$key]=reached; else RESULT[$case,$key]="no effect"; fi
}
more_saved() { (($(saved) > SAVED0)); }
more_started() { (($(started) > STARTED0)); }
is_colour() { [[ $(pixel "$1" "$2") == "$3" ]]; }
not_colour() { [[ $(pixel "$1" "$2") != "$3" ]]; }
RED='#FF0000' BLUE='#0000FF' BLACK='#000000' GREY='#C0C0C0'

# --- The keyboard at the Wayland-native window ---------------------------------
C=wayland
SAVED0=$(saved) STARTED0=$(started)
shot 1-start
term_has_keys() { typed "touch $WORK/terminal-has-keys"; wait_for 2 test -e "$WORK/terminal-has-keys"; }
term_has_keys || echo "the terminal lost the keyboard when the overlay came" >&2
press $C KP_Multiply drawing
shot 2-wayland-multiply
press $C KP_Add more_saved
press $C KP_Decimal more_started
# Drawing on through the red stock-pen tile (tile 1), a stroke on the terminal's black.
outer mousemove $((W - 140 + 75 + 30)) $((30 + 5 + 30)) click 1
wait_for 5 drawing || echo "the tile did not switch drawing on" >&2
stroke 200 700 400
shot 3-wayland-stroke
wait_for 5 is_colour 450 400 "$RED" || echo "no red stroke over the Wayland window" >&2
FOCUS_AFTER_PRESS_WAYLAND=$(focus_name)
press $C KP_Subtract is_colour 450 400 "$BLACK"
outer key KP_Divide
stroke 200 700 450
if wait_for 5 is_colour 450 450 "$BLUE"; then RESULT[$C,KP_Divide]=reached; else RESULT[$C,KP_Divide]="no effect"; fi

# --- The keyboard at an X11 window -----------------------------------------------
C=x11
DISPLAY=$XW "$HELPER" window korivan-trial-x11 "$WORK/x11.log" 60 60 420 300 c0c0c0 > /dev/null 2>&1 &
PIDS+=($!)
wait_for 10 grep -qs mapped "$WORK/x11.log" || { echo "the X11 window did not map" >&2; exit 1; }
keys_at_x11() { grep -c '^key' "$WORK/x11.log"; }
x11_has_keys() { local k; k=$(keys_at_x11); outer key shift; wait_for 1 bash -c "(( \$(grep -c '^key' '$WORK/x11.log') > $k ))"; }
# weston gives a new window the keyboard.
wait_for 5 x11_has_keys || echo "the X11 window did not get the keyboard" >&2
K0=$(keys_at_x11)
SAVED0=$(saved) STARTED0=$(started)
# The last stroke over the terminal is still there, unless Erase All came through.
press $C KP_Subtract is_colour 450 450 "$BLACK"
if drawing; then press $C KP_Multiply passing; else press $C KP_Multiply drawing; fi
X11_GOT_MULTIPLY=$(( $(keys_at_x11) > K0 ))
wait_for 5 passing || outer key KP_Multiply
CLICKS0=$(grep -c '^click' "$WORK/x11.log")
outer mousemove 250 250 click 1
if wait_for 5 bash -c "(( \$(grep -c '^click' '$WORK/x11.log') > $CLICKS0 ))"; then PASS_X11=yes; else PASS_X11=no; fi
press $C KP_Add more_saved
press $C KP_Decimal more_started
# The red stock pen 1, or the blue 2 when divide reached the program from the terminal.
BEFORE=$RED
[[ ${RESULT[wayland,KP_Divide]} == reached ]] && BEFORE=$BLUE
outer key KP_Divide
outer key KP_Multiply
wait_for 5 drawing || echo "multiply did not switch drawing on" >&2
stroke 120 440 200
sleep "$SETTLE"
AFTER=$(pixel 280 200)
if [[ $AFTER != "$BEFORE" && $AFTER != "$GREY" ]]; then
  RESULT[$C,KP_Divide]=reached
else
  RESULT[$C,KP_Divide]="no effect"
fi
STROKE_X11=$AFTER
FOCUS_AFTER_PRESS_X11=$(focus_name)

# --- After a press on the overlay while drawing (the stroke above) -----------------
C=pressed
SAVED0=$(saved) STARTED0=$(started)
press $C KP_Subtract is_colour 280 200 "$GREY"
press $C KP_Add more_saved
press $C KP_Decimal more_started
stroke 120 440 240
sleep "$SETTLE"
BEFORE=$(pixel 280 240)
outer key KP_Divide
stroke 120 440 280
sleep "$SETTLE"
if [[ $(pixel 280 280) != "$BEFORE" ]]; then RESULT[$C,KP_Divide]=reached; else RESULT[$C,KP_Divide]="no effect"; fi
if drawing; then press $C KP_Multiply passing; else press $C KP_Multiply drawing; fi

# --- Clicks through the overlay and on its corner buttons -------------------------
wait_for 5 passing || outer key KP_Multiply
rm -f "$WORK/clicked-through"
outer mousemove 900 500 click 1
typed "touch $WORK/clicked-through"
if wait_for 3 test -e "$WORK/clicked-through"; then PASS_WAYLAND=yes; else PASS_WAYLAND=no; fi
outer mousemove $((W - 45)) 15 click 1
if wait_for 3 drawing; then CORNER=yes; outer mousemove $((W - 45)) 15 click 1; else CORNER=no; fi

row() { printf '| %-32s | %-10s | %-10s | %-10s | %-10s | %-10s |\n' "$@"; }
echo "$WESTON_VERSION, $XWAYLAND_VERSION, screen ${W}x${H}"
echo
row "keyboard at" "*" "+" "-" "." "/"
row "--------------------------------" "----------" "----------" "----------" "----------" "----------"
for c in wayland x11 pressed; do
  case $c in
    wayland) label="weston-terminal (Wayland)" ;;
    x11) label="an X11 window" ;;
    pressed) label="after a press on the overlay" ;;
  esac
  row "$label" "${RESULT[$c,KP_Multiply]:-}" "${RESULT[$c,KP_Add]:-}" "${RESULT[$c,KP_Subtract]:--}" \
    "${RESULT[$c,KP_Decimal]:-}" "${RESULT[$c,KP_Divide]:-}"
done
echo
echo "the X11 window also got multiply: $([[ $X11_GOT_MULTIPLY == 1 ]] && echo yes || echo no)"
echo "X focus after a press on the overlay: $FOCUS_AFTER_PRESS_WAYLAND (keyboard at the Wayland window), $FOCUS_AFTER_PRESS_X11 (at the X11 window)"
echo "drawing off, a click reaches the X11 window below: $PASS_X11"
echo "drawing off, a click activates the Wayland window below: $PASS_WAYLAND"
echo "the drawing switch in the corner takes a click: $CORNER"
echo "stroke over the X11 window: $STROKE_X11"
