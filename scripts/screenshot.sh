#!/usr/bin/env bash
# Takes the README's picture of the main window: olmconfig-demo under a virtual X display, with the
# 8-door sample controller selected, saved as docs/screenshot.png.
#   scripts/screenshot.sh [path to olmconfig-demo]     (default: the build of `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
demo=${1:-build/default/app/olmconfig-demo}
if [ ! -x "$demo" ]; then
    echo "screenshot: $demo is missing; run 'make build' first" >&2
    exit 1
fi
mkdir -p docs
# Line 2 of the sample set is K105_01502: eight doors, an inactive and a new reader.
xvfb-run -a -s "-screen 0 1280x800x24" "$demo" --screenshot docs/screenshot.png --line 2
echo "screenshot: docs/screenshot.png"
