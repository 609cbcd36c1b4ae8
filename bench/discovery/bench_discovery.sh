#!/usr/bin/env bash
# The search over real UDP in network namespaces that this script makes (nothing leaves them):
# the app's default route on link 1, where nothing answers; olmsim with 100 controllers behind
# link 2, found through its directed broadcast; one controller behind a router, found by a
# --target sweep of its /24. Prints each search's wall time beside its floor.
#   bench/discovery/bench_discovery.sh [BUILD_DIR]     (default build/default; needs root)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/default}
olmsim=$build/olmsim/olmsim
bench=$build/bench/discovery/bench_discovery
. "$root/tests/e2e/netns.sh"

if ! netns_prepare || ! netns_add app; then
    echo "bench_discovery: network namespaces are not available here (needs root)" >&2
    exit 1
fi
work=$(mktemp -d)
cleanup() {
    for pid in ${sim_pid:-} ${far_pid:-}; do kill "$pid" 2>/dev/null; done
    wait
    rm -rf "$work"
    netns_teardown
}
trap cleanup EXIT
netns_add router && netns_add sim && netns_add far &&
    netns_link app 10.231.1.1/24 router 10.231.1.254/24 &&
    netns_link app 10.231.2.1/24 sim 10.231.2.2/24 &&
    netns_link router 10.231.3.254/24 far 10.231.3.7/24 &&
    netns_in app ip route add default via 10.231.1.254 &&
    netns_in far ip route add default via 10.231.3.254 &&
    netns_in router sysctl -qw net.ipv4.ip_forward=1 || { echo "bench_discovery: namespaces failed" >&2; exit 1; }

{
    printf '{"controllers": ['
    for i in $(seq 1 100); do printf '{"type": 305, "serial": %d}%s' "$i" "$([ "$i" -lt 100 ] && echo ,)"; done
    printf ']}\n'
} > "$work/hundred.json"
echo '{"controllers": [{"type": 305, "serial": 900}]}' > "$work/far.json"
start() {   # namespace, scenario, log
    netns_start_olmsim "$1" "$3" "$olmsim" "$2" >&2 || { echo "bench_discovery: olmsim did not start" >&2; exit 1; }
}
start sim "$work/hundred.json" "$work/sim.log"; sim_pid=$started_pid
start far "$work/far.json" "$work/far.log"; far_pid=$started_pid

status=0
netns_in app "$bench" --expect 100 --runs 10 || status=1
kill "$sim_pid"; sim_pid=   # the set holds 100: the far one would be the 101st
netns_in app "$bench" --expect 1 --runs 10 --target 10.231.3.0/24 || status=1
exit $status
