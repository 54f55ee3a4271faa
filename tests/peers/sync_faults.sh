# Sourced by the sync suites after dav_servers.sh, with $qbcard (a command that
# takes qbcard's arguments), $server, $port and $home set: a sync with its exit code
# checked, and syncs cut by faults that must end as an uninterrupted one does.

# Requests of a sync with nothing to do: Radicale has no lasting token for the
# address book it was found from, so it is asked for the listing anew.
declare -A most_requests=([radicale]=2 [xandikos]=1 [sabredav]=1)

sync_ok() {  # sync_ok EXPECTED_EXIT ARGS...: runs a sync, its output in $out
  local want=$1
  shift
  set +e
  out=$("$qbcard" sync "$@" 2>"$work/err")
  local got=$?
  set -e
  [ "$got" = "$want" ] || fail "qbcard sync $* exited $got, not $want: $out $(cat "$work/err")"
}

# Faults, through the proxy: at each request of a small sync, the server goes away
# or qbcard is killed; the listing's answer and the first one with cards stop
# halfway; a 500, a 503 and a 429 (these two asking to be called again in a second).
# Each ends with the same check: the next sync leaves both sides as an uninterrupted
# sync does (nothing lost, nothing doubled, the card file whole), no temporary file
# is left beside the card file, and a third sync has nothing to do, in as few
# requests as ever. Each fault has
# an address book and a card file of its own; the peer serves them all at once.
run_faults() {  # run_faults "FAULT N"...: the first run's ending is $whole
  local fault name url all=("$@") start=$PWD
  for fault in "${all[@]}"; do
    set -- $fault
    printf 'mkbook %s\nput %sr1.vcf %s\nput %sr2.vcf %s\n' "${home}$1$2/" "${home}$1$2/" "$work/r1.vcf" \
      "${home}$1$2/" "$work/r2.vcf"
  done | peer batch
  printf 'none -1 /dev/null' >"$work/control"
  for fault in "${all[@]}"; do
    set -- $fault
    mkdir "$work/$1$2" && cd "$work/$1$2"
    printf 'Cy\xfe\xfeThree\xfe\xfe\xfd' >test.txt
    sync_ok 0 --user ann "http://127.0.0.1:$proxy${home}$1$2/"
    # Al moved here, Cy gone here, Di new here; Ed new there.
    printf 'Al\xfe\xfeOne\xfeB\xfe\xfdBea\xfe\xfeTwo\xfe\xfe\xfdDi\xfe\xfeFour\xfe\xfe\xfd' >test.txt
  done
  for fault in "${all[@]}"; do set -- $fault && echo "put ${home}$1$2/r5.vcf $work/r5.vcf"; done | peer batch
  for fault in "${all[@]}"; do
    set -- $fault
    name=$1$2 url=http://127.0.0.1:$proxy${home}$1$2/
    cd "$work/$name"
    printf '%s %s %s %s' "$1" "$2" "$work/$name.log" "$work/pid" >"$work/control"
    set +e
    bash -c 'echo $$ >"$1"; exec "$2" sync --user ann "$3"' - "$work/pid" "$qbcard" "$url" >"$work/out" 2>&1
    faulted=$?
    set -e
    case $1 in
      none | 503 | 429) [ "$faulted" = 0 ] || fail "$name: $(cat "$work/out")" ;;
      kill) [ "$faulted" = 137 ] || fail "$name: not killed: $faulted $(cat "$work/out")" ;;
      cut) ;;  # an answer cut after its status line (to a PUT, say) can read as whole
      *) [ "$faulted" != 0 ] || fail "$name: the sync said it was done: $(cat "$work/out")" ;;
    esac
    printf 'none -1 /dev/null' >"$work/control"
    sync_ok 0 --user ann "$url"
    [ "$(ls -A | grep -v '^test\.txt\.sync-[0-9a-f]*$')" = test.txt ] || fail "$name: left beside the card file: $(ls -A)"
    printf 'none -1 %s' "$work/$name.third" >"$work/control"
    sync_ok 0 --user ann "$url"
    [ "$out" = "0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts" ] || fail "$name: a third sync: $out"
    [ "$(wc -l <"$work/$name.third")" -le "${most_requests[$server]}" ] ||
      fail "$name: a third sync made $(cat "$work/$name.third")"
  done
  cd "$start"
  for fault in "${all[@]}"; do set -- $fault && echo "dump ${home}$1$2/"; done | peer batch |
    awk -v to="$work" '/^book /{ n = split($2, p, "/"); file = to "/" p[n - 1] ".dump"; next } { print >file }'
  for fault in "${all[@]}"; do
    set -- $fault
    result=$(od -c "$work/$1$2/test.txt"; cat "$work/$1$2.dump")
    [ -n "${whole:-}" ] || whole=$result
    [ "$result" = "$whole" ] || fail "$1 at request $2, then resumed: $(diff <(echo "$whole") <(echo "$result"))"
  done
}
# fault_suite all|few: the uninterrupted sync, then every fault at every request,
# or a few of each kind (for a slower program, such as one under Wine).
fault_suite() {
  card "$work/r1.vcf" 'One;Al;;;' 'Al One' 'TEL:1' 'ADR;TYPE=HOME:;;A;;;;'
  card "$work/r2.vcf" 'Two;Bea;;;' 'Bea Two' 'TEL:2'
  card "$work/r5.vcf" 'Five;Ed;;;' 'Ed Five'
  start_proxy "$port" /dev/null --control "$work/control"
  run_faults "none -1"  # the uninterrupted sync, the one every fault must end like
  local n faults
  requests=$(wc -l <"$work/none-1.log")  # of the uninterrupted sync, for the summary
  first() { echo $(($(grep -n "$1" "$work/none-1.log" | head -1 | cut -d: -f1) - 1)); }
  faults=("cut 0" "cut $(first bodies)")
  if [ "$1" = all ]; then
    for n in $(seq 0 $((requests - 1))); do faults+=("drop $n" "kill $n"); done
    faults+=("500 $(first ^PUT)")
  else
    faults+=("drop $(first ^PUT)" "kill $(first bodies)")
  fi
  faults+=("503 0" "429 $(first ^PUT)")
  run_faults "${faults[@]}"
  stop_proxy
}
