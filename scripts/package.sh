#!/usr/bin/env bash
# Builds the Debian packages corvala and corvala-server into BUILD_DIR/packages:
# only the programs they hold are built, then CPack packs them.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target cr crsystem rt crsignal crweb -j2
mkdir -p "$build/packages"
(cd "$build" && cpack --config CPackConfig.cmake -B "$PWD/packages" >packages/cpack.log 2>&1) ||
  { cat "$build/packages/cpack.log" >&2; exit 1; }
rm -rf "$build/packages/_CPack_Packages"
ls "$build"/packages/*.deb
