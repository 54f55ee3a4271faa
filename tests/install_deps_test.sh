#!/usr/bin/env bash
# The install script with stand-in apt-get, dpkg and dpkg-query on the PATH (no
# root, no network): a broken 32-bit package set or a mirror in mid-sync never
# stops the packages every machine needs, and a missing one of those is an error.
set -euo pipefail
script=${1:-$(cd "$(dirname "$0")/.." && pwd)/scripts/install-deps.sh}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin=$work/bin
mkdir -p "$bin" "$work/peers/node_modules/vcard4"
touch "$work/peers/node_modules/vcard4/package.json"

# The stand-ins keep the machine's state in files under $QB_STATE:
# installed (one package a line, or * for all), archs, update-fails (how many
# more updates fail), update-index-broken, uninstallable, and apt.log.
cat >"$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
package=${*: -1}
if grep -qxF -e "$package" -e '*' "$QB_STATE/installed"; then echo "install ok installed"; else exit 1; fi
EOF
cat >"$bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case $1 in
  --print-foreign-architectures) cat "$QB_STATE/archs" ;;
  --add-architecture) echo "$2" >>"$QB_STATE/archs"; echo "dpkg --add-architecture $2" >>"$QB_STATE/apt.log" ;;
esac
EOF
cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$QB_STATE/apt.log"
if [ "$1" = update ]; then
  fails=$(cat "$QB_STATE/update-fails")
  if [ "$fails" -gt 0 ]; then echo $((fails - 1)) >"$QB_STATE/update-fails"; echo "E: Temporary failure resolving 'deb.debian.org'"; exit 100; fi
  [ -e "$QB_STATE/update-index-broken" ] && { echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size"; exit 100; }
  exit 0
fi
for package in "${@:5}"; do
  if grep -qxF "$package" "$QB_STATE/uninstallable"; then
    echo " ${package%%:*}:i386 : Depends: zlib1g:i386 (>= 1:1.2.0) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
printf '%s\n' "${@:5}" >>"$QB_STATE/installed"
EOF
printf '#!/bin/sh\nexit 0\n' >"$work/runs-32bit"
printf '#!/bin/sh\necho "cannot execute binary file: Exec format error" >&2; exit 126\n' >"$work/no-32bit"
chmod +x "$bin"/* "$work/runs-32bit" "$work/no-32bit"

set -f  # the stand-ins' * is not a pattern
failures=0
# name | loader | installed | update-fails | index broken | uninstallable | exit | output must hold | apt.log must hold | apt.log must not hold
while IFS='|' read -r name loader installed fails broken bad want_exit want_out want_log refuse_log; do
  state=$work/$name
  mkdir -p "$state"
  printf '%s\n' $installed >"$state/installed"
  echo "$fails" >"$state/update-fails"
  : >"$state/archs" && : >"$state/apt.log" && printf '%s\n' $bad >"$state/uninstallable"
  [ "$broken" = yes ] && touch "$state/update-index-broken"
  status=0
  out=$(PATH="$bin:$PATH" QB_STATE=$state QB_I386_LOADER=$work/$loader QB_NODE_PEERS=$work/peers \
        QB_APT_RETRY_PAUSE=0 bash "$script" 2>&1) || status=$?
  log=$(cat "$state/apt.log")
  problem=
  [ "$status" = "$want_exit" ] || problem="exit $status, want $want_exit"
  [[ "$out" == *"$want_out"* ]] || problem="$problem; output lacks \"$want_out\""
  [[ "$log" == *"$want_log"* ]] || problem="$problem; apt was not asked \"$want_log\""
  [ -n "$refuse_log" ] && [[ "$log" == *"$refuse_log"* ]] && problem="$problem; apt was asked \"$refuse_log\""
  if [ "$name" != needed-missing ] && [ "$want_exit" = 0 ] && ! grep -qxF -e xandikos -e '*' "$state/installed"; then
    problem="$problem; the 64-bit packages were not installed"
  fi
  if [ -n "$problem" ]; then
    echo "FAIL $name:${problem#;}"
    printf '%s\n' "$out" | sed 's/^/  | /'
    failures=$((failures + 1))
  fi
done <<'EOF'
i386-refused|runs-32bit|cmake|0|no|wine32:i386|0|32-bit Wine could not be installed: Unable to correct problems, you have held broken packages.; the 64-bit program will be tested alone|install -y -qq --no-install-recommends wine32:i386|
update-fails-once|runs-32bit|cmake|1|no||0|installing: |dpkg --add-architecture i386|
update-index-broken|no-32bit|cmake|0|yes||0|apt-get update failed 3 times; installing from the package lists it has|xandikos|wine32
needed-missing|no-32bit|cmake|0|no|xandikos|1|Unable to correct problems|install|wine32
nothing-missing|runs-32bit|*|0|no||0|||apt-get
no-32bit-code|no-32bit|cmake|0|no||0|this machine cannot run 32-bit programs|xandikos|i386
EOF
[ "$failures" -eq 0 ] && echo "6 passed, 0 failed"
exit "$failures"
