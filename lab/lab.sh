#!/usr/bin/env bash
# An isolated network of simulated servers, made of network namespaces:
#
#   lab.sh up [N]                 bring up a lab with N devices (default 5), leave it running
#   lab.sh down [ID]              tear down lab ID (default: every lab left up by "up")
#   lab.sh run [--devices N] -- CMD ARGS...
#                                 bring up, run CMD in the host namespace, tear down; exits with CMD's code
#   lab.sh list                   the labs that are up
#
# Options (before the command or after it): --fake  devices are dsc-fake-device
# (discovery only) instead of twinlane-sim; --bin DIR  where the programs are
# (default $TWL_BIN_DIR, else ../build/bin beside this script).
#
# Topology: the bridge lives in namespace ID-br, the program under test in
# ID-host (eth0 10.77.0.1/24), each device in ID-dK (eth0, MAC 02:4C:41:42:00:K).
# Device K's kind cycles through: host subnet, foreign subnet, unconfigured,
# and a pair sharing one address (see README.md). Nothing is made in the
# machine's own namespace, and everything goes when the lab goes, also after
# a failure or a signal (trap).
set -Eeuo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
STATE_ROOT=/run/twl-lab
HOST_ADDRESS=10.77.0.1/24
BIN_DIR=${TWL_BIN_DIR:-$HERE/../build/bin}
DEVICE_KIND=sim

die() { echo "lab.sh: $*" >&2; exit 2; }

# Address (empty: none), reported address and role of device K (1-based).
device_plan() {
    local k=$1
    # One address up per round of five, so that 250 devices stay below the
    # shared addresses (10.77.0.200 and up) and within one octet.
    local round=$(((k - 1) / 5))
    case $(((k - 1) % 5)) in
    0) echo "10.77.0.$((11 + round))/24 10.77.0.$((11 + round)) host-subnet" ;;
    1) echo "10.88.0.$((12 + round))/24 10.88.0.$((12 + round)) foreign-subnet" ;;
    2) echo "192.168.127.254/24 0.0.0.0 unconfigured" ;;
    3 | 4) echo "10.77.0.$((200 + round))/24 10.77.0.$((200 + round)) shared-address" ;;
    esac
}

ns_exists() { [ -e "/run/netns/$1" ]; }

# The pids of every process inside the lab's namespaces: all of them were
# started there by this lab, and none of anyone else's can be among them.
lab_pids() {
    local ns
    while read -r ns; do
        if ns_exists "$ns"; then ip netns pids "$ns" 2>/dev/null || true; fi
    done <"$1/namespaces"
}

teardown() {
    local id=$1 dir=$STATE_ROOT/$1 pid ns
    [ -d "$dir" ] || return 0
    if [ -f "$dir/namespaces" ]; then
        for pid in $(lab_pids "$dir"); do kill -TERM "$pid" 2>/dev/null || true; done
        for _ in $(seq 20); do
            [ -n "$(lab_pids "$dir")" ] || break
            sleep 0.1
        done
        for pid in $(lab_pids "$dir"); do kill -KILL "$pid" 2>/dev/null || true; done
        tac "$dir/namespaces" | while read -r ns; do
            if ns_exists "$ns"; then ip netns delete "$ns" 2>/dev/null || true; fi
        done
    fi
    rm -rf "$dir"
    echo "lab $id down" >&2
}

