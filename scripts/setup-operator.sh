#!/usr/bin/env bash
# Run once as root on the operator's machine, after a build:
#
#   scripts/setup-operator.sh <user> [build dir, default: build]
#
# TwinlaneAdmin and Alarmkeeper then run as that user, never as root:
# - the group twinlane is created and the user added to it (log in again
#   for it to take effect);
# - twl-route-helper, the one part that writes host routes and neighbour
#   entries, is installed as /usr/local/libexec/twinlane/twl-route-helper,
#   owned by root and the group twinlane, mode 0750 (only root and the
#   group may run it), with CAP_NET_ADMIN as its file capability;
# - the machine-wide settings file /etc/korvel/machine.ini and the alarm log
#   folder /var/log/alarmkeeper are made writable for the group.
# Safe to run again, also for further users.
set -euo pipefail
cd "$(dirname "$0")/.."

die() {
  echo "setup-operator: $*" >&2
  exit 1
}

(($# >= 1 && $# <= 2)) || die "usage: $0 <user> [build dir]"
user=$1
build=${2:-build}
((EUID == 0)) || die "run this as root"
getent passwd "$user" >/dev/null || die "no user '$user'"
[[ $(id -u "$user") != 0 ]] || die "the operator must not be root"
helper="$build/bin/twl-route-helper"
[[ -x $helper ]] || die "no $helper: build first (scripts/build.sh $build)"
command -v setcap >/dev/null || die "setcap is missing (apt-get install libcap2-bin)"

# The steps the package's post-install step takes too.
. packaging/machine-setup.sh
libexec=/usr/local/libexec/twinlane
twl_create_group
usermod -a -G "$twl_group" "$user"

install -d -o root -g root -m 0755 "$libexec"
install -m 0755 "$helper" "$libexec/twl-route-helper"
twl_helper_rights "$libexec/twl-route-helper"
twl_machine_settings

echo "Done: $user is in the group $twl_group (log in again), the route helper is $libexec/twl-route-helper."
echo "Start the programs as $user: $build/bin/TwinlaneAdmin, $build/bin/Alarmkeeper."
