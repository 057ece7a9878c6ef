# shellcheck shell=bash disable=SC2153
# Sourced by SystemBench.sh: the stroke, hover and latency loads on a headless
# sway, for the program's Wayland path, beside the X11 rows of the same size.
# Uses PROGRAM, XDRIVE, RUNS, S200, S125, S2000, HOVER, LATENCY, TMP, SESSION,
# wait_until, fresh_home and summarize from there.

WDRIVE="$(dirname "$XDRIVE")/korivan_bench_wdrive"
# A bare layer-shell client that fills a square at each motion: the floor of ink latency on sway.
WBARE="$(dirname "$XDRIVE")/korivan_bench_barewayland"

# start_sway WxH: sway as an unprivileged user (it refuses root), its
# headless backend and pixman renderer, one output of that size and an
# ordinary window filling it as the backdrop.
start_sway() {
  SWAYDIR="$(mktemp -d)"
  printf 'xwayland disable\noutput HEADLESS-1 mode %s\ndefault_border none\nfocus_follows_mouse no\n' "$1" \
    >"$SWAYDIR/config"
  local command=(sway -c "$SWAYDIR/config")
  if [ "$(id -u)" = 0 ]; then
    chown nobody "$SWAYDIR"
    command=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups -- "${command[@]}")
  fi
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$SWAYDIR" HOME="$SWAYDIR" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 "${command[@]}" >"$TMP/sway.log" 2>&1 &
  SWAYPID=$!
  SESSION+=("$SWAYPID")
  wait_until 20000 compgen -G "$SWAYDIR/wayland-[0-9]" >/dev/null ||
    { echo "sway did not start: $(tail -n3 "$TMP/sway.log")" >&2; return 1; }
  WAYLAND_DISPLAY="$(compgen -G "$SWAYDIR/wayland-[0-9]" | head -n1)"
  export WAYLAND_DISPLAY
  # The window ends when its standard input closes: a pipe held open here.
  mkfifo "$TMP/hold"
  exec 8<>"$TMP/hold"
  "$KORIVAN_WAYLAND_PROBE" window <"$TMP/hold" >"$TMP/window.txt" &
  SESSION+=($!)
  wait_until 10000 grep -q '^window ' "$TMP/window.txt"
}

stop_sway() {
  stop_session
  exec 8>&-
  rm -f "$TMP/hold"
  rm -rf "$SWAYDIR"
  unset WAYLAND_DISPLAY
}

# run_sway_case NAME PROGRAM LOAD ARGS...: as run_case, on sway.
run_sway_case() {
  local name="$1" prog="$2" load="$3"; shift 3
  if [ "$prog" = none ]; then
    echo "$("$WDRIVE" "$load" "$@" 0 "$SWAYPID") hwm_kib=0"
    return
  fi
  fresh_home
  KORIVAN_BACKEND=wayland QT_QPA_PLATFORM='' DISPLAY='' "$prog" >"$TMP/app.log" 2>&1 &
  local app=$! clear="$prog --erase-all"
  [ "$prog" = "$WBARE" ] && clear=true  # it never fills the screen's rows
  local line
  line="$(KORIVAN_WDRIVE_CLEAR="$clear" "$WDRIVE" "$load" "$@" "$app" "$SWAYPID")" || true
  local hwm
  hwm="$(awk '/^VmHWM/ {print $2}' /proc/$app/status)"
  kill $app 2>/dev/null || true
  wait $app 2>/dev/null || true
  [ -n "$line" ] || { echo "no overlay on sway: $(tail -n2 "$TMP/app.log")" >&2; return 1; }
  echo "$line hwm_kib=$hwm"
}

# sway_rows WxH
sway_rows() {
  [ -x "$WDRIVE" ] && [ -x "${KORIVAN_WAYLAND_PROBE:-}" ] && command -v sway >/dev/null || return 0
  start_sway "$1" || { stop_sway; return 0; }
  local entry name prog load r
  local builds=("none/sway:none" "yours/sway:$PROGRAM")
  [ -n "$TODAY" ] && builds+=("today/sway:$TODAY")
  [ -x "$WBARE" ] && builds+=("bare/sway:$WBARE")
  for entry in "${builds[@]}"; do
    name="${entry%%:*}" prog="${entry#*:}"
    local loads=("stroke 200 $S200 1000" "stroke 200 $S125 125" "stroke 2000 $S2000 1000" "hover $HOVER")
    [ "$prog" = none ] || loads+=("latency 125 100 $LATENCY" "latency 1000 100 $LATENCY")
    [ "$prog" = "$WBARE" ] && loads=("${loads[@]:4}")
    for load in "${loads[@]}"; do
      [[ "$name $load" =~ ${KORIVAN_SYSBENCH_ONLY:-.} ]] || continue
      : >"$TMP/lines"
      for ((r = 0; r < RUNS; r++)); do
        # shellcheck disable=SC2086
        run_sway_case "$name" "$prog" $load >>"$TMP/lines" || true
      done
      [ -s "$TMP/lines" ] && summarize "$1" "$name" "$load"
    done
  done
  stop_sway
}
