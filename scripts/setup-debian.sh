#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need (as root).
# Skips apt entirely when everything is already installed.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config          # build
  libsqlite3-dev sqlite3                    # embedded engine
  libpq-dev postgresql                      # server engine and the throwaway test server
  unixodbc unixodbc-dev odbcinst libsqliteodbc odbc-postgresql   # ODBC with real drivers
  qt6-base-dev xvfb xauth                   # dialogs and their headless tests
  qt6-svg-dev                               # SVG output of the plots
  libgtest-dev libbenchmark-dev             # tests and benchmarks
  libsqlitecpp-dev libsoci-dev libpqxx-dev  # the peers the database layer is benchmarked against
  libzstd-dev liblzma-dev zlib1g-dev libexpat1-dev   # benchmark baselines
  libxml2-utils                             # xmllint for checking exported XML
  clang libclang-rt-14-dev                  # fuzzing and sanitizer runtimes
  pybind11-dev python3-dev python3-numpy python3-pytest   # the Python module and its tests
  python3-setuptools python3-venv python3-pip   # pip install of the Python package into a venv
  chromium                                  # the headless browser the HTML report is checked in
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
fi
