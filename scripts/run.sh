#!/usr/bin/env bash
# The demo: install what is needed, build, and show the two programs at work
# on a lab of simulated servers.
#
# TwinlaneAdmin searches by broadcast and writes host routes, so it runs
# only inside a lab (lab/): an isolated network of namespaces with simulated
# servers (scripts/demo.plan: one on the host's subnet, one on a foreign
# subnet with a device password, one unconfigured, two sharing an address),
# never in the machine's own network. The lab needs root and goes when the
# demo ends.
# - With a display: Alarmkeeper and TwinlaneAdmin open there, as the user
#   who called sudo (made an operator first: scripts/setup-operator.sh);
#   close TwinlaneAdmin to end.
# - Without one: the operator's story (e2e/tst_operatorStory.cpp) plays by
#   itself on a virtual display and leaves a picture of each step in
#   TWL_DEMO_SHOTS (default build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $(id -u) -ne 0 ]]; then
  echo "run.sh: TwinlaneAdmin runs only inside a lab network, which needs root (sudo bash scripts/run.sh)" >&2
  exit 2
fi
bash scripts/install-deps.sh
bash scripts/build.sh build
bin=$PWD/build/bin
story_limit_s=300

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  # TwinlaneAdmin refuses root. Started through sudo, both programs run as
  # the user who called sudo; as plain root (a container, a test machine)
  # the web engine's sandbox is switched off on purpose, which lets root
  # run it.
  operator=${SUDO_USER:-}
  if [[ -n $operator && $operator != root ]]; then
    bash scripts/setup-operator.sh "$operator" build
  else
    operator=
    export QTWEBENGINE_DISABLE_SANDBOX=1
  fi
  exec bash lab/lab.sh run --plan scripts/demo.plan --bin "$bin" -- bash scripts/demo-session.sh "$bin" "$operator"
fi

# No display: the story test program makes its own lab (lab::LabNet), runs
# as root with the web engine's sandbox off, and removes the lab at its end.
# Its Alarmkeeper runs as a test operator, so the virtual display (local
# socket only) takes clients without an authorization file (-ac).
shots=${TWL_DEMO_SHOTS:-$PWD/build/demo}
rm -rf "$shots"
mkdir -p "$shots"
TWL_STORY_SHOTS=$shots TWL_BIN_DIR=$bin QTWEBENGINE_DISABLE_SANDBOX=1 \
  QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu --disable-background-networking --disable-component-update" QT_QPA_PLATFORM=xcb \
  timeout "$story_limit_s" xvfb-run -a -s "-ac -screen 0 1280x1024x24" build/tests/test_operatorStory
echo "No display here: the story ran on a virtual display; a picture of each step is in $shots"
