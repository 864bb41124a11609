#!/usr/bin/env bash
# Runs the program as its long-lived instance, with a local signalling server
# and web service on loopback as its default (stopped when the program ends).
# Without a display it starts an Xvfb display first and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
state=$build/run-state
mkdir -p "$state"
export CORVALA_HOME=${CORVALA_HOME:-$build/run-home}
export CORVALA_RECEIVED=${CORVALA_RECEIVED:-$build/run-received}
# Nothing reaches out by accident: no public STUN servers unless asked for.
export CORVALA_ICE_SERVERS=${CORVALA_ICE_SERVERS-}
# A rebuilt engine keeps the version number; removing one payload file makes
# the program unpack the build's current payload again.
rm -f "$CORVALA_HOME/crserver"

cleanup() {
  [ -n "${cr_pid:-}" ] && kill "$cr_pid" 2>/dev/null && wait "$cr_pid" 2>/dev/null
  scripts/local-services.sh stop "$build" "$state" >/dev/null 2>&1 || true
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
  echo "run: no display found; Corvala runs on the Xvfb display $DISPLAY (look with: import -display $DISPLAY -window root shot.png)"
fi

eval "$(scripts/local-services.sh start "$build" "$state")"
echo "run: local signalling server at $CORVALA_SIGNALLING, web service at $CORVALA_WEBSITE"


echo "run: program folder $CORVALA_HOME"
cd "$build/bin"
./cr /from_application &
cr_pid=$!
wait "$cr_pid"
