#!/usr/bin/env bash
# Runs the save benchmark on a virtual X display of each screen size, with a
# window manager and a compositor, as the overlay runs for a user.
# A size WxH:2 is two such monitors side by side (RandR monitors on one
# screen), with the overlay over both.
# usage: save_bench.sh BENCH HELPER [benchmark arguments...]
set -euo pipefail
BENCH="$1"; HELPER="$2"; shift 2

TMP="$(mktemp -d)"
PIDS=()
stop_session() {
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null || true; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  PIDS=()
}
trap 'stop_session; rm -rf "$TMP"' EXIT

export XAUTHORITY="$TMP/Xauthority" XDG_RUNTIME_DIR="$TMP/run" HOME="$TMP/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"
touch "$XAUTHORITY"

for size in ${SAVE_BENCH_SIZES:-1920x1080 3840x2160 3840x2160:2}; do
  rm -f "$TMP/display"
  monitor="${size%:2}" w="${size%%x*}" h="${monitor#*x}" screen="$monitor" extra=()
  [ "$monitor" != "$size" ] && screen="$((2 * w))x$h" extra=(--all-screens)
  Xvfb -displayfd 5 -screen 0 "${screen}x24" -nolisten tcp -noreset -auth "$XAUTHORITY" \
    5>"$TMP/display" 2>"$TMP/xvfb.log" &
  PIDS+=($!)
  for _ in $(seq 100); do [ -s "$TMP/display" ] && break; sleep 0.1; done
  [ -s "$TMP/display" ] || { cat "$TMP/xvfb.log"; exit 1; }
  export DISPLAY=":$(head -n1 "$TMP/display")"
  xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$(mcookie)"
  if [ ${#extra[@]} -gt 0 ]; then
    xrandr --setmonitor left "$w/500x$h/300+0+0" screen
    xrandr --setmonitor right "$w/500x$h/300+$w+0" none
  fi
  openbox --sm-disable >"$TMP/openbox.log" 2>&1 &
  PIDS+=($!)
  "$HELPER" wait-wm 10000 || { echo "openbox did not start"; exit 1; }
  picom --backend xrender --config /dev/null >"$TMP/picom.log" 2>&1 &
  PIDS+=($!)
  "$HELPER" wait-compositor 10000 || { echo "picom did not start"; exit 1; }
  echo "== screen $size"
  "$BENCH" "${extra[@]}" "$@"
  stop_session
done
