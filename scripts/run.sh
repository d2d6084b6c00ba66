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
cli=build/release/cli/zelmora-cli
if "$cli" help demo >/dev/null 2>&1 && "$cli" --help | grep -q '^  demo '; then
    exec "$cli" demo "$@"
fi
exec "$cli" status "$@"
