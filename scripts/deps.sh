#!/usr/bin/env bash
# Installs, with apt-get, whatever Debian packages the build, the tests and the demo need and
# this machine lacks. Usage: scripts/deps.sh [build|test]   (test is a superset of build)
set -euo pipefail
what=${1:-test}

build_pkgs=(g++ clang cmake ninja-build pkg-config
  zlib1g-dev libjpeg62-turbo-dev libx11-dev libxext-dev libfreetype-dev libfontconfig-dev
  fonts-dejavu-core fonts-wqy-microhei
  xvfb x11-apps x11-utils x11-xserver-utils imagemagick)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libspng-dev libxtst-dev libxdamage-dev
  libclang-rt-14-dev llvm valgrind hyperfine time
  openbox xdotool wmctrl xdg-utils)

pkgs=("${build_pkgs[@]}")
[ "$what" = test ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
