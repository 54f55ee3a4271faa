#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need.
# Idempotent: packages already present are skipped, and apt is not touched
# at all when nothing is missing.
#
# Two steps, so that the 32-bit part can never stop the rest: first the packages
# every machine needs, then 32-bit Wine on its own, only where this machine runs
# 32-bit code. The archive's i386 index can lag the amd64 one; then 32-bit Wine
# cannot be installed, which is a notice (the 64-bit program is tested alone),
# not an error.
set -euo pipefail

packages=(
  cmake g++ make clang clang-format valgrind
  googletest libgtest-dev libbenchmark-dev libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 fonts-wine
  xvfb xdotool imagemagick x11-utils
  util-linux python3
  libcli11-dev python3-vobject abook
  libcurl4-openssl-dev libexpat1-dev
  radicale xandikos php-cli php-sqlite3 php-sabre-dav
  python3-caldav vdirsyncer openssl time
)
wine32_package=wine32:i386

# Where the vCard 4.0 peer is installed from npm; a test may name another folder.
node_peers=${QB_NODE_PEERS:-/usr/local/lib/quillborough-peers}
update_tries=${QB_APT_UPDATE_TRIES:-3}

sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

missing_of() {
  local package
  for package in "$@"; do
    is_installed "$package" || printf '%s\n' "$package"
  done
}

# A 32-bit program runs here: the i386 loader where it is present, otherwise the
# smallest i386 program there is (it exits 0). Kernels with their 32-bit emulation
# switched off answer "Exec format error" to both.
runs_32bit_code() {
  local loader
  for loader in ${QB_I386_LOADER:-/lib/ld-linux.so.2 /lib32/ld-linux.so.2}; do
    [ -e "$loader" ] && { "$loader" --help >/dev/null 2>&1; return; }
  done
  local probe
  probe=$(mktemp)
  printf '\177ELF\001\001\001\0\0\0\0\0\0\0\0\0\002\0\003\0\001\0\0\0\124\200\004\010'`
        `'\064\0\0\0\0\0\0\0\0\0\0\0\064\0\040\0\001\0\0\0\0\0\0\0\001\0\0\0\0\0\0\0'`
        `'\0\200\004\010\0\200\004\010\135\0\0\0\135\0\0\0\005\0\0\0\0\020\0\0'`
        `'\270\001\0\0\0\061\333\315\200' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return "$status"
}

# apt-get update, tried a few times. An update that still fails for one index
# (a mirror in mid-sync) does not stop anything: the install below uses what it
# has, and says so itself if that is not enough.
apt_update() {
  local try output
  for ((try = 1; try <= update_tries; try++)); do
    if output=$(sudo_if_needed apt-get update -qq 2>&1); then
      return 0
    fi
    [ "$try" -lt "$update_tries" ] && sleep "${QB_APT_RETRY_PAUSE:-2}"
  done
  echo "apt-get update failed $update_tries times; installing from the package lists it has:"
  grep '^E:' <<<"$output" | head -n 3 | sed 's/^/  /'
}

# The last line apt gave as its reason, for a one-line notice.
apt_reason() { grep -E '^E:|but it is not going to be installed|Unable to' <<<"$1" | tail -n 1 | sed 's/^E: //'; }

export DEBIAN_FRONTEND=noninteractive
updated=

# npm for the vCard 4.0 peer below, from Debian unless a node is there already.
command -v npm >/dev/null || packages+=(nodejs npm)

mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt_update
  updated=1
  if ! output=$(sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" 2>&1); then
    printf '%s\n' "$output" >&2
    echo "install-deps: the packages above could not be installed" >&2
    exit 1
  fi
fi

# 32-bit Wine, only where 32-bit code runs, and never an error.
if is_installed "$wine32_package"; then
  :
elif ! runs_32bit_code; then
  echo "32-bit Wine not installed: this machine cannot run 32-bit programs; the 64-bit program will be tested alone"
else
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
    updated=
  fi
  [ -n "$updated" ] || apt_update >/dev/null
  echo "installing: $wine32_package"
  if ! output=$(sudo_if_needed apt-get install -y -qq --no-install-recommends "$wine32_package" 2>&1); then
    echo "32-bit Wine could not be installed: $(apt_reason "$output"); the 64-bit program will be tested alone"
  fi
fi

# vcard4, a strict RFC 6350 reader, for the peers suite (tests/peers/peers.sh).
if [ ! -f "$node_peers/node_modules/vcard4/package.json" ]; then
  echo "installing: vcard4 (npm) into $node_peers"
  sudo_if_needed mkdir -p "$node_peers"
  sudo_if_needed npm install --no-audit --no-fund --silent --prefix "$node_peers" vcard4@4.0.5 >/dev/null
fi
