# Sourced by the sync tests: a CardDAV server on a free loopback port with its own
# storage (Radicale, Xandikos or SabreDAV; Radicale and SabreDAV with the users ann and
# bo, password "secret", over Basic authentication), the counting and fault-making
# proxy, the second client (`peer`, as ann, on $base), and cards as another program
# writes them. Expects $here; makes $work; stops what it started when the script ends.
python=/usr/bin/python3  # Debian's, which has python3-caldav
work=$(mktemp -d)
peer() { "$python" "$here/dav_peer.py" "$base" ann secret "$@"; }
servers=()
stop_servers() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${servers[@]}"; do wait "$pid" 2>/dev/null || true; done
  servers=()
}
trap 'stop_servers; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export QBCARD_PASSWORD=secret HOME=$work

free_port() { "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_for_port() {
  for _ in $(seq 100); do
    "$python" -c "import socket; socket.create_connection(('127.0.0.1', $1), 0.1)" 2>/dev/null && return
    sleep 0.05
  done
  fail "nothing listens on port $1"
}

# start_SERVER NAME: a server with storage in $work/NAME; each sets $port, $base, the
# path of ann's address books ($home, found from the server's root by its discovery),
# and $auth: "basic" where a wrong password is refused, "none" where any is taken.
# start_radicale NAME [ssl]: RADICALE_LOG=info logs each login to $work/NAME/log
start_radicale() {
  local folder=$work/$1
  mkdir -p "$folder"
  printf 'ann:secret\nbo:secret\n' >"$folder/users"
  port=$(free_port) home=/ann/ auth=basic
  {
    printf '[server]\nhosts = 127.0.0.1:%s\n' "$port"
    [ "${2:-}" = ssl ] && printf 'ssl = True\ncertificate = %s\nkey = %s\n' "$work/cert.pem" "$work/key.pem"
    printf '[auth]\ntype = htpasswd\nhtpasswd_filename = %s\nhtpasswd_encryption = plain\n' "$folder/users"
    printf '[storage]\nfilesystem_folder = %s\n[rights]\ntype = owner_only\n' "$folder/storage"
    printf '[logging]\nlevel = %s\n' "${RADICALE_LOG:-error}"
  } >"$folder/config"
  radicale --config "$folder/config" >"$folder/log" 2>&1 &
  started
}
# Xandikos has no authentication of its own (it sits behind a web server that does
# it): one account, ann's, and any password is taken.
start_xandikos() {
  port=$(free_port) home=/ann/contacts/ auth=none
  mkdir -p "$work/$1"
  xandikos -d "$work/$1/storage" -l 127.0.0.1 -p "$port" --current-user-principal /ann/ --autocreate \
    >"$work/$1/log" 2>&1 &
  started
}
# SabreDAV 1.8 under PHP's own web server, with an sqlite database.
start_sabredav() {
  port=$(free_port) home=/addressbooks/ann/ auth=basic
  mkdir -p "$work/$1"
  SABRE_DB=$work/$1/db.sqlite php -S "127.0.0.1:$port" -t "$work/$1" "$here/server.php" >"$work/$1/log" 2>&1 &
  started
}
started() {
  servers+=($!)
  wait_for_port "$port"
  base=http://127.0.0.1:$port
}

# start_proxy UPSTREAM LOG [ARGS]: always on the same port, so that the address
# book's URL, and with it the sync state, stays the same.
proxy=$(free_port)
start_proxy() {
  local upstream=$1 log=$2
  shift 2
  "$python" "$here/dav_proxy.py" "$upstream" "$proxy" "$log" "$@" &
  servers+=($!)
  wait_for_port "$proxy"
}
stop_proxy() { kill "${servers[-1]}"; wait "${servers[-1]}" 2>/dev/null || true; unset 'servers[-1]'; }

card() {  # card FILE N FN [more lines]: a vCard 3.0 as another program writes it
  local file=$1 n=$2 fn=$3
  shift 3
  { printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%s\r\nN:%s\r\nFN:%s\r\n' "$(basename "$file")" "$n" "$fn"
    for line in "$@"; do printf '%s\r\n' "$line"; done
    printf 'END:VCARD\r\n'; } >"$file"
}
