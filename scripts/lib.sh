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

# configure_build DIR [cmake options...]: configures once, then builds incrementally.
configure_build() {
  local dir="$1"; shift
  if [ ! -f "$dir/build.ninja" ]; then
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
  fi
  cmake --build "$dir" -j "$JOBS"
}
