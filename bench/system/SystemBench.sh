#!/usr/bin/env bash
# The whole system under a mouse's load: the program on Xvfb with openbox and
# picom (xrender), strokes of 200 and 2000 points and plain hover injected
# through XTest at 1000 events a second, and strokes of 200 points at 125. Prints CPU per event of the
# program, the X server and the compositor (median of the runs), the peak
# memory of the program and the share of points drawn, for this build
# ("yours") and for the program built at a baseline revision ("today").
#
# A row "qt floor" gives hover for a Qt window like the overlay that does
# nothing with the pointer (QtFloor.cpp, beside XDRIVE): the toolkit's share.
#
# Ink latency: straight strokes at 125 and 1000 reports a second, the time
# from sending a point to its pixel changing on the composed screen, for
# both builds, a bare Xlib client (BareClient.cpp, the floor) and the
# reference program Gromit-MPX (Debian's gromit-mpx), which gets the CPU and
# hover rows as well.
#
# Rows "none/sway" and "yours/sway": the same loads on a headless sway (pixman
# renderer, as an unprivileged user), the program on its Wayland path, the
# events through sway's virtual pointer (WaylandDrive.cpp); CPU of the
# program and sway, latency to sway's next composed frame (SwayRows.sh), with
# "bare/sway" (BareWaylandClient.cpp) as the floor there.
#
# Spotlight: the program's spotlight (--spotlight) following the pointer
# swept along a row at 1000 events a second, drawing off: frames a second
# read off the screen (the light's edge moving) and CPU, for this build.
#
# usage: SystemBench.sh PROGRAM XDRIVE SOURCE_DIR BASELINE_DIR [BUILD_TYPE]
# Environment: KORIVAN_BASELINE  revision to compare with (default: where
#                                HEAD left the main branch; "none" to skip)
#              KORIVAN_SYSBENCH_RUNS     runs of each case (3)
#              KORIVAN_SYSBENCH_SIZES    screens ("1920x1080 3840x2160")
#              KORIVAN_SYSBENCH_S200     strokes of 200 points (20)
#              KORIVAN_SYSBENCH_S2000    strokes of 2000 points (5)
#              KORIVAN_SYSBENCH_S125     strokes of 200 points at 125
#                                        reports a second (6)
#              KORIVAN_SYSBENCH_HOVER    hover events (4000)
#              KORIVAN_SYSBENCH_LATENCY  straight strokes of 100 points
#                                        for each latency row (12)
#              KORIVAN_SYSBENCH_SPOT     seconds of each spotlight sweep (5)
#              KORIVAN_SYSBENCH_ONLY     a regular expression: only the
#                                        builds and loads ("yours stroke",
#                                        "bare latency 125") it matches
#              KORIVAN_WAYLAND_PROBE     the test's window (tests/platform/wayland),
#                                        the backdrop on sway; without it, or
#                                        without sway, no sway rows
#              KORIVAN_SYSBENCH_PERF     a file: the program and the X server
#                                        are profiled (perf record, the
#                                        server's into FILE.x.*) while
#                                        events arrive
set -euo pipefail

PROGRAM="$(realpath "$1")"
XDRIVE="$(realpath "$2")"
FLOOR="$(dirname "$XDRIVE")/korivan_bench_qtfloor"
BARE="$(dirname "$XDRIVE")/korivan_bench_bareclient"
GROMIT="$(command -v gromit-mpx || true)"
SOURCE="$3"
BASEDIR="$4"
BUILD_TYPE="${5:-Release}"
RUNS="${KORIVAN_SYSBENCH_RUNS:-3}"
SIZES="${KORIVAN_SYSBENCH_SIZES:-1920x1080 3840x2160}"
S200="${KORIVAN_SYSBENCH_S200:-20}"
S2000="${KORIVAN_SYSBENCH_S2000:-5}"
S125="${KORIVAN_SYSBENCH_S125:-6}"
HOVER="${KORIVAN_SYSBENCH_HOVER:-4000}"
LATENCY="${KORIVAN_SYSBENCH_LATENCY:-12}"
SPOT="${KORIVAN_SYSBENCH_SPOT:-5}"

