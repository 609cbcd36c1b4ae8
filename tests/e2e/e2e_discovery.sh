#!/usr/bin/env bash
# End to end over real UDP: finding controllers from a machine with two network cards, and beyond
# a router. Four namespaces that the test makes:
#
#   app  --link 1--  router  --link 3--  far       far: olmsim with one controller, 10.231.3.7
#    |  10.231.1.0/24        10.231.3.0/24
#    +---link 2--  sim                             sim: olmsim with 100 controllers, 10.231.2.2
#        10.231.2.0/24
#
# The app's default route is on link 1, where nothing answers, so 255.255.255.255 leaves there;
# the 100 controllers are found only through the directed broadcast of link 2. The router
# forwards unicast and no broadcast, so the far controller is found only with --target.
# Checked: the link over the QUdpSocket endpoint (e2e_client) finds all 100 and only those 100
# get a time frame, a signed read works; with --target 10.231.3.0/24 the far one is found (once
# the 100 are gone: the set holds 100); the real olmconfig with --target and --trace finds it and
# writes a trace that olmctl trace-view reads.
# Usage: e2e_discovery.sh OLMSIM CLIENT OLMCONFIG OLMCTL     Exit 77 (skip) without namespaces.
set -uo pipefail
olmsim=$1
client=$2
olmconfig=$3
olmctl=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/netns.sh"

netns_prepare || netns_skip
netns_add app || netns_skip
work=$(mktemp -d)
trap 'netns_cleanup "$work"' EXIT

if ! { netns_add router && netns_add sim && netns_add far &&
       netns_link app 10.231.1.1/24 router 10.231.1.254/24 && link1=$netns_link_dev1 &&
       netns_link app 10.231.2.1/24 sim 10.231.2.2/24 &&
       netns_link router 10.231.3.254/24 far 10.231.3.7/24 &&
       netns_in app ip route add default via 10.231.1.254 &&
       netns_in far ip route add default via 10.231.3.254 &&
       netns_in router sysctl -qw net.ipv4.ip_forward=1; }; then
    echo "FAIL: setting up the namespaces failed"
    exit 1
fi
status=0
fail() { echo "FAIL: $*"; status=1; }

# The premise: 255.255.255.255 leaves the app through link 1 only.
route=$(netns_in app ip route get 255.255.255.255)
echo "$route" | grep -q "dev $link1 " || fail "255.255.255.255 is not routed out of link 1: $route"

# 100 controllers K105_00001 .. K105_00100 in mode "Serwis"; one far controller K105_00900.
{
    printf '{"controllers": ['
    for i in $(seq 1 100); do
        printf '{"type": 305, "serial": %d, "status": 2}%s' "$i" "$([ "$i" -lt 100 ] && echo ,)"
    done
    printf ']}\n'
} > "$work/hundred.json"
echo '{"controllers": [{"type": 305, "serial": 900, "status": 2}]}' > "$work/far.json"

start_sim() {   # namespace, scenario, log, extra options...
    local ns=$1 scenario=$2 log=$3
    shift 3
    netns_start_olmsim "$ns" "$log" "$olmsim" "$@" "$scenario" || { echo "FAIL: olmsim did not start"; exit 1; }
}
start_sim sim "$work/hundred.json" "$work/sim.log" --trace "$work/sim-trace.jsonl"
sim_pid=$started_pid
start_sim far "$work/far.json" "$work/far.log"

count() { grep -c "$1" "$2"; }
served() { count "^$1 $2 from 10.231.$3:45389\$" "$4"; }

# 1. No target: all 100 through the directed broadcast of link 2, each with one time frame.
echo "--- client, no target"
netns_in app "$client" --expect 100 | tee "$work/run1.log" | grep -v '^found ' || fail "client without a target"
grep -qx 'cards: 10.231.1.255 10.231.2.255' "$work/run1.log" || fail "the app's directed broadcasts: $(grep cards: "$work/run1.log")"
[ "$(count '^found K105_00[01][0-9][0-9] 10.231.2.2$' "$work/run1.log")" -eq 100 ] || fail "not all 100 listed at 10.231.2.2"
grep -q '^found K105_00900' "$work/run1.log" && fail "the far controller was found without a target"
sleep 0.3   # olmsim prints the last requests as it serves them
[ "$(count ' T unsigned 4 from ' "$work/sim.log")" -eq 100 ] || fail "$(count ' T unsigned 4 ' "$work/sim.log") time frames, expected 100"
for i in 00001 00050 00099; do
    # One copy of the search reached each (link 2's directed broadcast); one time frame each.
    [ "$(served K105_$i 'O unsigned 0' 2.1 "$work/sim.log")" -eq 1 ] || fail "K105_$i heard the search other than once"
    [ "$(served K105_$i 'T unsigned 4' 2.1 "$work/sim.log")" -eq 1 ] || fail "K105_$i got other than one time frame"
