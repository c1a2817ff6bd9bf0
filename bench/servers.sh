# Sourced by the download and update benchmarks: the outside servers they compare against, started on free
# loopback ports as the invoking user and stopped when the script ends.
#   start_python DIR      python3's http.server for DIR;  sets PYTHON_PORT
#   start_nginx DIR       nginx for DIR (sendfile on, as a host serves static files); sets NGINX_PORT
#   start_delay PORT MS   bench/delay-proxy.py in front of PORT, MS milliseconds each way; sets DELAY_PORT
#   pin_servers CPUS      moves every server process (and its threads) onto the given CPUs (taskset -c syntax)
# Each server's temporary files live in one folder, removed at the end with everything the script started.

BENCH_SERVER_PIDS=()
BENCH_SERVER_TMP=$(mktemp -d "${TMPDIR:-/tmp}/quorrel-bench-servers-XXXXXX")

stop_servers() {
  local pid
  for pid in "${BENCH_SERVER_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${BENCH_SERVER_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$BENCH_SERVER_TMP"
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits until the server on the port answers, at most five seconds.
await_port() {
  local _
  for _ in $(seq 50); do
    curl -s --noproxy '*' -o /dev/null "http://127.0.0.1:$1/" && return 0
    sleep 0.1
  done
  echo "no server answers on port $1" >&2
  return 1
}

start_python() {
  PYTHON_PORT=$(free_port)
  python3 -m http.server "$PYTHON_PORT" --bind 127.0.0.1 --directory "$1" >/dev/null 2>&1 &
  BENCH_SERVER_PIDS+=($!)
  await_port "$PYTHON_PORT"
}

# nginx in the foreground of a background job, from a prefix of its own: its configuration, pid file, error log
# and temporary folders are in the temporary folder, no access log is written, and nothing needs root. A root
# caller's workers stay with its own user, who can read the served folder.
start_nginx() {
  command -v nginx >/dev/null || PATH=$PATH:/usr/sbin
  command -v nginx >/dev/null || { echo "needs nginx (scripts/setup installs nginx-light)" >&2; return 1; }
  NGINX_PORT=$(free_port)
  local prefix=$BENCH_SERVER_TMP/nginx
  mkdir -p "$prefix/tmp"
  local user=""
  if [ "$(id -u)" = 0 ]; then user="user $(id -un) $(id -gn);"; fi
  cat >"$prefix/nginx.conf" <<EOF
$user
daemon off;
worker_processes 1;
pid $prefix/nginx.pid;
error_log $prefix/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  default_type application/octet-stream;
  client_body_temp_path $prefix/tmp/body;
  proxy_temp_path $prefix/tmp/proxy;
  fastcgi_temp_path $prefix/tmp/fastcgi;
  uwsgi_temp_path $prefix/tmp/uwsgi;
  scgi_temp_path $prefix/tmp/scgi;
  server {
    listen 127.0.0.1:$NGINX_PORT;
    root $1;
    autoindex on;
  }
}
EOF
  nginx -p "$prefix" -e "$prefix/error.log" -c "$prefix/nginx.conf" &
  BENCH_SERVER_PIDS+=($!)
  await_port "$NGINX_PORT"
}

start_delay() {
  DELAY_PORT=$(free_port)
  python3 "$(dirname "${BASH_SOURCE[0]}")/delay-proxy.py" "$DELAY_PORT" "$1" "$2" &
  BENCH_SERVER_PIDS+=($!)
  await_port "$DELAY_PORT"
}

pin_servers() {
  local pid child
  for pid in "${BENCH_SERVER_PIDS[@]}"; do
    taskset -a -p -c "$1" "$pid" >/dev/null 2>&1 || true
    for child in $(pgrep -P "$pid" 2>/dev/null); do taskset -a -p -c "$1" "$child" >/dev/null 2>&1 || true; done
  done
}
