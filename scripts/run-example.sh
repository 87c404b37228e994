#!/usr/bin/env bash
# Runs tarnwick on the example data shipped in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -x "$build/app/tarnwick" ]; then
  echo "tarnwick itself is not built yet: the program entry and the example data arrive with a later step."
  exit 0
fi
exec "$build/app/tarnwick" examples/*.log -d examples/*.dbc
