#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds an application against it twice: through
# find_package(QuantoraDB) and through pkg-config. Arguments: <build dir> <source dir of this test>.
set -euo pipefail
build=$1 here=$2
work=$(mktemp -d /tmp/quantora-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > /dev/null
inc="$work/prefix/include"
# Only public headers: no internal/ folder, no engine folder (a subfolder of dblayer), nothing
# that needs an engine's headers.
if find "$inc/quantora" -type d \( -name internal -o -path '*/dblayer/*' \) | grep .; then
  echo "installed a private folder" >&2; exit 1
fi
[ -e "$inc/quantora/dblayer/TQuery.h" ] || { echo "public headers missing" >&2; exit 1; }
if grep -rlE '#include [<"](libpq-fe|sqlite3|sql|sqlext)\.h[>"]' "$inc"; then
  echo "installed headers include an engine's headers" >&2; exit 1
fi
# Every installed header outside the Qt libraries compiles with the installed tree alone on the
# include path, so no libpq header (/usr/include/postgresql) is needed.
(cd "$inc" && find quantora -name '*.h' ! -path '*/dialogs/*' ! -path '*/plots/*' | sort |
  sed 's/.*/#include "&"/') > "$work/all-headers.cpp"
g++ -std=c++20 -fsyntax-only -I"$inc" "$work/all-headers.cpp"
cmake -S "$here/consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" > /dev/null
cmake --build "$work/cmake-build" > /dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/cmake-build/consumer" "$work/a.db"
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
g++ -o "$work/pc-consumer" "$here/consumer/main.cpp" $(pkg-config --cflags --libs quantoradb)
LD_LIBRARY_PATH="$work/prefix/lib" "$work/pc-consumer" "$work/b.db"
