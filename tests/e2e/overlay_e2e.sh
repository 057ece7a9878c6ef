#!/usr/bin/env bash
# End to end: the overlay on a virtual X display with a window manager and a
# compositor, driven with xdotool and checked on root-window screenshots.
# usage: overlay_e2e.sh PROGRAM HELPER
set -euo pipefail

PROGRAM="$1"
HELPER="$2"
SCREEN_W=1920
SCREEN_H=1080

TMP="$(mktemp -d)"
PIDS=()
cleanup() {
  local rc=$?
  if [ $rc -ne 0 ]; then
    for p in "${PIDS[@]}"; do
      kill -0 "$p" 2>/dev/null && echo "running: $(ps -o args= -p "$p")" || echo "ended: $p"
    done
    for f in app openbox picom xvfb; do
      [ -s "$TMP/$f.log" ] && { echo "--- $f output"; tail -n 20 "$TMP/$f.log"; }
    done
  fi
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    kill "${PIDS[i]}" 2>/dev/null || true
  done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$TMP"
}
trap cleanup EXIT

now_ms() { date +%s%3N; }
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "-- $*"; }

# wait_until TIMEOUT_MS COMMAND...: polls until COMMAND succeeds.
wait_until() {
  local end=$(($(now_ms) + $1)); shift
  until "$@"; do
    [ "$(now_ms)" -lt "$end" ] || return 1
    sleep 0.05
  done
}

# A private X session: cookie, runtime folder and settings of our own, so that
# neither the user's display nor a running instance nor real settings are touched.
export XAUTHORITY="$TMP/Xauthority"
export XDG_RUNTIME_DIR="$TMP/run"
export HOME="$TMP/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"
touch "$XAUTHORITY"
COOKIE="$(mcookie)"
xauth -q -f "$XAUTHORITY" add :0 MIT-MAGIC-COOKIE-1 "$COOKIE"

step "start Xvfb, openbox and picom"
Xvfb -displayfd 5 -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -nolisten tcp -noreset -auth "$XAUTHORITY" \
  5>"$TMP/display" 2>"$TMP/xvfb.log" &
PIDS+=($!)
wait_until 10000 test -s "$TMP/display" || fail "Xvfb did not start: $(cat "$TMP/xvfb.log")"
export DISPLAY=":$(head -n1 "$TMP/display")"
xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$COOKIE"

openbox --sm-disable >"$TMP/openbox.log" 2>&1 &
PIDS+=($!)
"$HELPER" wait-wm 10000 || fail "openbox did not start"
picom --backend xrender --config /dev/null >"$TMP/picom.log" 2>&1 &
PIDS+=($!)
"$HELPER" wait-compositor 10000 || fail "picom did not start"

