#!/usr/bin/env bash
# Opens tarnwick's main window on the example data in examples/ (a one-minute simulated
# drive): the example log with the example VSD file (which names the DBC file), engine and
# vehicle speed and one virtual signal selected, so that the start-up parse loads and
# plots them. Settings go to a scratch home, so yours stay untouched.
# Without a display the text modes are shown instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build}/app/tarnwick
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  selection=(-s Can.EngineData.EngineSpeed -s Can.VehicleDynamics.VehicleSpeed -s Virt.Engine.SmoothRevs)
  echo "== $bin -f examples/drive.vsd examples/drive.lz4 ${selection[*]}"
  "$bin" -f examples/drive.vsd examples/drive.lz4 "${selection[@]}"
  exit
fi

echo "(no display: showing the text modes)"
echo "== $bin -l -d examples/drive.dbc"
"$bin" -l -d examples/drive.dbc
echo
echo "== $bin -o examples/drive.lz4   (first 20 lines)"
"$bin" -o examples/drive.lz4 >"$scratch/drive.asc"
head -n 20 "$scratch/drive.asc"
echo "... $(wc -l <"$scratch/drive.asc") lines in all"
