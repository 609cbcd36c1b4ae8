#!/usr/bin/env bash
# Two network namespaces joined by a veth pair, for end-to-end tests over real UDP that never
# touch the host's own network. Source this file, then:
#
#   netns_setup || exit 77      # 77: not permitted here (the caller reports a skip); returns once
#                               # both veth ends are up
#   netns_exec_a CMD ARGS...    # run in namespace A (address $NETNS_IP_A)
#   netns_exec_b CMD ARGS...    # run in namespace B (address $NETNS_IP_B)
#   netns_start_olmsim a|b LOG OLMSIM ARGS...
#                               # start olmsim so and wait until it serves (1: it did not)
#   netns_start a|b PIDFILE LOG CMD ARGS...
#                               # start CMD in the background in A or B; sets started_job (the
#                               # wrapping subshell, whose status is CMD's) and started_pid (CMD
#                               # itself, which is what signals must reach)
#   netns_teardown              # also runs by itself when the shell exits; a caller that sets
#                               # its own EXIT trap calls it from there
#
# Names carry the PID of the shell, so parallel runs do not meet. Inside each namespace the
# loopback is up, the veth end holds a /24 address, and 255.255.255.255 is routed out through
# the veth, so a broadcast reaches the other namespace and nothing else.
#
# Topologies of more namespaces, made after netns_setup or instead of it (then call
# netns_prepare first, which checks that namespaces are permitted and sets the traps):
#   netns_add NAME                  a namespace with its loopback up (NAME: letters and digits)
#   netns_link NAME1 ADDR1/LEN NAME2 ADDR2/LEN
#                                   a veth pair between two of them, each end with its address
#                                   (and the broadcast address of its subnet), up; prints nothing
#                                   and sets netns_link_dev1 and netns_link_dev2 to the ends' names
#   netns_in NAME CMD ARGS...       run CMD in it ("a" and "b" name the pair of netns_setup)
#   netns_start NAME ...            as above, for any of them

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    echo "netns.sh is a library: source it from a bash script (see its first lines)" >&2
    exit 2
fi

NETNS_PREFIX=${NETNS_PREFIX:-olm}
NETNS_A="${NETNS_PREFIX}$$a"
NETNS_B="${NETNS_PREFIX}$$b"
NETNS_VETH_A="${NETNS_PREFIX}v$$a"   # interface names are limited to 15 characters
NETNS_VETH_B="${NETNS_PREFIX}v$$b"
NETNS_IP_A=${NETNS_IP_A:-10.231.0.1}
NETNS_IP_B=${NETNS_IP_B:-10.231.0.2}
NETNS_PREFIXLEN=24
NETNS_READY=0
NETNS_MADE=()        # every namespace made, for the teardown
NETNS_LINKS=0

netns_teardown() {
    # Whatever still runs inside the namespaces (a program started in the background, whose $!
    # names only the wrapping shell) ends with them.
    local ns pids
    for ns in "${NETNS_MADE[@]}"; do
        pids=$(ip netns pids "$ns" 2>/dev/null) || continue
        [ -n "$pids" ] || continue
        kill $pids 2>/dev/null || true
        sleep 0.2
        pids=$(ip netns pids "$ns" 2>/dev/null)
        [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    done
    # Deleting a namespace removes its end of the veth, and with it the pair.
    for ns in "${NETNS_MADE[@]}"; do
        ip netns del "$ns" 2>/dev/null || true
    done
    ip link del "$NETNS_VETH_A" 2>/dev/null || true
    NETNS_MADE=()
    NETNS_READY=0
}

netns_prepare() {
    if ! command -v ip >/dev/null 2>&1; then
        echo "netns: the ip command (iproute2) is missing" >&2
        return 1
    fi
    trap netns_teardown EXIT
    trap 'netns_teardown; exit 130' INT TERM
}

netns_name() {   # a|b|NAME
    case $1 in
        a) echo "$NETNS_A" ;;
        b) echo "$NETNS_B" ;;
        *) echo "${NETNS_PREFIX}$$$1" ;;
    esac
}

netns_add() {
    local ns
    ns=$(netns_name "$1")
    if ! ip netns add "$ns" 2>/dev/null; then
        echo "netns: creating a network namespace is not permitted here (needs root or CAP_SYS_ADMIN)" >&2
        return 1
    fi
    NETNS_MADE+=("$ns")
    ip -n "$ns" link set lo up
}