bring_up() {
    local id=$1 count=$2 dir=$STATE_ROOT/$1
    local program
    BIN_DIR=$(cd "$BIN_DIR" 2>/dev/null && pwd) || die "no bin folder $BIN_DIR (pass --bin DIR or set TWL_BIN_DIR)"
    if [ "$DEVICE_KIND" = fake ]; then program=$BIN_DIR/dsc-fake-device; else program=$BIN_DIR/twinlane-sim; fi
    [ -x "$program" ] || die "no $program (build it, or pass --bin DIR)"
    mkdir -p "$dir"
    echo "$3" >"$dir/owner"
    : >"$dir/namespaces"
    : >"$dir/pids"
    local br=$id-br host=$id-host
    add_ns() { echo "$1" >>"$dir/namespaces"; ip netns add "$1"; ip -n "$1" link set lo up; }
    add_ns "$br"
    ip -n "$br" link add br0 type bridge
    ip -n "$br" link set br0 up
    # connect NS IFNAME PORT [MAC]: a veth from the bridge into NS.
    connect() {
        ip -n "$br" link add "$3" type veth peer name "$2" netns "$1"
        ip -n "$br" link set "$3" master br0 up
        [ -z "${4:-}" ] || ip -n "$1" link set "$2" address "$4"
        ip -n "$1" link set "$2" up
    }
    add_ns "$host"
    connect "$host" eth0 vhost
    ip -n "$host" addr add "$HOST_ADDRESS" dev eth0

    local k
    : >"$dir/devices"
    for k in $(seq "$count"); do
        local ns=$id-d$k mac
        mac=$(printf '02:4C:41:42:%02X:%02X' $((k >> 8)) $((k & 255)))
        read -r address reported role < <(device_plan "$k")
        add_ns "$ns"
        connect "$ns" eth0 "v$k" "$mac"
        [ "$address" = - ] || ip -n "$ns" addr add "$address" dev eth0
        # Answers go back over the link the request came in on, whatever the
        # asker's subnet, as a simple embedded stack does.
        ip -n "$ns" route replace default dev eth0
        local args
        if [ "$DEVICE_KIND" = fake ]; then
            args=(--device "eth0,-,$reported,0x80006120,0x6120")
        else
            args=(--interface eth0 --ip "$reported" --bind 0.0.0.0 --name "Q6120-$k" --manage-interface
                --ready-file "$dir/d$k.ready")
        fi
        ip netns exec "$ns" "$program" "${args[@]}" >"$dir/d$k.log" 2>&1 &
        echo $! >>"$dir/pids"
        echo "$ns $reported $mac $role pid $!" >>"$dir/devices"
    done
    # Ready when every device says so: a ready file (sim) or a "ready" line (fake).
    for k in $(seq "$count"); do
        local n=0
        until [ -e "$dir/d$k.ready" ] || grep -qx ready "$dir/d$k.log" 2>/dev/null; do
            kill -0 "$(sed -n "${k}p" "$dir/pids")" 2>/dev/null || die "device $k ended: $(tail -n 5 "$dir/d$k.log")"
            n=$((n + 1))
            [ $n -lt 100 ] || die "device $k not ready after 10 s"
            sleep 0.1
        done
    done
    # One write, so that whoever watches for this line gets the devices with it.
    local list
    list=$(sed 's/^/  /' "$dir/devices")
    printf 'lab %s up: host namespace %s (%s), %d device(s):\n%s\n' "$id" "$host" "$HOST_ADDRESS" "$count" "$list" >&2
}

# The pid alone may be one of a lab left up by an earlier "up" that has
# ended: its state and namespaces must not be taken over.
new_id() {
    local id=twl$$ n=0
    while [ -e "$STATE_ROOT/$id" ] || ns_exists "$id-br" || ns_exists "$id-host"; do
        n=$((n + 1))
        id=twl$$-$n
    done
    echo "$id"
}

check_count() {
    if ! [[ $count =~ ^[0-9]+$ ]] || [ "$count" -gt 250 ]; then die "device count 0..250"; fi
}

args=()
count=5
while [ $# -gt 0 ]; do
    case $1 in
    --fake) DEVICE_KIND=fake ;;
    --bin) BIN_DIR=$2; shift ;;
    --devices) count=$2; shift ;;
    --) shift; break ;;
    *) args+=("$1") ;;
    esac
    shift
done
[ ${#args[@]} -gt 0 ] || die "usage: lab.sh up [N] | down [ID] | run [--devices N] -- CMD... | list"
[ "$(id -u)" = 0 ] || die "needs root (network namespaces)"
command -v ip >/dev/null || die "needs the ip tool (iproute2)"
mkdir -p "$STATE_ROOT"

case ${args[0]} in
up)
    [ ${#args[@]} -lt 2 ] || count=${args[1]}
    check_count
    id=$(new_id)
    trap 'teardown "$id"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    bring_up "$id" "$count" up
    trap - EXIT INT TERM
    echo "$id"
    ;;
down)
    if [ ${#args[@]} -ge 2 ]; then
        teardown "${args[1]}"
    else
        # Only labs left up by "up": a lab of a running "run" belongs to it.
        for dir in "$STATE_ROOT"/twl*; do
            if [ "$(cat "$dir/owner" 2>/dev/null)" = up ]; then teardown "$(basename "$dir")"; fi
        done
    fi
    ;;
list)
    for dir in "$STATE_ROOT"/twl*; do
        [ -d "$dir" ] || continue
        basename "$dir"
        sed 's/^/  /' "$dir/devices"
    done
    ;;
run)
    [ $# -gt 0 ] || die "run needs -- CMD..."
    check_count
    id=$(new_id)
    trap 'teardown "$id"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    bring_up "$id" "$count" $$
    # In the background so that a signal ends the wait at once (bash runs
    # traps only between commands); teardown ends the command with the lab.
    LAB_ID=$id LAB_HOST_NS=$id-host LAB_DEVICES=$STATE_ROOT/$id/devices ip netns exec "$id-host" "$@" &
    command_pid=$!
    set +e
    wait "$command_pid"
    code=$?
    set -e
    exit $code
    ;;
*) die "unknown command ${args[0]}" ;;
esac
