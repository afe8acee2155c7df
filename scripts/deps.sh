#!/usr/bin/env bash
# Installs what building and testing need on Debian, when run as root and
# something is missing; otherwise only reports what is missing. With --build,
# only what building the library and zar needs.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libdeflate-dev libisal-dev
  python3 zip unzip p7zip-full libarchive-tools
  arj arc jlha-utils lhasa
  sharutils dos2unix
  gcc-mingw-w64-i686 g++-mingw-w64-i686 gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64
  libz-mingw-w64-dev wine64
)

# --build: only what building the library and zar needs (the main job).
if [ "${1:-}" = "--build" ]; then
  packages=(build-essential cmake ninja-build)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "missing packages (run as root to install): ${missing[*]}" >&2
  exit 1
fi
