#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need. Skips what is there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config clang-format clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-declarative-dev qt6-webengine-dev libgl-dev
  libcurl4-openssl-dev curl libssl-dev libpcre2-dev libxtst-dev libx11-dev libxdo-dev libcpp-httplib-dev
  apertium apertium-eng-spa apertium-eng-cat apertium-en-gl apertium-eo-en
  nlohmann-json3-dev qtkeychain-qt6-dev gnome-keyring dbus dbus-x11 libsecret-tools
  libatspi2.0-dev at-spi2-core libatk-adaptor python3-pyatspi
  pidgin prosody python3-slixmpp hexchat ngircd
  xvfb xauth openbox trayer xdotool wmctrl xclip x11-utils x11-xkb-utils imagemagick python3
  sway qt6-wayland libwayland-dev libxkbcommon-dev wayland-protocols wl-clipboard wtype grim
  kwin-wayland kwin-style-breeze plasma-wayland-protocols
  mutter gnome-shell libglib2.0-bin xdg-desktop-portal xdg-desktop-portal-gnome pipewire wireplumber
  libpipewire-0.3-dev
  fonts-wqy-microhei
  dpkg-dev lintian desktop-file-utils appstream man-db
  g++-mingw-w64-x86-64-posix wine64
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "deps: installing ${missing[*]}"
$SUDO apt-get update -qq
# The chat servers the tests start on loopback must not start as system services on install
# (they would listen on every interface): no service starts while the packages go in.
policy=""
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod 755 /usr/sbin/policy-rc.d
  policy=/usr/sbin/policy-rc.d
fi
rc=0
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
  rc=$?
if [ -n "$policy" ]; then $SUDO rm -f "$policy"; fi
exit "$rc"
