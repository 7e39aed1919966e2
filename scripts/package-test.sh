#!/usr/bin/env bash
# The package on this machine, end to end (root; CI runs it after the normal
# build):
#
#   scripts/package-test.sh [BUILD_DIR, default build]
#
# Builds the Debian package from the built tree (lintian must pass),
# installs it, and as a user it creates, a member of the operators' group:
# - runs the installed Alarmkeeper in a network namespace of its own (only
#   loopback): a simulated server's alarm arrives over loopback and lands in
#   /var/log/alarmkeeper; a settings change through Alarmkeeper's settings
#   code is stored in /etc/korvel/machine.ini;
# - runs the installed TwinlaneAdmin in a lab's host namespace (lab/lab.sh):
#   it starts as the operator and starts the installed route helper, which
#   holds its capability; a program that searches writes a host route to the
#   lab's server on a foreign subnet, gone after it closes; a host route
#   written through that helper directly appears in the namespace's table
#   and is gone after the release.
# Then purges the package: the logs stay, the settings go. Whatever happens,
# the package, the test user and what the test put on the machine are
# removed again, and a settings file or log folder that was there before
# is put back.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly user=twl-pkg-test
readonly helper=/usr/libexec/twinlane/twl-route-helper
readonly settings=/etc/korvel/machine.ini
readonly logs=/var/log/alarmkeeper
wait_limit=60 # seconds, for each thing awaited on a busy machine

fail() {
  echo "package-test: FAILED: $*" >&2
  exit 1
}
pass() { echo "package-test: ok: $*"; }