TMP="$(mktemp -d)"
SESSION=()
cleanup() {
  for ((i = ${#SESSION[@]} - 1; i >= 0; i--)); do kill "${SESSION[i]}" 2>/dev/null || true; done
  for p in "${SESSION[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$TMP"
}
trap cleanup EXIT
now_ms() { date +%s%3N; }
wait_until() {
  local end=$(($(now_ms) + $1)); shift
  until "$@"; do
    [ "$(now_ms)" -lt "$end" ] || return 1
    sleep 0.05
  done
}

# The program as it was at the baseline, built beside this build.
BASELINE="${KORIVAN_BASELINE:-}"
if [ -z "$BASELINE" ]; then
  BASELINE="$(git -C "$SOURCE" merge-base HEAD main 2>/dev/null || echo none)"
fi
TODAY=""
if [ "$BASELINE" != "none" ]; then
  REV="$(git -C "$SOURCE" rev-parse --short "$BASELINE")"
  echo "baseline (today): $REV; yours: $(git -C "$SOURCE" rev-parse --short HEAD)$(git -C "$SOURCE" diff --quiet HEAD || echo ' with changes')"
  if [ "$(cat "$BASEDIR/rev" 2>/dev/null)" != "$REV" ]; then
    rm -rf "$BASEDIR"
    mkdir -p "$BASEDIR/src"
    git -C "$SOURCE" archive "$REV" | tar -x -C "$BASEDIR/src"
    echo "$REV" >"$BASEDIR/rev"
  fi
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  [ -f "$BASEDIR/build/build.ninja" ] ||
    cmake -S "$BASEDIR/src" -B "$BASEDIR/build" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" "${launcher[@]}" >/dev/null
  nice -n 5 cmake --build "$BASEDIR/build" --target korivan-dsk -j 2 >/dev/null
  TODAY="$BASEDIR/build/app/korivan-dsk"
fi

export XAUTHORITY="$TMP/Xauthority" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
touch "$XAUTHORITY"
COOKIE="$(mcookie)"

# start_session WxH: Xvfb on a display of its own, openbox, picom, a backdrop.
start_session() {
  rm -f "$TMP/display"
  Xvfb -displayfd 5 -screen 0 "${1}x24" -nolisten tcp -noreset -auth "$XAUTHORITY" 5>"$TMP/display" 2>"$TMP/xvfb.log" &
  XPID=$!
  SESSION+=($XPID)
  wait_until 10000 test -s "$TMP/display" || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$TMP/display")"
  xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$COOKIE"
  openbox --sm-disable >"$TMP/openbox.log" 2>&1 &
  SESSION+=($!)
  "$XDRIVE" backdrop c8c8c8 >"$TMP/backdrop.txt" &
  BPID=$!
  SESSION+=($BPID)
  wait_until 10000 grep -q mapped "$TMP/backdrop.txt"
  sleep 0.5
  picom --backend xrender --config /dev/null >"$TMP/picom.log" 2>&1 &
  CPID=$!
  SESSION+=($CPID)
  wait_until 10000 xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 || true
  sleep 1
}

stop_session() {
  for ((i = ${#SESSION[@]} - 1; i >= 0; i--)); do kill "${SESSION[i]}" 2>/dev/null || true; done
  for p in "${SESSION[@]}"; do wait "$p" 2>/dev/null || true; done
  SESSION=()
}

# shown NAME WxH: a window of that name covers the screen's width.
shown() {
  xwininfo -root -tree 2>/dev/null | grep "\"$1\"" | grep -q " ${2%x*}x"
}

# The program a build name stands for, with the window it shows when ready.
window_of() {
  case "$1" in
    gromit) echo gromit-mpx ;;
    bare) echo "bare client" ;;
    *) echo "KORIVAN D" ;;
  esac
}

# A home and runtime folder of their own for each start of a program.
fresh_home() {
  export HOME="$TMP/home"
  rm -rf "$HOME"
  export XDG_RUNTIME_DIR="$TMP/run" XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  # Raw points, so that each drawn point is where it was injected.
  mkdir -p "$XDG_DATA_HOME/ORVEL PROJECT/KORIVAN DSK"
  printf '[Pen]\nisSmoothing=0\n' >"$XDG_DATA_HOME/ORVEL PROJECT/KORIVAN DSK/Setup.ini"
  mkdir -p "$XDG_CONFIG_HOME"
  printf '[General]\nShowIntroOnStartup=false\n' >"$XDG_CONFIG_HOME/gromit-mpx.ini"
}

# run_case NAME PROGRAM SIZE WORKLOAD ARGS...: one fresh start of the program,
# one workload; prints the injector's line and "hwm_kib=N". PROGRAM "none":
# the same events with no program over the backdrop, what the X server and
# the compositor spend on them anyway.
run_case() {
  local name="$1" prog="$2" size="$3" load="$4"; shift 4
  if [ "$prog" = none ]; then
    echo "$("$XDRIVE" "$load" "$@" "$BPID" "$XPID" "$CPID") hwm_kib=0"
    return
  fi
  unset KORIVAN_XDRIVE_PLAIN KORIVAN_XDRIVE_CLEAR
  local args=()
  if [ "$name" = gromit ] || [ "$name" = bare ]; then
    # Drawing is on from the start; the reference program clears by its own command.
    export KORIVAN_XDRIVE_PLAIN=1
    [ "$name" = gromit ] && export KORIVAN_XDRIVE_CLEAR="$prog --clear" && args=(--active --key none --undo-key none)
  fi
  fresh_home
  "$prog" "${args[@]}" >"$TMP/app.log" 2>&1 &
  local app=$!
  if ! wait_until 30000 shown "$(window_of "$name")" "$size"; then
    echo "no overlay" >&2
    kill $app 2>/dev/null || true
    wait $app 2>/dev/null || true
    return 1
  fi
  sleep 1
  if [ "$load" = spotlight ]; then
    "$prog" --spotlight >>"$TMP/app.log" 2>&1
    sleep 0.5
  fi
  local perf=""
  if [ -n "${KORIVAN_SYSBENCH_PERF:-}" ]; then
    perf record -q -F 997 -g -p $app -o "$KORIVAN_SYSBENCH_PERF.$load$1" >/dev/null 2>&1 &
    perf=$!
    perf record -q -F 997 -g -p "$XPID" -o "$KORIVAN_SYSBENCH_PERF.x.$load$1" >/dev/null 2>&1 &
    perf="$perf $!"
    sleep 0.5
  fi
  local line
  line="$("$XDRIVE" "$load" "$@" "$app" "$XPID" "$CPID")"
  if [ -n "$perf" ]; then
    # shellcheck disable=SC2086
    kill -INT $perf
    # shellcheck disable=SC2086
    wait $perf 2>/dev/null || true
  fi
  local hwm
  hwm="$(awk '/^VmHWM/ {print $2}' /proc/$app/status)"
  kill $app 2>/dev/null || true
  wait $app 2>/dev/null || true
  echo "$line hwm_kib=$hwm"
}

source "$(dirname "$0")/SwayRows.sh"

field() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
median() { sort -n | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]; else print "-"}'; }

# summarize SIZE NAME LOAD: the row of one build and load from the runs' lines
# in $TMP/lines; latency rows wait in $LATROWS for their own table.
summarize() {
  local size="$1" name="$2" load="$3" rate med p90 probes missed label vals total hwm drawn f
  if [ "${load%% *}" = spotlight ]; then
    vals=()
    for f in fps program_pct xserver_pct compositor_pct idle_pct rate; do
      vals+=("$(while read -r l; do field "$f" "$l"; done <"$TMP/lines" | median)")
    done
    printf '%-10s %-10s %8s %9s %9s %9s %9s %8s\n' "$size" "$name" "${vals[@]}" >>"$SPOTROWS"
    return
  fi
  if [ "${load%% *}" = latency ]; then
    rate="$(awk '{print $2}' <<<"$load")"
    med="$(while read -r l; do field median_ms "$l"; done <"$TMP/lines" | median)"
    p90="$(while read -r l; do field p90_ms "$l"; done <"$TMP/lines" | median)"
    probes="$(while read -r l; do field probes "$l"; done <"$TMP/lines" | paste -sd+ | bc)"
    missed="$(while read -r l; do field missed "$l"; done <"$TMP/lines" | paste -sd+ | bc)"
    printf '%-10s %-10s %6s/s %10s %10s %8s %8s\n' "$size" "$name" "$rate" "$med" "$p90" "$probes" "$missed" \
      >>"$LATROWS"
    return
  fi
  label="$(awk '{print ($1 == "hover") ? "hover" : $2 "@" $4 "/s"}' <<<"$load")"
  vals=()
  for f in program_us xserver_us compositor_us; do
    vals+=("$(while read -r l; do field "$f" "$l"; done <"$TMP/lines" | median)")
  done
  total="$(while read -r l; do
    echo "$(field program_us "$l") + $(field xserver_us "$l") + $(field compositor_us "$l")" | bc
  done <"$TMP/lines" | median)"
  hwm="$(while read -r l; do field hwm_kib "$l"; done <"$TMP/lines" | sort -n | tail -n1)"
  rate="$(while read -r l; do field rate "$l"; done <"$TMP/lines" | median)"
  drawn="$(while read -r l; do
    p=$(field points "$l"); d=$(field drawn "$l")
    [ "${p:-0}" -gt 0 ] && echo "scale=1; 100 * $d / $p" | bc || echo "-"
  done <"$TMP/lines" | sort -n | head -n1)"
  [ "$drawn" = "-" ] || drawn="$drawn%"
  [[ "$name" == none* ]] || [ "$name" = floor ] && drawn="-"
  printf '%-10s %-10s %-12s %8s %8s %8s %8s %9s %8s %6s\n' "$size" "$name" "$label" "${vals[@]}" "$total" \
    "$([[ "$name" == none* ]] && echo - || echo $((hwm / 1024)))" "$drawn" "$rate"
}

