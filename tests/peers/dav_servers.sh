# Sourced by the sync tests: Radicale on a free loopback port with its own storage
# and two htpasswd users (ann and bo, "secret"), the counting proxy, the second client
# (`peer`, as ann, on $base), and cards as another program writes them. Expects $here;
# makes $work; stops what it started when the script ends.
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

# start_radicale NAME [ssl]: sets $port; RADICALE_LOG=info logs each login to $work/NAME/log
start_radicale() {
  local folder=$work/$1
  mkdir -p "$folder"
  printf 'ann:secret\nbo:secret\n' >"$folder/users"
  port=$(free_port)
  {
    printf '[server]\nhosts = 127.0.0.1:%s\n' "$port"
    [ "${2:-}" = ssl ] && printf 'ssl = True\ncertificate = %s\nkey = %s\n' "$work/cert.pem" "$work/key.pem"
    printf '[auth]\ntype = htpasswd\nhtpasswd_filename = %s\nhtpasswd_encryption = plain\n' "$folder/users"
    printf '[storage]\nfilesystem_folder = %s\n[rights]\ntype = owner_only\n' "$folder/storage"
    printf '[logging]\nlevel = %s\n' "${RADICALE_LOG:-error}"
  } >"$folder/config"
  radicale --config "$folder/config" >"$folder/log" 2>&1 &
  servers+=($!)
  wait_for_port "$port"
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
