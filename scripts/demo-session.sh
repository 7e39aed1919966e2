#!/usr/bin/env bash
# The demo's session inside a lab's host namespace (started by scripts/run.sh
# through lab/lab.sh run, which sets LAB_PLAN): Alarmkeeper, then each
# server's cold start (the servers came up before Alarmkeeper listened),
# then TwinlaneAdmin; Alarmkeeper ends when TwinlaneAdmin does.
#
#   demo-session.sh BIN_DIR [USER]     USER: run both programs as that user
set -euo pipefail
bin=$1
user=${2:-}
alarm_port=4040
listen_limit_tenths=300
as=()
if [[ -n $user ]]; then
  uid=$(id -u "$user")
  as=(runuser -u "$user" -- env XDG_RUNTIME_DIR="/run/user/$uid")
  [[ -d /run/user/$uid ]] || as=(runuser -u "$user" --)
fi
"${as[@]}" "$bin/Alarmkeeper" &
keeper=$!
trap 'kill "$keeper" 2>/dev/null || true; wait "$keeper" 2>/dev/null || true' EXIT
n=0
until (exec 3<>"/dev/tcp/127.0.0.1/$alarm_port") 2>/dev/null; do
  n=$((n + 1))
  ((n < listen_limit_tenths)) || { echo "demo: Alarmkeeper does not listen on port $alarm_port" >&2; exit 1; }
  sleep 0.1
done
# Each server says it has (re)started, as it does on power-up.
while IFS=$'\t' read -r ns _ _ _ _ name control _; do
  [[ $ns == \#* ]] && continue
  echo "alarm coldstart" | socat -t 5 - "UNIX-CONNECT:$control" >/dev/null || echo "demo: $name did not answer" >&2
done <"$LAB_PLAN"
"${as[@]}" "$bin/TwinlaneAdmin"