LATROWS="$TMP/latency"
: >"$LATROWS"
SPOTROWS="$TMP/spotlight"
: >"$SPOTROWS"
printf '%-10s %-10s %-12s %8s %8s %8s %8s %9s %8s %6s\n' screen build load program xserver compos. total "peak MiB" drawn rate
for size in $SIZES; do
  start_session "$size"
  builds=("none:none" "yours:$PROGRAM")
  [ -n "$TODAY" ] && builds=("none:none" "today:$TODAY" "yours:$PROGRAM")
  [ -n "$GROMIT" ] && builds+=("gromit:$GROMIT")
  [ -x "$BARE" ] && builds+=("bare:$BARE")
  [ -x "$FLOOR" ] && builds+=("floor:$FLOOR")
  for entry in "${builds[@]}"; do
    name="${entry%%:*}" prog="${entry#*:}"
    loads=("stroke 200 $S200 1000" "stroke 200 $S125 125" "stroke 2000 $S2000 1000" "hover $HOVER"
      "latency 125 100 $LATENCY" "latency 1000 100 $LATENCY")
    case "$name" in
      none) loads=("${loads[@]:0:4}") ;;
      # It draws nothing: only its hover is worth a figure.
      floor) loads=("hover $HOVER") ;;
      bare) loads=("${loads[@]:4}") ;;
      gromit) loads=("${loads[@]:0:2}" "${loads[@]:3}") ;;
      yours) loads+=("spotlight $SPOT") ;;
    esac
    for load in "${loads[@]}"; do
      [[ "$name $load" =~ ${KORIVAN_SYSBENCH_ONLY:-.} ]] || continue
      : >"$TMP/lines"
      for ((r = 0; r < RUNS; r++)); do
        # shellcheck disable=SC2086
        run_case "$name" "$prog" "$size" $load >>"$TMP/lines" || true
      done
      [ -s "$TMP/lines" ] || continue
      summarize "$size" "$name" "$load"
    done
  done
  stop_session
  sway_rows "$size"
