#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds an application against it twice: through
# find_package(QuantoraDB) and through pkg-config. Arguments: <build dir> <source dir of this test>.
set -euo pipefail
build=$1 here=$2
work=$(mktemp -d /tmp/quantora-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > /dev/null
cmake -S "$here/consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" > /dev/null
cmake --build "$work/cmake-build" > /dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/cmake-build/consumer" "$work/a.db"
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
g++ -o "$work/pc-consumer" "$here/consumer/main.cpp" $(pkg-config --cflags --libs quantoradb)
LD_LIBRARY_PATH="$work/prefix/lib" "$work/pc-consumer" "$work/b.db"
