#!/usr/bin/env bash
# Installs what is needed, builds Quarnel and starts it against the private
# local server with the sample database.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_BUILD_TESTS=OFF -DQUARNEL_BUILD_BENCH=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: Quarnel runs on a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a -s "-screen 0 1280x900x24" "$here/scripts/run-demo.sh" "$here/build/app/quarnel" "$@"
fi
exec "$here/scripts/run-demo.sh" "$here/build/app/quarnel" "$@"
