#!/usr/bin/env bash
# Runs the program as its long-lived instance. Without a display it starts an
# Xvfb display first and says so. Local services (signalling, web) are started
# on loopback when the project provides them, and stopped when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
state=$build/run-state
mkdir -p "$state"
export CORVALA_HOME=${CORVALA_HOME:-$build/run-home}
export CORVALA_RECEIVED=${CORVALA_RECEIVED:-$build/run-received}

cleanup() {
  [ -x scripts/local-services.sh ] && scripts/local-services.sh stop "$build" "$state" >/dev/null 2>&1 || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
  done
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X${display#:} ] && break; sleep 0.1; done
  export DISPLAY=$display
  echo "run: no display found; Corvala runs on the Xvfb display $DISPLAY (look with: DISPLAY=$DISPLAY xwd -root | convert xwd:- shot.png)"
fi

if [ -x scripts/local-services.sh ]; then
  eval "$(scripts/local-services.sh start "$build" "$state")"
  echo "run: local signalling server at $CORVALA_SIGNALLING, web service at $CORVALA_WEBSITE"
fi

echo "run: program folder $CORVALA_HOME"
cd "$build/bin"
./cr /from_application
