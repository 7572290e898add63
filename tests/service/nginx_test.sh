#!/usr/bin/env bash
# docs/nginx/karvona.conf in front of `karvona serve`: Debian's nginx on loopback with its own
# prefix, configuration, logs and pid file in a temporary folder. Skips (77) without nginx.
# usage: nginx_test.sh KARVONA_BIN SOURCE_DIR
set -euo pipefail
karvona=$1
source_dir=$2
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "nginx is not installed"; exit 77; }
command -v curl >/dev/null || { echo "curl is not installed"; exit 77; }

tmp=$(mktemp -d)
service_pid=""
cleanup() {
  [ -f "$tmp/nginx.pid" ] && kill "$(cat "$tmp/nginx.pid")" 2>/dev/null || true
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- service"; cat "$tmp/service.err" || true; echo "--- nginx"; cat "$tmp/error.log" || true; exit 1; }

"$karvona" serve --listen 127.0.0.1:0 --jobs 2 --timeout 5 --data "$source_dir/data" \
  --db "$tmp/history.db" 2>"$tmp/service.err" &
service_pid=$!
for _ in $(seq 100); do
  grep -q "listening on" "$tmp/service.err" && break
  sleep 0.1
done
service_port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$tmp/service.err")
[ -n "$service_port" ] || fail "the service did not start"

# The documented configuration, pointed at this service and a free loopback port, with a small
# body limit and short client timeouts so that their refusals come quickly.
mkdir -p "$tmp/temp"
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root root;"
start_nginx() {
  sed -e "s/server 127.0.0.1:8080/server 127.0.0.1:$service_port/" \
      -e "s/listen 80;/listen 127.0.0.1:$1;/" \
      -e "s/client_max_body_size 201m;/client_max_body_size 1m;/" \
      -e "s/client_header_timeout 10s;/client_header_timeout 1s;/" \
      "$source_dir/docs/nginx/karvona.conf" >"$tmp/karvona.conf"
  cat >"$tmp/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $tmp/nginx.pid;
error_log $tmp/error.log;
events { worker_connections 128; }
http {
  access_log $tmp/access.log;
  client_body_temp_path $tmp/temp/body;
  proxy_temp_path $tmp/temp/proxy;
  fastcgi_temp_path $tmp/temp/fastcgi;
  uwsgi_temp_path $tmp/temp/uwsgi;
  scgi_temp_path $tmp/temp/scgi;
  include $tmp/karvona.conf;
}
CONF
  "$nginx" -p "$tmp" -e "$tmp/error.log" -c "$tmp/nginx.conf"
}
port=""
for _ in 1 2 3 4 5; do
  candidate=$((20000 + RANDOM % 40000))
  if start_nginx "$candidate" 2>>"$tmp/error.log"; then
    port=$candidate
    break
  fi
done
[ -n "$port" ] || fail "nginx did not start"
for _ in $(seq 50); do
  [ -s "$tmp/nginx.pid" ] && curl -s -o /dev/null "http://127.0.0.1:$port/health" && break
  sleep 0.1
done
url="http://127.0.0.1:$port"
curl_() { curl -s --max-time 20 -H 'Expect:' "$@"; }

# Health and a reading come through.
body=$(curl_ "$url/health")
echo "$body" | grep -q '"loaded":true' || fail "/health: $body"
photo="$source_dir/samples/synth_000000.jpg"
body=$(curl_ -H 'Content-Type: image/jpeg' --data-binary @"$photo" "$url/read?file=a.jpg")
echo "$body" | grep -q '"file":"a.jpg"' || fail "/read: $body"
echo "$body" | grep -q '"sure":' || fail "/read: $body"

# The service's own answers pass unchanged: 405 with Allow.
headers=$(curl_ -D - -o /dev/null -X DELETE "$url/read")
echo "$headers" | grep -q '^HTTP/1.1 405' || fail "405: $headers"
echo "$headers" | grep -qi '^Allow: POST' || fail "Allow: $headers"

# The desk through nginx: its page and routes come through, but without a token nothing that
# nginx passes on may change the history, though every peer the service sees is loopback.
status=$(curl_ -o /dev/null -w '%{http_code}' "$url/")
[ "$status" = 200 ] || fail "the desk's page: $status"
body=$(curl_ "$url/desk/queue")
echo "$body" | grep -q '"readings":' || fail "/desk/queue: $body"
body=$(curl_ -H 'Content-Type: application/json' --data '{"id":1,"code":"TGHU7654320"}' \
  "$url/desk/settle")
echo "$body" | grep -q '"reason":"token-required"' || fail "/desk/settle through nginx: $body"

# nginx refuses a body over the limit in the service's form.
head -c 2000000 /dev/zero >"$tmp/big"
status=$(curl_ -o "$tmp/out" -w '%{http_code}' -H 'Content-Type: image/jpeg' \
  --data-binary @"$tmp/big" "$url/read")
[ "$status" = 413 ] || fail "over the limit: $status"
grep -q '"reason":"too-large"' "$tmp/out" || fail "413 body: $(cat "$tmp/out")"

# A client that sends its headers too slowly is dropped by nginx, not by a reader.
start=$(date +%s%N)
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'POST /read HTTP/1.1\r\nHo' >&3
timeout 5 cat <&3 >/dev/null || true
exec 3>&-
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -lt 4000 ] || fail "a slow client was held ${elapsed} ms"
body=$(curl_ "$url/health")
echo "$body" | grep -q '"readings":0' || fail "/health after: $body"

echo "nginx in front of the service: 9 checks passed"
