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
# scripts/format.sh holds every source file to .clang-format.
packages+=(clang-format-14)

# The Windows build (scripts/build-windows.sh, --windows): the cross-compiler, wine to run what it
# builds, GoogleTest's sources, and what makes SQLite's amalgamation from its source package.
windows=0
[[ ${1:-} == --windows ]] && windows=1
if [[ $windows -eq 1 ]]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64 googletest dpkg-dev tcl)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# SQLite's source package comes through apt from Debian's source lists.
need_sources=0
if [[ $windows -eq 1 ]] && ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  need_sources=1
fi
[[ ${#missing[@]} -eq 0 && $need_sources -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "install-deps.sh: installing ${missing[*]}" >&2
if [[ $need_sources -eq 1 ]]; then
  echo "install-deps.sh: adding Debian's source lists (for SQLite's source package)" >&2
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  else
    sed -n -e 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
fi
$sudo apt-get update -qq
[[ ${#missing[@]} -eq 0 ]] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
