#!/usr/bin/env bash
# A local crsignal cluster on loopback, for manual testing: one redis-server
# and three crsignal servers sharing it (--redis), no containers.
#   scripts/cluster.sh start [BUILD_DIR [STATE_DIR]]
#     starts Redis on 127.0.0.1:$CLUSTER_REDIS_PORT (default 6390, nothing
#     saved to disk) and crsignal on 127.0.0.1:$CLUSTER_PORT and the two ports
#     above it (default 9001-9003) with the build's development PKI, waits
#     until all accept connections and prints the servers' addresses.
#     Logs and pids go into STATE_DIR (default BUILD_DIR/cluster).
#   scripts/cluster.sh stop [BUILD_DIR [STATE_DIR]]
#     stops what start started.
# Extra crsignal options can be given in CLUSTER_SIGNAL_ARGS (e.g. "--verbose").
set -euo pipefail

usage() { echo "usage: $0 start|stop [BUILD_DIR [STATE_DIR]]" >&2; exit 2; }
[ $# -ge 1 ] && [ $# -le 3 ] || usage
action=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/stop-process.sh"
build=$(cd "${2:-$here/../build}" && pwd)
mkdir -p "${3:-$build/cluster}"
state=$(cd "${3:-$build/cluster}" && pwd)
redis_port=${CLUSTER_REDIS_PORT:-6390}
first_port=${CLUSTER_PORT:-9001}
ports=("$first_port" "$((first_port + 1))" "$((first_port + 2))")

# True when the pid file names a live process running the given program
# (a recycled pid of some other process is left alone).
running() {  # pidname program
  local pidfile="$state/$1.pid" pid
  [ -f "$pidfile" ] || return 1
  pid=$(cat "$pidfile")
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] && tr '\0' '\n' < "/proc/$pid/cmdline" | head -n1 | grep -q -- "$2\( \|$\)"
}

accepting() {  # port
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start_one() {  # pidname program port args...
  local name=$1 program=$2 port=$3
  shift 3
  running "$name" "$program" && return 0
  if accepting "$port"; then
    echo "cluster: port $port is taken by another process" >&2
    exit 1
  fi
  "$program" "$@" </dev/null >"$state/$name.log" 2>&1 &
  echo $! > "$state/$name.pid"
}

wait_accepting() {  # pidname program port
  for _ in $(seq 100); do
    accepting "$3" && return 0
    if ! running "$1" "$2"; then
      echo "cluster: $1 did not start:" >&2
      cat "$state/$1.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  echo "cluster: $1 does not accept connections on port $3" >&2
  exit 1
}

stop_one() {  # pidname program
  local pid
  if running "$1" "$2"; then
    pid=$(cat "$state/$1.pid")
    stop_process "$pid"
  fi
  rm -f "$state/$1.pid"
}

case "$action" in
  start)
    command -v redis-server >/dev/null || { echo "cluster: redis-server is missing (scripts/install-deps.sh)" >&2; exit 1; }
    [ -x "$build/bin/crsignal" ] || { echo "cluster: $build/bin/crsignal is not built" >&2; exit 1; }
    pki="$build/pki"
    [ -f "$pki/server.pem" ] && [ -f "$pki/server.key" ] || "$here/make-pki.sh" "$pki"
    start_one redis "$(command -v redis-server)" "$redis_port" --port "$redis_port" --bind 127.0.0.1 \
      --save "" --appendonly no --daemonize no
    wait_accepting redis "$(command -v redis-server)" "$redis_port"
    for i in 0 1 2; do
      # shellcheck disable=SC2086  # extra options are meant to split
      start_one "crsignal-$i" "$build/bin/crsignal" "${ports[$i]}" --port "${ports[$i]}" --bind 127.0.0.1 \
        --cert "$pki/server.pem" --key "$pki/server.key" --redis "redis://127.0.0.1:$redis_port" \
        ${CLUSTER_SIGNAL_ARGS:-}
    done
    for i in 0 1 2; do
      wait_accepting "crsignal-$i" "$build/bin/crsignal" "${ports[$i]}"
      echo "crsignal $i: 127.0.0.1:${ports[$i]}"
    done
    echo "redis: redis://127.0.0.1:$redis_port; logs in $state"
    ;;
  stop)
    for i in 2 1 0; do stop_one "crsignal-$i" "$build/bin/crsignal"; done
    stop_one redis "$(command -v redis-server || echo redis-server)"
    ;;
  *) usage ;;
esac
