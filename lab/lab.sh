#!/usr/bin/env bash
# An isolated network of simulated servers, made of network namespaces:
#
#   lab.sh up [N]                 bring up a lab with N devices (default 5), leave it running
#   lab.sh down [ID]              tear down lab ID (default: every lab left up by "up")
#   lab.sh run [--devices N] -- CMD ARGS...
#                                 bring up, run CMD in the host namespace, tear down; exits with CMD's code
#   lab.sh list                   the labs that are up
#   lab.sh sweep                  remove the labs whose owner process is gone (also done by up and run)
#
# Options (before the command or after it):
#   --plan FILE      the devices, one line each (see README.md), in place of N
#   --device LINE    one device in the same form; repeatable, after the plan's
#   --second-link    the host gets eth1 (10.66.0.1/24) on a second bridge
#   --tun-link       the host gets tun0 (10.55.0.1/24), a link that is not Ethernet
#   --fake           devices are dsc-fake-device (discovery only), not twinlane-sim
#   --bin DIR        where the programs are (default $TWL_BIN_DIR, else ../build/bin)
#
# Topology: the bridges live in namespace ID-br, the program under test in
# ID-host (eth0 10.77.0.1/24), each device in ID-dK (eth0, MAC
# 02:4C:41:42:HH:LL). Without a plan, device K's kind cycles through: host
# subnet, foreign subnet, unconfigured, and a pair sharing one address (see
# README.md). Nothing is made in the machine's own namespace, and everything
# goes when the lab goes, also after a failure or a signal (trap); a lab
# whose owner was killed outright goes at the next sweep.
set -Eeuo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
STATE_ROOT=/run/twl-lab
NETNS_ETC=/etc/netns
HOST_ADDRESS=10.77.0.1/24
SECOND_ADDRESS=10.66.0.1/24
TUN_ADDRESS=10.55.0.1/24
FACTORY_ADDRESS=192.168.127.254
MAX_DEVICES=250
READY_LIMIT_TENTHS=600
BIN_DIR=${TWL_BIN_DIR:-$HERE/../build/bin}
DEVICE_KIND=sim

die() { echo "lab.sh: $*" >&2; exit 2; }

# The plan line of device K (1-based) when no plan is given. One address up
# per round of five, so that 250 devices stay below the shared addresses
# (10.77.0.200 and up) and within one octet.
default_line() {
    local k=$1 round=$((($1 - 1) / 5))
    case $(((k - 1) % 5)) in
    0) echo "same 10.77.0.$((11 + round)) -" ;;
    1) echo "foreign 10.88.0.$((12 + round)) -" ;;
    2) echo "unconfigured - -" ;;
    3 | 4) echo "shared 10.77.0.$((200 + round)) -" ;;
    esac
}

role_of() {
    case $1 in
    same) echo host-subnet ;;
    foreign) echo foreign-subnet ;;
    unconfigured) echo unconfigured ;;
    shared) echo shared-address ;;
    second) echo second-link ;;
    *) return 1 ;;
    esac
}

ns_exists() { [ -e "/run/netns/$1" ]; }

# "PID START": the pid with its start time names one process for good.
owner_of() { echo "$1 $(sed 's/.*) //' "/proc/$1/stat" | cut -d' ' -f20)"; }

