#!/usr/bin/env bash
# Sets up and builds Zelmora, then runs its main job: the desktop program
# when a display is present, otherwise the command-line demo.
#   bash scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh release
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    exec build/release/gui/zelmora "$@"
fi
# Without a display: a whole synthetic analysis, from the chromatogram to the
# concentrations, printed as a peak table.
exec build/release/cli/zelmora-cli demo "$@"
