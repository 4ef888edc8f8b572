#!/usr/bin/env bash
# Builds the add-on's core, its command-line tools (vorlend-batch.exe, agenda-seed.exe,
# tablectl.exe), the template table and the core's test programs for 64-bit Windows with Debian's
# mingw-w64 compiler, in build-windows/. SQLite is built from the amalgamation of the same version
# as the Linux build's, made from Debian's source package (fetched through apt once, kept in
# build-windows/deps). The template table is made by running the Windows maker under wine.
#   scripts/build-windows.sh [BUILD_DIR]        (default: build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-windows}
started=$(date +%s)
scripts/install-deps.sh --windows
deps=$build_dir/deps
mkdir -p "$deps"

# SQLite: the Linux build's version, as Debian's source package makes it.
version=$(dpkg-query -W -f '${Version}' libsqlite3-dev)
amalgamation=$deps/sqlite-$version
if [[ ! -f $amalgamation/sqlite3.c ]]; then
  rm -rf "$deps/src" && mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -qq --download-only "sqlite3=$version" >fetch.log 2>&1 &&
     dpkg-source -x sqlite3_*.dsc sqlite >unpack.log 2>&1) || {
    echo "build-windows.sh: SQLite's source package $version could not be fetched (see $deps/src)" >&2
    exit 1
  }
  mkdir -p "$deps/src/sqlite/bld"
  (cd "$deps/src/sqlite/bld" && ../configure --disable-tcl >configure.log 2>&1 && make sqlite3.c >make.log 2>&1)
  mkdir -p "$amalgamation"
  cp "$deps/src/sqlite/bld/sqlite3.c" "$deps/src/sqlite/bld/sqlite3.h" "$amalgamation/"
  rm -rf "$deps/src"
fi
# nlohmann-json is header only: its folder alone, so no Linux header reaches the Windows compiler.
mkdir -p "$deps/include"
ln -sfn /usr/include/nlohmann "$deps/include/nlohmann"

. scripts/wine-env.sh "$build_dir"
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DVORLEND_SQLITE_AMALGAMATION="$PWD/$amalgamation" -DVORLEND_JSON_INCLUDE="$PWD/$deps/include" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build_dir/configure.log"
cmake --build "$build_dir" -j"$(nproc)" "${@:2}"
echo "build-windows.sh: $build_dir/bin built in $(( $(date +%s) - started )) s"