owner_gone() {
    local pid start now
    read -r pid start <<<"$1" || true
    [[ $pid =~ ^[0-9]+$ ]] && [ -n "${start:-}" ] || return 1 # "up", or being made
    now=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f20) || true
    [ "$now" != "$start" ]
}

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
            [[ $ns == twl* && $ns != */* ]] || continue
            if ns_exists "$ns"; then ip netns delete "$ns" 2>/dev/null || true; fi
            rm -rf "${NETNS_ETC:?}/$ns"
        done
    fi
    rm -rf "$dir"
    echo "lab $id down" >&2
}

sweep() {
    local dir
    for dir in "$STATE_ROOT"/twl*; do
        [ -d "$dir" ] || continue
        if owner_gone "$(cat "$dir/owner" 2>/dev/null)"; then
            echo "lab.sh: removing lab $(basename "$dir"), its owner is gone" >&2
            teardown "$(basename "$dir")"
        fi
    done
}

# Splits a plan line into words, honouring quotes ('...' and "...") without
# running anything, into the array WORDS.
split_line() {
    WORDS=()
    local word
    while IFS= read -r -d '' word; do WORDS+=("$word"); done < <(xargs printf '%s\0' <<<"$1")
}

bring_up() {
    local id=$1 dir=$STATE_ROOT/$1
    local program
    BIN_DIR=$(cd "$BIN_DIR" 2>/dev/null && pwd) || die "no bin folder $BIN_DIR (pass --bin DIR or set TWL_BIN_DIR)"
    if [ "$DEVICE_KIND" = fake ]; then program=$BIN_DIR/dsc-fake-device; else program=$BIN_DIR/twinlane-sim; fi
    [ -x "$program" ] || die "no $program (build it, or pass --bin DIR)"
    mkdir -p "$dir"
    owner_of $$ >"$dir/owner"
    : >"$dir/namespaces"
    : >"$dir/pids"
    local br=$id-br host=$id-host
    add_ns() { echo "$1" >>"$dir/namespaces"; ip netns add "$1"; ip -n "$1" link set lo up; }
    add_ns "$br"
    ip -n "$br" link add br0 type bridge
    ip -n "$br" link set br0 up
    # connect NS IFNAME PORT MAC BRIDGE: a veth from the bridge into NS.
    connect() {
        ip -n "$br" link add "$3" type veth peer name "$2" netns "$1"
        ip -n "$br" link set "$3" master "$5" up
        [ -z "$4" ] || ip -n "$1" link set "$2" address "$4"
        ip -n "$1" link set "$2" up
    }
    add_ns "$host"
    connect "$host" eth0 vhost "" br0
    ip -n "$host" addr add "$HOST_ADDRESS" dev eth0
    if [ "$SECOND_LINK" = 1 ]; then
        ip -n "$br" link add br1 type bridge
        ip -n "$br" link set br1 up
        connect "$host" eth1 vhost2 "" br1
        ip -n "$host" addr add "$SECOND_ADDRESS" dev eth1
    fi
    if [ "$TUN_LINK" = 1 ]; then
        ip -n "$host" tuntap add dev tun0 mode tun
        ip -n "$host" addr add "$TUN_ADDRESS" dev tun0
        ip -n "$host" link set tun0 up
    fi

    local k count=${#PLAN[@]} hosts=$'127.0.0.1\tlocalhost\n'
    : >"$dir/devices"
    printf '# namespace\treported\treached\tMAC\tkind\tname\tcontrol\tframe-log\tpid\n' >"$dir/plan"
    for ((k = 1; k <= count; k++)); do
        split_line "${PLAN[k - 1]}"
        [ ${#WORDS[@]} -ge 3 ] || die "device $k: needs KIND ADDRESS NAME: ${PLAN[k - 1]}"
        local kind=${WORDS[0]} reported=${WORDS[1]} name=${WORDS[2]} role bridge=br0 reach
        role=$(role_of "$kind") || die "device $k: unknown kind $kind (same, foreign, unconfigured, shared, second)"
        [ "$name" != - ] || name=Q6120-$k
        if [ "$kind" = unconfigured ]; then
            reported=0.0.0.0 reach=$FACTORY_ADDRESS
        else
            [[ $reported =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "device $k: bad address $reported"
            reach=$reported
        fi
        if [ "$kind" = second ]; then
            [ "$SECOND_LINK" = 1 ] || die "device $k: kind second needs --second-link"
            bridge=br1
        fi
        local password="" fault="" restart="" commit="" alarm="" frames=$dir/d$k.frames control=$dir/d$k.control word
        for word in "${WORDS[@]:3}"; do
            case $word in
            password=*) password=${word#*=} ;;
            fault=*) fault=${word#*=} ;;
            restart=*) restart=${word#*=} ;;
            commit-delay=*) commit=${word#*=} ;;
            alarm-host=*) alarm=${word#*=} ;;
            frame-log=*) frames=${word#*=} ;;
            control=*) control=${word#*=} ;;
            *) die "device $k: unknown setting $word" ;;
            esac
        done
        local ns=$id-d$k mac
        mac=$(printf '02:4C:41:42:%02X:%02X' $((k >> 8)) $((k & 255)))
        add_ns "$ns"
        connect "$ns" eth0 "v$k" "$mac" "$bridge"
        ip -n "$ns" addr add "$reach/24" dev eth0
        # Answers go back over the link the request came in on, whatever the
        # asker's subnet, as a simple embedded stack does.
        ip -n "$ns" route replace default dev eth0
        local args
        if [ "$DEVICE_KIND" = fake ]; then
            args=(--device "eth0,-,$reported,0x80006120,0x6120")
        else
            args=(--interface eth0 --ip "$reported" --bind 0.0.0.0 --name "$name" --manage-interface
                --ready-file "$dir/d$k.ready" --control "$control" --frame-log "$frames")
            [ -z "$password" ] || args+=(--password "$password")
            [ -z "$fault" ] || args+=(--fault "$fault")
            [ -z "$restart" ] || args+=(--restart-time "$restart")
            [ -z "$commit" ] || args+=(--commit-delay "$commit")
            [ -z "$alarm" ] || args+=(--alarm-host "$alarm")
        fi
        ip netns exec "$ns" "$program" "${args[@]}" >"$dir/d$k.log" 2>&1 &
        echo $! >>"$dir/pids"
        echo "$ns $reported $mac $role pid $!" >>"$dir/devices"
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$ns" "$reported" "$reach" "$mac" "$kind" "$name" \
            "$control" "$frames" "$!" >>"$dir/plan"
        # Only names a resolver takes; the others stay out of the hosts file.
        if [[ $name =~ ^[A-Za-z0-9][A-Za-z0-9.-]*$ ]]; then hosts+="$reach"$'\t'"$name"$'\n'; fi
    done
    # "ip netns exec" shows this file as /etc/hosts inside the host namespace.
    mkdir -p "$NETNS_ETC/$host"
    printf '%s' "$hosts" >"$NETNS_ETC/$host/hosts"
    # Ready when every device says so: a ready file (sim) or a "ready" line (fake).
    for ((k = 1; k <= count; k++)); do
        local n=0
        until [ -e "$dir/d$k.ready" ] || grep -qx ready "$dir/d$k.log" 2>/dev/null; do
            kill -0 "$(sed -n "${k}p" "$dir/pids")" 2>/dev/null || die "device $k ended: $(tail -n 5 "$dir/d$k.log")"
            n=$((n + 1))
            [ $n -lt $READY_LIMIT_TENTHS ] || die "device $k not ready after $((READY_LIMIT_TENTHS / 10)) s"
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

# PLAN: the plan file's lines, then --device lines; else N default devices.
make_plan() {
    if [ -n "$PLAN_FILE" ]; then
        [ -r "$PLAN_FILE" ] || die "no plan file $PLAN_FILE"
        local line
        while IFS= read -r line || [ -n "$line" ]; do
            [[ $line =~ ^[[:space:]]*(#|$) ]] || PLAN+=("$line")
        done <"$PLAN_FILE"
    fi
    PLAN+=("${DEVICE_LINES[@]}")
    if [ -z "$PLAN_FILE" ] && [ ${#DEVICE_LINES[@]} -eq 0 ]; then
        if ! [[ $count =~ ^[0-9]+$ ]] || [ "$count" -gt $MAX_DEVICES ]; then die "device count 0..$MAX_DEVICES"; fi
        local k
        for ((k = 1; k <= count; k++)); do PLAN+=("$(default_line "$k")"); done
    fi
    [ ${#PLAN[@]} -le $MAX_DEVICES ] || die "at most $MAX_DEVICES devices"
}

args=()
count=5
PLAN=()
PLAN_FILE=
DEVICE_LINES=()
SECOND_LINK=0
TUN_LINK=0
while [ $# -gt 0 ]; do
    case $1 in
    --fake) DEVICE_KIND=fake ;;
    --bin) BIN_DIR=$2; shift ;;
    --devices) count=$2; shift ;;
    --plan) PLAN_FILE=$2; shift ;;
    --device) DEVICE_LINES+=("$2"); shift ;;
    --second-link) SECOND_LINK=1 ;;
    --tun-link) TUN_LINK=1 ;;
    --) shift; break ;;
    *) args+=("$1") ;;
    esac
    shift
done
[ ${#args[@]} -gt 0 ] || die "usage: lab.sh up [N] | down [ID] | run [--devices N] -- CMD... | list | sweep"
[ "$(id -u)" = 0 ] || die "needs root (network namespaces)"
command -v ip >/dev/null || die "needs the ip tool (iproute2)"
mkdir -p "$STATE_ROOT"

case ${args[0]} in
up)
    [ ${#args[@]} -lt 2 ] || count=${args[1]}
    make_plan
    sweep
    id=$(new_id)
    trap 'teardown "$id"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    bring_up "$id"
    # Left up on purpose: no sweep takes it, only "down".
    echo up >"$STATE_ROOT/$id/owner"
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
        [ ! -f "$dir/devices" ] || sed 's/^/  /' "$dir/devices"
    done
    ;;
sweep)
    sweep
    ;;
run)
    [ $# -gt 0 ] || die "run needs -- CMD..."
    make_plan
    sweep
    id=$(new_id)
    trap 'teardown "$id"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    bring_up "$id"
    # In the background so that a signal ends the wait at once (bash runs
    # traps only between commands); teardown ends the command with the lab.
    LAB_ID=$id LAB_HOST_NS=$id-host LAB_DEVICES=$STATE_ROOT/$id/devices LAB_PLAN=$STATE_ROOT/$id/plan \
        ip netns exec "$id-host" "$@" &
    command_pid=$!
    set +e
    wait "$command_pid"
    code=$?
    set -e
    exit $code
    ;;
*) die "unknown command ${args[0]}" ;;
esac