done
for req in 'K unsigned 0' 'D signed 0' 's signed 0'; do
    [ "$(served K105_00100 "$req" 2.1 "$work/sim.log")" -eq 1 ] || fail "K105_00100 was not served '$req' once"
done
[ -s "$work/far.log" ] && [ "$(count ' from ' "$work/far.log")" -eq 0 ] || fail "the far controller heard something"
grep -q 'bad-code' "$work/sim.log" && fail "a signed request did not verify"
# olmsim's own trace: the K reply it sent is there, its key material masked.
grep -q '"dir":"send".*"masked":true.*"tag":"MMDK"' "$work/sim-trace.jsonl" || fail "olmsim's trace lacks the masked K reply"

# 2. With the far range as a target, the far one is found and gets one time frame. The 100 leave
# first: the set holds at most 100 controllers, and the far one would be the 101st.
kill "$sim_pid"
echo "--- client, --target 10.231.3.0/24"
netns_in app "$client" --expect 1 --target 10.231.3.0/24 | tee "$work/run2.log" || fail "client with a target"
grep -qx 'found K105_00900 10.231.3.7' "$work/run2.log" || fail "the far controller was not found with its range"
sleep 0.3
[ "$(served K105_00900 'O unsigned 0' 1.1 "$work/far.log")" -ge 1 ] || fail "the far controller was not asked"
[ "$(served K105_00900 'T unsigned 4' 1.1 "$work/far.log")" -eq 1 ] || fail "the far controller got other than one time frame"
[ "$(served K105_00900 'D signed 0' 1.1 "$work/far.log")" -eq 1 ] || fail "no signed read of the far controller"

# 3. The real olmconfig with --target and --trace: the far controller listed, every datagram traced.
echo "--- olmconfig --target 10.231.3.7 --trace"
far_before=$(count ' from ' "$work/far.log")
netns_start app "$work/app.pid" "$work/app.log" env QT_QPA_PLATFORM=offscreen "$olmconfig" \
    --target 10.231.3.7 --trace "$work/app-trace.jsonl"
app_pid=$started_pid
app_job=$started_job
for _ in $(seq 100); do
    [ "$(count ' T unsigned 4 from ' "$work/far.log")" -ge 2 ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
sleep 1
kill -TERM "$app_pid"
wait "$app_job" || fail "olmconfig ended with status $?"
[ "$(count ' from ' "$work/far.log")" -gt "$far_before" ] || fail "olmconfig did not ask the far controller"
grep -q '"dir":"recv","ip":"10.231.3.7".*"tag":"MMDO"' "$work/app-trace.jsonl" || fail "the far reply is not in the trace"
grep -q '"dir":"send","ip":"10.231.2.255"' "$work/app-trace.jsonl" || fail "the directed broadcast is not in the trace"
grep -q '"dir":"send","ip":"10.231.3.7".*"tag":"MMDK"' "$work/app-trace.jsonl" || fail "olmconfig did not open a session"
"$olmctl" trace-view "$work/app-trace.jsonl" > "$work/app-trace.txt" || fail "olmctl trace-view could not read the trace"
grep -q '<-  10.231.3.7:45389 .* MMDO  K105_00900' "$work/app-trace.txt" || fail "olmctl trace-view does not show the far reply"
[ "$(wc -l < "$work/app-trace.txt")" -eq "$(wc -l < "$work/app-trace.jsonl")" ] || fail "olmctl trace-view skipped lines"
echo "--- olmconfig's trace (first lines)"
head -n 12 "$work/app-trace.txt"
echo "--- olmconfig"
cat "$work/app.log"
exit $status
