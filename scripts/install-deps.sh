#!/usr/bin/env bash
# Installs every Debian 12 package Corvala needs to build, run and test.
# Idempotent: when everything is present it changes nothing and prints one line.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # fuzz targets: clang with libFuzzer and its sanitizer runtimes
  clang libclang-rt-14-dev
  # GUI and event loop
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libxkbcommon-dev
  # TLS, archives, regexes, images, HTTP, JSON, servers
  libssl-dev zlib1g-dev libminizip-dev libpcre2-dev libjpeg62-turbo-dev
  libcurl4-openssl-dev nlohmann-json3-dev libasio-dev libcpp-httplib-dev
  # crsignal reads its clients' lines with simdjson
  libsimdjson-dev
  libminiupnpc-dev libgeoip-dev geoip-database
  # crsignal's WebSocket listener for browsers: Boost.Beast (header-only)
  libboost-dev
  # media engine
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstreamer-plugins-bad1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-nice gstreamer1.0-tools libnice-dev
  # H.264 (x264enc; avdec_h264)
  gstreamer1.0-plugins-ugly gstreamer1.0-libav
  # X11: capture, injection, cursor, monitors
  libx11-dev libxext-dev libxdamage-dev libxfixes-dev libxtst-dev libxrandr-dev libxcomposite-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool imagemagick iproute2 nftables util-linux openssl
  fonts-dejavu-core dbus
  # clipboard and voice end to end: X selections, a private sound server
  # with a null sink whose monitor the tests record
  xclip pulseaudio pulseaudio-utils
  # browser interoperability test: headless Chromium
  chromium
  # the web viewer's script modules: their unit tests under node's test runner
  nodejs
  # a host without a monitor: the window manager on its virtual display
  openbox
  # the Debian packages: their checks
  lintian
  # crserver's tests: coturn's client tools (turnutils_uclient, turnutils_peer)
  coturn
  # port forwarding: a real UPnP router (miniupnpd) inside the tests' own
  # network namespaces; its system service is never started nor enabled
  miniupnpd miniupnpd-nftables
  # crsignal as a cluster: the hiredis client; redis-server for the cluster's
  # tests and scripts/cluster.sh, which start their own copy on loopback (its
  # system service is never started nor enabled)
  libhiredis-dev redis-server
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
policy_created=""
if [[ " ${missing[*]} " == *" miniupnpd "* ]]; then
  # Answer its questions (no daemon, no interfaces) and keep its service from
  # starting now or at boot: the tests run their own copy in a namespace.
  printf '%s\n' 'miniupnpd miniupnpd/start_daemon boolean false' 'miniupnpd miniupnpd/ip6script boolean false' \
    'miniupnpd miniupnpd/force_igd_desc_v1 boolean false' 'miniupnpd miniupnpd/listen string ' \
    'miniupnpd miniupnpd/iface string ' | $SUDO debconf-set-selections
  $SUDO systemctl mask miniupnpd.service >/dev/null 2>&1 || true
fi
if [[ " ${missing[*]} " == *" miniupnpd "* || " ${missing[*]} " == *" coturn "* ||
      " ${missing[*]} " == *" redis-server "* ]] &&
   [ ! -e /usr/sbin/policy-rc.d ]; then
  # Neither router nor relay service may start while being installed.
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod 755 /usr/sbin/policy-rc.d
  policy_created=1
fi
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# coturn comes only for its client tools: its own relay must neither run nor
# start at boot (crserver is the relay; the tests start it themselves).
if [[ " ${missing[*]} " == *" coturn "* ]]; then
  $SUDO service coturn stop >/dev/null 2>&1 || true
  if command -v systemctl >/dev/null; then $SUDO systemctl disable coturn >/dev/null 2>&1 || true; fi
  $SUDO update-rc.d coturn disable >/dev/null 2>&1 || true
fi
if [[ " ${missing[*]} " == *" redis-server "* ]]; then
  $SUDO service redis-server stop >/dev/null 2>&1 || true
  if command -v systemctl >/dev/null; then $SUDO systemctl disable redis-server >/dev/null 2>&1 || true; fi
  $SUDO update-rc.d redis-server disable >/dev/null 2>&1 || true
fi
[ -z "$policy_created" ] || $SUDO rm -f /usr/sbin/policy-rc.d
echo "install-deps: done"
