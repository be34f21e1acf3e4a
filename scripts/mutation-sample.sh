#!/usr/bin/env bash
# Mutation sample of the library against the whole test suite; see mutation_sample.py --help.
# Example: scripts/mutation-sample.sh --seed 1 --count 100
exec python3 "$(dirname "$0")/mutation_sample.py" "$@"