netns_link() {   # NAME1 ADDR1/LEN NAME2 ADDR2/LEN
    local ns1 ns2
    ns1=$(netns_name "$1")
    ns2=$(netns_name "$3")
    NETNS_LINKS=$((NETNS_LINKS + 1))
    netns_link_dev1="${NETNS_PREFIX}$$l${NETNS_LINKS}x"
    netns_link_dev2="${NETNS_PREFIX}$$l${NETNS_LINKS}y"
    ip link add "$netns_link_dev1" type veth peer name "$netns_link_dev2" &&
    ip link set "$netns_link_dev1" netns "$ns1" &&
    ip link set "$netns_link_dev2" netns "$ns2" &&
    ip -n "$ns1" addr add "$2" broadcast + dev "$netns_link_dev1" &&
    ip -n "$ns2" addr add "$4" broadcast + dev "$netns_link_dev2" &&
    ip -n "$ns1" link set "$netns_link_dev1" up &&
    ip -n "$ns2" link set "$netns_link_dev2" up &&
    netns_wait_up "$ns1" "$netns_link_dev1" &&
    netns_wait_up "$ns2" "$netns_link_dev2"
}

# The kernel takes a veth end into service (carrier, queueing) a moment after it is set up; a
# datagram sent before that, a broadcast above all, is dropped. Waits up to 5 s for it.
netns_wait_up() {   # NAMESPACE DEVICE
    local _
    for _ in $(seq 100); do
        [ "$(ip netns exec "$1" cat "/sys/class/net/$2/operstate" 2>/dev/null)" = up ] && return 0
        sleep 0.05
    done
    echo "netns: $2 in $1 did not come up" >&2
    return 1
}

netns_in() {   # NAME CMD...
    local ns
    ns=$(netns_name "$1")
    shift
    ip netns exec "$ns" "$@"
}

# The end of a test, on every exit: what still runs in the namespaces ends, the namespaces go, and
# the test's folder with them.
#   work=$(mktemp -d); trap 'netns_cleanup "$work"' EXIT
netns_cleanup() {   # folder
    netns_teardown
    wait
    rm -rf "$1"
}

# Ends the test as skipped (exit 77) where namespaces are not permitted:
#   netns_setup || netns_skip
netns_skip() {
    echo "SKIP: network namespaces are not available here, so the end-to-end test cannot run"
    exit 77
}

netns_setup() {
    netns_prepare || return 1
    netns_add a || return 1
    if ! { netns_add b &&
           ip link add "$NETNS_VETH_A" type veth peer name "$NETNS_VETH_B" &&
           ip link set "$NETNS_VETH_A" netns "$NETNS_A" &&
           ip link set "$NETNS_VETH_B" netns "$NETNS_B" &&
           netns_configure "$NETNS_A" "$NETNS_VETH_A" "$NETNS_IP_A" &&
           netns_configure "$NETNS_B" "$NETNS_VETH_B" "$NETNS_IP_B" &&
           netns_wait_up "$NETNS_A" "$NETNS_VETH_A" &&
           netns_wait_up "$NETNS_B" "$NETNS_VETH_B"; }; then
        echo "netns: setting up the namespaces failed" >&2
        netns_teardown
        return 1
    fi
    NETNS_READY=1
}

netns_configure() {
    local ns=$1 dev=$2 addr=$3
    ip -n "$ns" link set lo up &&
    ip -n "$ns" addr add "$addr/$NETNS_PREFIXLEN" broadcast + dev "$dev" &&
    ip -n "$ns" link set "$dev" up &&
    ip -n "$ns" route add 255.255.255.255/32 dev "$dev"
}

netns_exec_a() { netns_in a "$@"; }
netns_exec_b() { netns_in b "$@"; }

# $! of a command started through the namespace helper names only the subshell around it, so the
# program writes its own process id into the pid file.
netns_start() {   # a|b|NAME, pid file, log, command...
    local ns=$1 pidfile=$2 log=$3
    shift 3
    netns_in "$ns" sh -c 'echo $$ > "$0"; exec "$@"' "$pidfile" "$@" > "$log" 2>&1 &
    started_job=$!
    for _ in $(seq 50); do
        [ -s "$pidfile" ] && break
        sleep 0.05
    done
    started_pid=$(cat "$pidfile" 2>/dev/null)
}

# Starts olmsim in a namespace, as netns_start does, and waits until it serves: returns 1, with
# its log on stdout, when it did not start. Sets started_job and started_pid as netns_start does.
netns_start_olmsim() {   # a|b|NAME, log, olmsim, olmsim's arguments...
    local ns=$1 log=$2
    shift 2
    netns_start "$ns" "$log.pid" "$log" "$@"
    for _ in $(seq 50); do
        grep -q '^olmsim: serving' "$log" && return 0
        kill -0 "$started_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "olmsim did not start:"
    cat "$log"
    return 1
}
