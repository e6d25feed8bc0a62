#!/usr/bin/env bash
# Installs, from Debian 12's packages, what building and testing TRAVIK needs. Run as root.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev zlib1g-dev          # the native build and its tests
  nlohmann-json3-dev                                     # the JSON result (header only)
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev          # travik.exe
  wine wine64 xvfb xauth                                 # running it on Linux
  vsftpd curl                                            # a real FTP server for the tests
  locales                                                # a Portuguese locale for the tests
  python3 iproute2 procps                                # the network-namespace test's peers
  osslsigncode openssl                                   # signing the release, and its test
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The tests show figures with a Portuguese decimal comma.
if ! locale -a 2>/dev/null | grep -qi '^pt_BR.utf8$'; then
  sed -i 's/^# *\(pt_BR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  locale-gen >/dev/null
fi
