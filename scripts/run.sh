#!/usr/bin/env bash
# The main job: install what is needed, build, and start TwinlaneAdmin.
# On a machine without a display the window is shown on a virtual one
# and a screenshot is left in build/TwinlaneAdmin.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec build/bin/TwinlaneAdmin
fi
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  build/bin/TwinlaneAdmin & pid=$!
  sleep 6
  import -window root build/TwinlaneAdmin.png || xwd -root -silent | convert xwd:- build/TwinlaneAdmin.png
  kill $pid; wait $pid 2>/dev/null || true'
echo "No display here: screenshot written to build/TwinlaneAdmin.png"
