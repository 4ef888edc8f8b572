#!/usr/bin/env bash
# Installs the Debian packages the add-on needs to build, run and be tested. Quick when they are
# already there.
set -euo pipefail

packages=(cmake g++ make pkg-config ccache qt6-base-dev libsqlite3-dev libcurl4-openssl-dev uuid-dev
          libxcb1-dev libgtest-dev python3 nlohmann-json3-dev xvfb xauth fonts-dejavu-core)
# The window tests on a virtual X display want a window manager and a real pointer and keyboard.
packages+=(openbox xdotool)
# The fuzz targets (scripts/fuzz.sh) are built with clang and its libFuzzer runtime.
packages+=(clang-14 libclang-rt-14-dev)
# scripts/tidy.sh holds src/ to the project's .clang-tidy.
packages+=(clang-tidy-14)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "install-deps.sh: installing ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