# pixel X Y: the colour of a screenshot's pixel as RRGGBB.
shoot() { import -window root "$TMP/shot.png"; }
pixel() { convert "$TMP/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | head -n1 | tr -d '#'; }
# near RRGGBB RRGGBB: every channel within 4.
near() {
  local a=$1 b=$2 i
  for i in 0 2 4; do
    local d=$((16#${a:i:2} - 16#${b:i:2}))
    [ ${d#-} -le 4 ] || return 1
  done
}

step "a window below the overlay that records its clicks"
GREY=c0c0c0
"$HELPER" window korivan-e2e-below "$TMP/below.txt" 100 100 1000 700 "$GREY" 2>"$TMP/helper.log" &
PIDS+=($!)
wait_until 10000 grep -q '^mapped' "$TMP/below.txt" 2>/dev/null || fail "test window did not map: $(cat "$TMP/helper.log" "$TMP/below.txt" 2>&1; xwininfo -root -tree | grep korivan-e2e; xwininfo -name korivan-e2e-below | grep -i "map state")"
BELOW_ID=$(awk '/^mapped/ {print $2; exit}' "$TMP/below.txt")
eval "$(xdotool getwindowgeometry --shell "$BELOW_ID")"
BX=$X BY=$Y BW=$WIDTH BH=$HEIGHT
[ $BW -ge 900 ] && [ $BH -ge 600 ] || fail "test window too small: ${BW}x${BH}"

step "the program starts: the splash, then the overlay"
"$PROGRAM" >"$TMP/app.log" 2>&1 &
APP_PID=$!
PIDS+=($APP_PID)
# Prints "ID WIDTHxHEIGHT" for each window of the program larger than the
# toolkit's 1 x 1 leader window (xdotool's search misses reparented clients).
program_windows() {
  { xwininfo -root -tree 2>/dev/null || true; } | awk '/"KORIVAN D"/ {
    for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[+-]/) {
      split($i, g, /[+-]/); if (g[1] != "1x1") print $1, g[1]; break } }'
}
SPLASH_FIRST=0 SPLASH_LAST=0 OVERLAY=""
END=$(($(now_ms) + 20000))
while [ -z "$OVERLAY" ] && [ "$(now_ms)" -lt $END ]; do
  WINDOWS=$(program_windows)
  T=$(now_ms)
  if grep -q ' 512x256$' <<<"$WINDOWS"; then
    [ $SPLASH_FIRST -ne 0 ] || SPLASH_FIRST=$T
    SPLASH_LAST=$T
  fi
  OVERLAY=$(awk -v size="${SCREEN_W}x${SCREEN_H}" '$2 == size {print $1; exit}' <<<"$WINDOWS")
  if [ -n "$OVERLAY" ] && grep -q ' 512x256$' <<<"$WINDOWS"; then fail "splash still shown with the overlay"; fi
  sleep 0.02
done
[ -n "$OVERLAY" ] || fail "no overlay window"
[ $SPLASH_FIRST -ne 0 ] || fail "no splash seen"
echo "splash seen for at least $((SPLASH_LAST - SPLASH_FIRST)) ms"
# Polls are slow on a loaded machine; without the pause the splash would
# be gone within a few tens of milliseconds.
[ $((SPLASH_LAST - SPLASH_FIRST)) -ge 250 ] || fail "splash shown too briefly"
kill -0 $APP_PID || fail "program ended"

# The input shape says where the overlay takes the pointer. Probes: the two
# corner buttons, the panel's top and bottom, the desktop left of them, below
# the buttons left of the panel, the middle of the screen.
PROBES=($((SCREEN_W - 45)) 15  $((SCREEN_W - 15)) 15  $((SCREEN_W - 70)) 40  $((SCREEN_W - 1)) $((SCREEN_H - 1))
        $((SCREEN_W - 61)) 15  $((SCREEN_W - 141)) 500  $((SCREEN_W / 2)) $((SCREEN_H / 2)))
input_at() { "$HELPER" input-at "$OVERLAY" "${PROBES[@]}"; }
pass_through_shape() { [ "$(input_at)" = 1111000 ]; }
drawing_shape() { [ "$(input_at)" = 1111111 ]; }
wait_until 10000 pass_through_shape || fail "pass-through input shape: $(input_at)"

step "a second start ends at once without a window"
T0=$(now_ms)
timeout 10 "$PROGRAM" >"$TMP/second.log" 2>&1 || fail "second start failed: $?"
ELAPSED=$(($(now_ms) - T0))
[ $ELAPSED -lt 5000 ] || fail "second start took ${ELAPSED} ms"
[ "$(program_windows | wc -l)" -eq 1 ] || fail "a second window appeared: $(program_windows)"
kill -0 $APP_PID || fail "the first instance ended"
echo "second start returned after ${ELAPSED} ms"

step "with drawing off a click reaches the window below"
CX=$((BX + 100)) CY=$((BY + 100))
xdotool mousemove $CX $CY click 1
wait_until 10000 grep -q "^click $CX $CY\$" "$TMP/below.txt" || fail "click did not pass through"

step "a click on WriteRect and a drag draw a stroke"
xdotool mousemove $((SCREEN_W - 45)) 15 click 1
wait_until 10000 drawing_shape || fail "drawing mode input shape: $(input_at)"
SX=$((BX + 200)) SY=$((BY + 300))
ARGS=(mousemove $SX $SY mousedown 1)
for i in $(seq 1 30); do ARGS+=(mousemove $((SX + i * 20)) $((SY + i * 5))); done
ARGS+=(mouseup 1)
xdotool "${ARGS[@]}"
# Points on the stroke, and one well away from it.
ON1="$((SX + 200)) $((SY + 50))"
ON2="$((SX + 400)) $((SY + 100))"
OFF="$((BX + 700)) $((BY + 600))"
stroke_shown() {
  shoot
  local a b c
  a=$(pixel $ON1) b=$(pixel $ON2) c=$(pixel $OFF)
  ! near "$a" "$1" && ! near "$b" "$1" && near "$c" "$1"
}
wait_until 10000 stroke_shown $GREY || fail "stroke not on screen: $(pixel $ON1) $(pixel $ON2) $(pixel $OFF)"
echo "stroke pixels $(pixel $ON1) $(pixel $ON2) over $GREY, away $(pixel $OFF)"
[ "$(grep -c '^click' "$TMP/below.txt")" -eq 1 ] || fail "the drag reached the window below"

step "drawing off again: the pointer passes, the stroke stays"
xdotool mousemove $((SCREEN_W - 45)) 15 click 1
wait_until 10000 pass_through_shape || fail "pass-through input shape after toggling back"
CX2=$((BX + 600)) CY2=$((BY + 150))
xdotool mousemove $CX2 $CY2 click 1
wait_until 10000 grep -q "^click $CX2 $CY2\$" "$TMP/below.txt" || fail "second click did not pass through"
stroke_shown $GREY || fail "stroke gone after drawing off"

step "the keypad's multiply key toggles drawing while another window has the focus"
xdotool windowactivate --sync "$BELOW_ID" || true
xdotool key KP_Multiply
wait_until 10000 drawing_shape || fail "multiply did not switch drawing on: $(input_at)"
xdotool key KP_Multiply
wait_until 10000 pass_through_shape || fail "multiply did not switch drawing off: $(input_at)"
[ "$(xdotool getactivewindow)" = "$BELOW_ID" ] || fail "the window in front lost the focus"

step "still on top after another window is raised, a fullscreen one included"
BLUE=3060c0
"$HELPER" window korivan-e2e-full "$TMP/full.txt" 0 0 800 600 "$BLUE" fullscreen &
PIDS+=($!)
wait_until 10000 grep -q '^mapped' "$TMP/full.txt" 2>/dev/null || fail "fullscreen window did not map"
FULL_ID=$(awk '/^mapped/ {print $2; exit}' "$TMP/full.txt")
xdotool windowactivate --sync "$FULL_ID" || true
wait_until 10000 stroke_shown $BLUE || fail "stroke not above the fullscreen window: $(pixel $ON1) $(pixel $OFF)"
[ "$(xdotool getactivewindow)" = "$FULL_ID" ] || fail "the overlay took the focus"
echo "above fullscreen: stroke $(pixel $ON1), around $(pixel $OFF)"
xdotool windowactivate --sync "$BELOW_ID" || true
wait_until 10000 stroke_shown $GREY || fail "stroke not above the raised window"

step "back on top after a window that bypasses the window manager maps over it"
GREEN=40a040
"$HELPER" window korivan-e2e-cover "$TMP/cover.txt" 0 0 $SCREEN_W $SCREEN_H "$GREEN" override &
PIDS+=($!)
wait_until 10000 grep -q '^mapped' "$TMP/cover.txt" 2>/dev/null || fail "covering window did not map"
T0=$(now_ms)
wait_until 10000 stroke_shown $GREEN || fail "stroke not back above the covering window: $(pixel $ON1) $(pixel $OFF)"
echo "back on top within $(($(now_ms) - T0)) ms"

kill -0 $APP_PID || fail "program ended"

step "the system's request to end closes the program normally"
kill -TERM $APP_PID
wait_until 10000 bash -c "! kill -0 $APP_PID 2>/dev/null" || fail "program did not end on SIGTERM"
wait $APP_PID && RC=0 || RC=$?
[ $RC -eq 0 ] || fail "program ended with status $RC"
echo "PASS"