# Waits until the command succeeds, at most wait_limit seconds.
await() {
  local end=$((SECONDS + wait_limit))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

# ---- inside the lab's host namespace (called through lab/lab.sh run) -------
if [[ ${1:-} == --in-lab ]]; then
  work=$2
  [[ $(readlink /proc/self/ns/net) != $(readlink /proc/1/ns/net) ]] || fail "not inside a lab namespace"
  as_operator=(runuser -u "$user" -- env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8)

  "${as_operator[@]}" QT_QPA_PLATFORM=offscreen /usr/bin/TwinlaneAdmin >"$work/admin.out" 2>&1 &
  admin=$!
  # Names as the kernel keeps them, cut to 15 characters.
  helper_pid() { pgrep -u "$user" -x twl-route-helpe; }
  await helper_pid >/dev/null || { cat "$work/admin.out" >&2; fail "TwinlaneAdmin started no route helper"; }
  hp=$(helper_pid)
  [[ $(readlink "/proc/$hp/exe") == "$helper" ]] || fail "the helper started is $(readlink "/proc/$hp/exe"), not $helper"
  # CAP_NET_ADMIN is capability 12 of the effective set.
  capeff=$(awk '/^CapEff:/ {print $2}' "/proc/$hp/status")
  (((16#$capeff >> 12) & 1)) || fail "the running helper lacks CAP_NET_ADMIN (CapEff $capeff)"
  [[ $(stat -c %U "/proc/$hp") == "$user" ]] || fail "the helper does not run as the operator"
  pass "installed TwinlaneAdmin runs as $user in the lab with the installed helper, which holds CAP_NET_ADMIN"
  # The program searches once it starts: the lab's server on a foreign
  # subnet (device 2) gets a host route through the installed helper, which
  # the program's close removes again.
  foreign=10.88.0.12
  foreign_route() { [[ -n $(ip route show "$foreign" proto 84) ]]; }
  wait_limit=180 await foreign_route || { cat "$work/admin.out" >&2; fail "the installed TwinlaneAdmin's search wrote no route to $foreign"; }
  pass "the installed TwinlaneAdmin found the lab's servers and wrote a host route to $foreign"
  kill -TERM "$(pgrep -u "$user" -x TwinlaneAdmin)"
  await bash -c "! kill -0 $admin 2>/dev/null" || fail "TwinlaneAdmin did not end on SIGTERM"
  wait "$admin" || fail "TwinlaneAdmin ended with code $? on SIGTERM"
  [[ -z $(ip route show proto 84) ]] || fail "routes left after TwinlaneAdmin closed: $(ip route show proto 84)"

  # A route through the installed helper, spoken to directly.
  ifindex=$(cat /sys/class/net/eth0/ifindex)
  coproc HELPER { "${as_operator[@]}" "$helper" 2>"$work/helper.err"; }
  ask() {
    printf '%s\n' "$1" >&"${HELPER[1]}"
    local answer
    read -r -t "$wait_limit" answer <&"${HELPER[0]}" || fail "no answer from the helper to '$1'"
    [[ $answer == "0 "* || $answer == 0 ]] || fail "the helper answered '$answer' to '$1'"
  }
  ask hello
  ask "route $foreign/32 $ifindex 10.77.0.1 direct 0"
  [[ -n $(ip route show "$foreign" proto 84) ]] || fail "the route written by the helper is not in the table"
  ask release
  wait "$HELPER_PID" || true
  [[ -z $(ip route show "$foreign" proto 84) ]] || fail "the route is still there after the release"
  pass "a host route written through the installed helper by $user, and removed at the release"
  exit 0
fi

# ---- on the machine ----------------------------------------------------------
((EUID == 0)) || fail "run this as root"
build=${1:-build}
bin=$(realpath "$build/bin")
probe=$(realpath "$build/tests/twl-ak-settings-probe")
[[ -x $bin/twinlane-sim && -x $probe ]] || fail "build $build first (twinlane-sim, twl-ak-settings-probe)"
if dpkg-query -W -f='${Status}' twinlane 2>/dev/null | grep -q "ok installed\|config-files"; then
  fail "the package twinlane is already on this machine; the test installs and purges it: dpkg --purge twinlane first"
fi
if getent passwd "$user" >/dev/null; then userdel "$user"; fi

work=$(mktemp -d /tmp/twl-package-test.XXXXXX)
chmod 0755 "$work"
had_group=0
getent group twinlane >/dev/null && had_group=1
# What was on the machine before is moved aside and put back at the end.
[[ -e $settings ]] && cp -a "$settings" "$work/machine.ini.before"
[[ -e $logs ]] && mv "$logs" "$work/logs.before"

cleanup() {
  local rc=$?
  set +e
  pkill -KILL -u "$user" 2>/dev/null
  dpkg --purge twinlane >/dev/null 2>&1
  getent passwd "$user" >/dev/null && userdel "$user"
  ((had_group)) || groupdel twinlane 2>/dev/null
  rm -rf "$logs"
  [[ -e $work/logs.before ]] && mv "$work/logs.before" "$logs"
  [[ -e $work/machine.ini.before ]] && install -d /etc/korvel && cp -a "$work/machine.ini.before" "$settings"
  rm -rf "$work"
  ((rc == 0)) && echo "package-test: passed" || echo "package-test: FAILED" >&2
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM
rm -f "$settings" # a fresh machine: the post-install step creates it

deb=$(timeout 600 bash scripts/package.sh --no-build "$build" | tail -n 1)
pass "package built, lintian without errors, installed: $deb"

# What the post-install step set up.
[[ $(stat -c '%U:%G %a' "$helper") == "root:twinlane 750" ]] || fail "helper modes $(stat -c '%U:%G %a' "$helper")"
getcap "$helper" | grep -q "cap_net_admin=ep" || fail "the helper lacks its capability"
[[ $(stat -c '%U:%G %a' "$settings") == "root:twinlane 664" ]] || fail "settings modes $(stat -c '%U:%G %a' "$settings")"
grep -qx "LogPath=$logs" "$settings" || fail "$settings does not name $logs"
[[ $(stat -c '%G %a' "$logs") == "twinlane 2775" ]] || fail "log folder modes $(stat -c '%G %a' "$logs")"
for f in /usr/share/applications/com.korvel.{TwinlaneAdmin,Alarmkeeper}.desktop; do
  desktop-file-validate "$f" || fail "$f"
done
appstreamcli validate --no-net /usr/share/metainfo/com.korvel.*.metainfo.xml >/dev/null || fail "AppStream metainfo"
pass "group, helper rights, settings file, log folder, desktop entries and metainfo as set up"

useradd --no-create-home --shell /usr/sbin/nologin --groups twinlane "$user"
install -d -o "$user" -m 0700 "$work/home"
as_operator=(runuser -u "$user" -- env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8)

# Alarmkeeper in a network namespace of its own: only loopback, so its
# listener and the simulated server's alarm stay inside.
export user work bin
timeout 300 unshare --net bash -c '
  set -euo pipefail
  ip link set lo up
  runuser -u "$user" -- env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    /usr/bin/Alarmkeeper >"$work/ak.out" 2>&1 &
  ak=$!
  trap "kill -KILL $ak 2>/dev/null" EXIT
  for ((i = 0; i < 300; i++)); do
    [[ -n $(ss -Hltn "sport = :4040") ]] && break
    sleep 0.2
  done
  [[ -n $(ss -Hltn "sport = :4040") ]] || { cat "$work/ak.out" >&2; echo "Alarmkeeper is not listening on 4040" >&2; exit 1; }
  "$bin/twinlane-sim" --name PKGTEST-ALARM --alarm-host 127.0.0.1 --alarm-port 4040 --port 0 --http-port -1 \
    >"$work/sim.out" 2>&1 &
  sim=$!
  trap "kill -KILL $ak $sim 2>/dev/null" EXIT
  for ((i = 0; i < 300; i++)); do
    grep -qs PKGTEST-ALARM /var/log/alarmkeeper/akEvent_*.log && break
    sleep 0.2
  done
  grep -qs PKGTEST-ALARM /var/log/alarmkeeper/akEvent_*.log || { cat "$work/ak.out" "$work/sim.out" >&2; exit 1; }
' || fail "the installed Alarmkeeper did not log the alarm in $logs"
logfile=$(grep -ls PKGTEST-ALARM "$logs"/akEvent_*.log)
[[ $(stat -c %U "$logfile") == "$user" ]] || fail "$logfile not written by $user"
pass "the installed Alarmkeeper, run by $user, logged an alarm received over loopback in $logfile"

out=$("${as_operator[@]}" "$probe" /usr/bin/ 4041) || fail "settings probe: $out"
grep -qx "LogPath=$logs" <<<"$out" || fail "installed Alarmkeeper's log folder: $out"
out=$("${as_operator[@]}" "$probe" /usr/bin/ 4041) || fail "settings probe: $out"
grep -qx "Port=4041" <<<"$out" || fail "the port stored by $user did not come back: $out"
grep -Eq "(^|[\\/])Port=4041$" "$settings" || fail "$settings lacks the operator's Port=4041"
[[ $(stat -c '%U:%G %a' "$settings") == "root:twinlane 664" ]] || fail "the operator's write changed $settings to $(stat -c '%U:%G %a' "$settings")"
pass "a settings change by $user through Alarmkeeper's settings code is stored in $settings"

timeout 300 bash lab/lab.sh run --devices 2 --bin "$bin" -- bash "$PWD/scripts/package-test.sh" --in-lab "$work" \
  || fail "TwinlaneAdmin or the route helper in the lab"

# Remove keeps settings and logs; purge removes the settings, logs stay.
dpkg --remove twinlane >/dev/null
[[ -e $settings && -e $logfile && ! -e $helper ]] || fail "after remove: settings or logs gone, or the helper still there"
dpkg --purge twinlane >/dev/null
[[ ! -e $settings ]] || fail "$settings still there after purge"
[[ -e $logfile ]] || fail "the logs went with the purge"
! dpkg-statoverride --list "$helper" >/dev/null || fail "the helper's recorded modes outlived the purge"
pass "remove keeps settings and logs; purge removes the settings and keeps the logs"
