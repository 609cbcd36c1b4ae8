#!/usr/bin/env bash
# End to end over real UDP: olmsim serves two door controllers in namespace A; the real olmconfig
# runs offscreen in namespace B. It must search, select the first controller (a session and its
# device list and door blocks), and on SIGTERM close that session before it ends.
# Usage: e2e_olmconfig.sh OLMSIM OLMCONFIG SCENARIO      Exit 77 (skip) without namespaces.
set -uo pipefail
olmsim=$1
olmconfig=$2
scenario=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../e2e/netns.sh"

netns_setup || netns_skip

work=$(mktemp -d)
simlog=$work/olmsim.log
applog=$work/olmconfig.log
alive() { kill -0 "$1" 2>/dev/null; }
trap 'netns_cleanup "$work"' EXIT

netns_start_olmsim a "$simlog" "$olmsim" "$scenario" || { echo "FAIL: olmsim did not start"; exit 1; }

from="from $NETNS_IP_B:45389"
netns_start b "$work/olmconfig.pid" "$applog" env QT_QPA_PLATFORM=offscreen "$olmconfig"
app_pid=$started_pid
app_job=$started_job
# The selection reads door 1 (C with block index 1) last.
for _ in $(seq 100); do
    [ "$(grep -c "^K105_00042 C signed 2 $from\$" "$simlog")" -ge 2 ] && break
    alive "$app_pid" || break
    sleep 0.1
done
sleep 1.5   # a poll tick or two, with a keep-alive
kill -TERM "$app_pid"
status=0
for _ in $(seq 100); do
    alive "$app_pid" || break
    sleep 0.1
done
if alive "$app_pid"; then
    echo "FAIL: olmconfig did not end on SIGTERM"
    status=1
fi
wait "$app_job"
app_status=$?
sleep 0.3   # olmsim prints the last requests as it serves them

echo "--- olmsim"
cat "$simlog"
echo "--- olmconfig"
cat "$applog"
if [ "$app_status" -ne 0 ]; then
    echo "FAIL: olmconfig ended with status $app_status"
    status=1
fi
expect() {   # device, request (letter, kind, payload length), how many at least
    local n
    n=$(grep -c "^$1 $2 $from\$" "$simlog")
    if [ "$n" -lt "$3" ]; then
        echo "FAIL: olmsim served '$2' to $1 $n times, expected at least $3"
        status=1
    fi
}
expect_exactly() {   # device, request, how many
    local n
    n=$(grep -c "^$1 $2 $from\$" "$simlog")
    if [ "$n" -ne "$3" ]; then
        echo "FAIL: olmsim served '$2' to $1 $n times, expected exactly $3"
        status=1
    fi
}
expect K105_00042 'O unsigned 0' 3        # the search, the selection's poll, the session check
expect_exactly K105_00042 'T unsigned 4' 1   # one time frame for each controller the search found
expect K105_00042 'K unsigned 0' 1
expect K105_00042 'D signed 0' 1
expect K105_00042 'C signed 2' 2
expect_exactly K105_00042 's signed 0' 1  # the session closed once, at the end
expect K105_00043 'O unsigned 0' 1
expect_exactly K105_00043 'T unsigned 4' 1
for forbidden in 'K105_00043 K ' 'K105_00043 s ' 'bad-code'; do
    if grep -q "$forbidden" "$simlog"; then
        echo "FAIL: olmsim served '$forbidden' unexpectedly"
        status=1
    fi
done
# The close is the last request of the first controller.
if [ "$(grep '^K105_00042 ' "$simlog" | tail -n 1)" != "K105_00042 s signed 0 $from" ]; then
    echo "FAIL: the session close was not the last request"
    status=1
fi
exit $status
