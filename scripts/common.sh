# Shared by the scripts: install what is missing, configure and build.
# Sourced, not run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

PACKAGES=(
  build-essential cmake pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
  libqcustomplot-dev libssl-dev libbenchmark-dev
  clang libclang-rt-14-dev lld
)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1; then sudo "$@"
  else echo "Need root (or sudo) to run: $*" >&2; return 1
  fi
}

install_deps() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# configure_build DIR [cmake args...]
configure_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
}
