#!/usr/bin/env bash
# Runs the signalling server and the web service of a build on loopback, for
# `make run` and manual testing.
#   scripts/local-services.sh start BUILD_DIR STATE_DIR
#     starts crsignal (127.0.0.1:8996) and crweb (127.0.0.1:8080) with the
#     build's development PKI, waits until both accept connections and prints
#     the environment for the program as `export` lines (eval them).
#     Logs, pids and received reviews go into STATE_DIR.
#   scripts/local-services.sh stop BUILD_DIR STATE_DIR
#     stops what start started.
set -euo pipefail

SIGNAL_PORT=8996
# Browsers (the web viewer at /connect/ of crweb) signal over wss on this port.
SIGNAL_WS_PORT=8997
WEB_PORT=8080
usage() { echo "usage: $0 start|stop BUILD_DIR STATE_DIR" >&2; exit 2; }
[ $# -eq 3 ] || usage
action=$1
build=$(cd "$2" && pwd)
mkdir -p "$3"
state=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/stop-process.sh"

# True when the pid file names a live process running the given program
# (a recycled pid of some other process is left alone).
running() {  # name
  local pidfile="$state/$1.pid" pid
  [ -f "$pidfile" ] || return 1
  pid=$(cat "$pidfile")
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] && tr '\0' '\n' < "/proc/$pid/cmdline" | head -n1 | grep -q "/$1\$"
}

accepting() {  # port
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

stop_one() {  # name
  local pidfile="$state/$1.pid" pid
  if running "$1"; then
    pid=$(cat "$pidfile")
    stop_process "$pid"
  fi
  rm -f "$pidfile"
}

start_one() {  # name port args...
  local name=$1 port=$2
  shift 2
  if running "$name"; then
    return 0
  fi
  [ -x "$build/bin/$name" ] || { echo "local-services: $build/bin/$name is not built" >&2; exit 1; }
  if accepting "$port"; then
    echo "local-services: port $port is taken by another process" >&2
    exit 1
  fi
  "$build/bin/$name" "$@" </dev/null >"$state/$name.log" 2>&1 &
  echo $! > "$state/$name.pid"
}

wait_accepting() {  # name port
  for _ in $(seq 100); do
    accepting "$2" && return 0
    if ! running "$1"; then
      echo "local-services: $1 did not start:" >&2
      cat "$state/$1.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  echo "local-services: $1 does not accept connections on port $2" >&2
  exit 1
}

case "$action" in
  start)
    pki="$build/pki"
    [ -f "$pki/server.pem" ] && [ -f "$pki/server.key" ] || "$here/make-pki.sh" "$pki"
    start_one crsignal "$SIGNAL_PORT" --port "$SIGNAL_PORT" --bind 127.0.0.1 \
      --cert "$pki/server.pem" --key "$pki/server.key" --reviews "$state/reviews.log" \
      --ws-port "$SIGNAL_WS_PORT"
    start_one crweb "$WEB_PORT" --port "$WEB_PORT" --bind 127.0.0.1 \
      --file "/download/corvala=$build/bin/cr"
    wait_accepting crsignal "$SIGNAL_PORT"
    wait_accepting crweb "$WEB_PORT"
    echo "export CORVALA_SIGNALLING=127.0.0.1:$SIGNAL_PORT"
    echo "export CORVALA_WEBSITE=http://127.0.0.1:$WEB_PORT"
    echo "export CORVALA_TOOLS=http://127.0.0.1:$WEB_PORT"
    ;;
  stop)
    stop_one crweb
    stop_one crsignal
    ;;
  *) usage ;;
esac
