#!/usr/bin/env bash
# Installs the Debian packages the suite needs: "run" for building and starting it,
# "test" for the tests and their outside cross-check tools as well.
set -euo pipefail
RUN_PKGS=(g++ cmake ninja-build qt6-base-dev)
TEST_PKGS=(libgtest-dev libgmock-dev libbenchmark-dev libtiff-tools gdal-bin python3-gdal python3-numpy
           imagemagick python3-ezdxf libosmesa6-dev)
pkgs=("${RUN_PKGS[@]}")
[ "${1:-run}" = test ] && pkgs+=("${TEST_PKGS[@]}")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
