#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need.
# Idempotent: packages already present are skipped, and apt is not touched
# at all when nothing is missing.
set -euo pipefail

packages=(
  cmake g++ make clang clang-format valgrind
  googletest libgtest-dev libbenchmark-dev libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  # 64-bit Wine runs everywhere. 32-bit Wine installs everywhere too, but runs only
  # where the kernel runs 32-bit code: the scripts try it before they use it.
  wine wine64 wine32:i386 fonts-wine
  xvfb xdotool imagemagick x11-utils
  util-linux python3
  libcli11-dev python3-vobject abook
  libcurl4-openssl-dev libexpat1-dev
  radicale python3-caldav vdirsyncer openssl time
)

sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_if_needed dpkg --add-architecture i386
  need_update=1
fi

# npm for the vCard 4.0 peer below, from Debian unless a node is there already.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for package in "${packages[@]}"; do
  is_installed "$package" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_if_needed apt-get update -qq
  sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# vcard4, a strict RFC 6350 reader, for the peers suite (tests/peers/peers.sh).
node_peers=/usr/local/lib/quillborough-peers
if [ ! -f "$node_peers/node_modules/vcard4/package.json" ]; then
  echo "installing: vcard4 (npm) into $node_peers"
  sudo_if_needed mkdir -p "$node_peers"
  sudo_if_needed npm install --no-audit --no-fund --silent --prefix "$node_peers" vcard4@4.0.5 >/dev/null
fi
