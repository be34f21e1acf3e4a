#!/usr/bin/env bash
# Non-blank lines per area of the tree, and the tests' share of the code they test
# (tests/ against quantora/, tools/, schema/ and the Python module, whose tests are in tests/).
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

count() {
    git ls-files -z -- "$@" | xargs -0 -r grep -cv '^[[:space:]]*$' -- 2>/dev/null |
        awk -F: '{ s += $NF } END { print s + 0 }'
}

code=0
for area in quantora tools schema python; do
    if [ "$area" = python ]; then
        n=$(count python/src python/quantora python/CMakeLists.txt)
    else
        n=$(count "$area")
    fi
    code=$((code + n))
    printf '%-10s %7d\n' "$area" "$n"
done
tests=$(count tests)
printf '%-10s %7d\n' tests "$tests"
for area in bench scripts; do printf '%-10s %7d  (not counted)\n' "$area" "$(count "$area")"; done
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests/code %6.1f%%  (%d of %d)\n", 100 * t / c, t, c }'