done
echo "CPU in microseconds per injected event (median of $RUNS runs), strokes as POINTS@REPORTS/s; build \"none\":"
echo "the same events with no program, what the X server and the compositor spend on them anyway; peak memory is"
echo "the largest VmHWM;"
echo "drawn is the smallest share of injected points seen on the screen afterwards; rate is events per second reached;"
echo "build \"floor\": a Qt window like the overlay that does nothing with the pointer; \"gromit\": Gromit-MPX;"
echo "\"/sway\": on a headless sway (pixman), the program on its Wayland path; there is no X server, compos. is sway."
echo
printf '%-10s %-10s %8s %10s %10s %8s %8s\n' screen build reports "median ms" "90th ms" probes missed
cat "$LATROWS"
echo "Ink latency: from sending a point (every 25th of straight strokes, 6 px apart) to its pixel changing on"
echo "the composed screen; median over the runs of each run's median and 90th percentile; missed: not shown"
echo "within a second. Build \"bare\": an Xlib client that fills a square at each motion, the floor. On sway: to"
echo "the first frame sway composes with the pixel (its headless output runs at 60 Hz), read through wlr-screencopy."
echo
printf '%-10s %-10s %8s %9s %9s %9s %9s %8s\n' screen build fps "program%" "xserver%" "compos.%" "idle%" rate
cat "$SPOTROWS"
echo "Spotlight: the pointer swept along a row at 1000 events a second, drawing off; fps: how often a second"
echo "the light's edge on that row moved on the composed screen (the row grabbed about 500 times a second,"
echo "in a sweep of its own); CPU in per cent of one core during a sweep without grabs; idle: the program's"
echo "CPU with the pointer still; medians of the runs."
