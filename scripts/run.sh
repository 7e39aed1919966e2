#!/usr/bin/env bash
# The main job: install what is needed, build, and start TwinlaneAdmin.
# On a machine without a display the window is shown on a virtual one
# and a screenshot is left in build/TwinlaneAdmin.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
# TwinlaneAdmin refuses root. Started through sudo, it runs as the user who
# called sudo, made an operator first; as plain root (a container, a test
# machine) the web engine's sandbox is switched off on purpose, which is
# what lets root run it.
as=()
if ((EUID == 0)); then
  operator=${SUDO_USER:-}
  if [[ -n $operator && $operator != root ]]; then
    bash scripts/setup-operator.sh "$operator" build
    as=(runuser -u "$operator" --)
  else
    export QTWEBENGINE_DISABLE_SANDBOX=1
  fi
fi
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec "${as[@]}" build/bin/TwinlaneAdmin
fi
# The virtual display belongs to root: the screenshot is taken as root.
if ((EUID == 0)); then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  build/bin/TwinlaneAdmin & pid=$!
  sleep 6
  import -window root build/TwinlaneAdmin.png || xwd -root -silent | convert xwd:- build/TwinlaneAdmin.png
  kill $pid; wait $pid 2>/dev/null || true'
echo "No display here: screenshot written to build/TwinlaneAdmin.png"
