#!/usr/bin/env bash
# Takes review screenshots of the program's windows on a private Xvfb display.
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
# Writes welcome.png, main-window.png and main-window-branded.png, then the
# viewer's layouts (viewer-layout.png, viewer-maximised.png,
# viewer-fullscreen-menu.png) from the end-to-end test of one viewer with two
# hosts, which needs the build's tabs_e2e, cr and crsignal, the About and
# review windows (about.png, review.png) from the main window's tests, the
# file choosers and the transfer window (file-chooser.png,
# folder-chooser.png, transfer-window.png) from transfer_e2e, and the chat
# and voice windows (companions-*.png) from companions_e2e.
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-docs/screenshots}")
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

Xvfb :0 -displayfd 3 -screen 0 900x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
export CORVALA_ICE_SERVERS= CORVALA_SIGNALLING=127.0.0.1:9 QT_QPA_PLATFORM=xcb

shot() {  # name home [auto-answer]
  local home=$work/$2
  mkdir -p "$home" "$work/rt-$2" && chmod 700 "$work/rt-$2"
  [ -n "${4:-}" ] && printf '%b' "$4" > "$home/crcustom1.txt"
  CORVALA_HOME=$home CORVALA_RECEIVED=$work/received XDG_RUNTIME_DIR=$work/rt-$2 \
    CORVALA_AUTO_ANSWER=${3:-} "$build/bin/cr" /from_application >/dev/null 2>&1 &
  local pid=$!
  sleep 3
  import -window root "$out/$1.png"
  kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
}

shot welcome first-run ""
shot main-window default ok
shot main-window-branded branded ok 'For help call 555-0100\r\nlogo.png\r\n'
# The viewer with real sessions, in the test's own loopback-only namespace.
CORVALA_SCREENSHOT_DIR=$out ctest --test-dir "$build" -R '^(tabs|transfer|companions)_e2e$' --output-on-failure \
  >/dev/null
CORVALA_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -R '^main_window_tests$' \
  --output-on-failure >/dev/null
# The routing window (routing-window.png) from its own tests.
CORVALA_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -R '^port_forwarding_tests$' \
  --output-on-failure >/dev/null
echo "screenshots in $out"
