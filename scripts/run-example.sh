#!/usr/bin/env bash
# Runs tarnwick on the example data in examples/ (a one-minute simulated drive): the
# interface/message/signal tree of the example DBC file (-l) and the head of the ASC trace
# of the example log (-o). Settings go to a scratch home, so yours stay untouched.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build}/app/tarnwick
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch

echo "== $bin -l -d examples/drive.dbc"
"$bin" -l -d examples/drive.dbc
echo
echo "== $bin -o examples/drive.log   (first 20 lines)"
"$bin" -o examples/drive.log >"$scratch/drive.asc"
head -n 20 "$scratch/drive.asc"
echo "... $(wc -l <"$scratch/drive.asc") lines in all"
