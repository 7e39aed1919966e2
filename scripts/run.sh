#!/usr/bin/env bash
# The main job: install what is needed, build, and start TwinlaneAdmin.
#
# TwinlaneAdmin searches by broadcast and writes host routes, so it is
# started only inside a lab (lab/lab.sh): an isolated network of namespaces
# with simulated servers (TWL_LAB_DEVICES, default 5: one of each kind),
# never in the machine's own network. The lab needs root.
# On a machine without a display the window is shown on a virtual one
# and a screenshot is left in build/TwinlaneAdmin.png.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $(id -u) -ne 0 ]]; then
  echo "run.sh: TwinlaneAdmin runs only inside a lab network, which needs root (sudo bash scripts/run.sh)" >&2
  exit 2
fi
bash scripts/install-deps.sh
bash scripts/build.sh build
devices=${TWL_LAB_DEVICES:-5}
bin=$PWD/build/bin
# TwinlaneAdmin refuses root. Started through sudo, it runs as the user who
# called sudo, made an operator first; as plain root (a container, a test
# machine) the web engine's sandbox is switched off on purpose, which is
# what lets root run it.
as=()
operator=${SUDO_USER:-}
if [[ -n $operator && $operator != root ]]; then
  bash scripts/setup-operator.sh "$operator" build
  as=(runuser -u "$operator" --)
else
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec bash lab/lab.sh run --devices "$devices" --bin "$bin" -- "${as[@]}" "$bin/TwinlaneAdmin"
fi
# The virtual display belongs to root: the program runs as root there.
export QTWEBENGINE_DISABLE_SANDBOX=1
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  bash lab/lab.sh run --devices "$1" --bin "$2" -- "$2/TwinlaneAdmin" & pid=$!
  sleep 12
  import -window root build/TwinlaneAdmin.png || xwd -root -silent | convert xwd:- build/TwinlaneAdmin.png
  kill $pid; wait $pid 2>/dev/null || true' run "$devices" "$bin"
echo "No display here: screenshot written to build/TwinlaneAdmin.png"
