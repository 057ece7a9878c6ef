# Shared by the scripts in this folder; sourced, not run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="$(nproc 2>/dev/null || echo 2)"
# Compiler cache: paths are taken relative to the checkout, so another clone
# or worktree of the project on the same machine reuses the same objects.
export CCACHE_BASEDIR="$ROOT"

# Installs whatever Debian package named in the given lists (by default every
# list under scripts/packages/) is missing.
ensure_packages() {
  local wanted missing=()
  [ $# -gt 0 ] || set -- "$ROOT"/scripts/packages/*.txt
  wanted=$(cat "$@" | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
  for p in $wanted; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root or install sudo to add: ${missing[*]}" >&2; return 1; }
    sudo="sudo"
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The compiler cache as launcher, where there is one.
launcher_option() {
  command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache || true
}

# options_differ DIR [-DNAME=VALUE...]: true when DIR's cache holds another
# value for one of the options, so that a script turning one on (warnings as
# errors, say) reconfigures a build tree made without it.
options_differ() {
  local dir="$1" opt name value; shift
  for opt in "$@"; do
    [[ "$opt" == -D*=* ]] || continue
    name="${opt#-D}"; value="${name#*=}"; name="${name%%=*}"; name="${name%%:*}"
    grep -qxF "$value" <(sed -n "s/^$name:[A-Z]*=//p" "$dir/CMakeCache.txt") || return 0
  done
  return 1
}

# configure_build DIR [cmake options...]: configures once, then builds incrementally.
configure_build() {
  local dir="$1"; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja $(launcher_option) "$@" >/dev/null
  elif options_differ "$dir" "$@"; then
    cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
  fi
  cmake --build "$dir" -j "$JOBS"
}

# configure_preset PRESET DIR [cmake options...]: configures DIR (the
# preset's folder in CMakePresets.json) from PRESET once, and again when one
# of the options differs from its cache; builds nothing.
configure_preset() {
  local preset="$1" dir="$2"; shift 2
  if [ ! -f "$dir/build.ninja" ]; then
    cmake --preset "$preset" -B "$dir" $(launcher_option) "$@" >/dev/null
  elif options_differ "$dir" "$@"; then
    cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
  fi
}

# build_preset PRESET DIR [cmake options...]: configure_preset, then builds
# everything incrementally.
build_preset() {
  configure_preset "$@"
  cmake --build "$2" -j "$JOBS"
}
