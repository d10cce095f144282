#!/usr/bin/env bash
# Installs the build and test packages (Debian 12) when they are missing,
# then configures and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkgconf libgtest-dev qt6-base-dev libzip-dev zipcmp zipmerge ziptool
          zip unzip libcurl4-openssl-dev libsqlite3-dev sqlite3 gdal-bin libgdal-dev python3-pyftpdlib python3-openssl
          xvfb xauth libasio-dev libsodium-dev fonts-dejavu-core locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale: the tests check that no number the program writes follows it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j "$(nproc)"
