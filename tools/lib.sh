# Shared by tools/run and tools/test: install what is missing, configure and build.
set -euo pipefail

TW_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages the build, the tests and the program need (see README).
TW_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-multimedia-dev libbenchmark-dev
  libdeflate-dev libuu-dev zlib1g-dev openssl par2 unar 7zip)

tw_install() {
  local missing=()
  for p in "${TW_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

# tw_build <build-folder> [extra cmake arguments...]
tw_build() {
  local dir=$1
  shift
  cmake -S "$TW_ROOT" -B "$dir" -G Ninja "$@"
  cmake --build "$dir"
}
