#!/usr/bin/env bash
# End to end over real UDP: olmsim serves the sample set in namespace A; in namespace B the
# client searches, opens a session and reads signed, through the QUdpSocket endpoint.
# Usage: e2e_olmsim.sh OLMSIM CLIENT        Exit 77 (skip) where namespaces are not permitted.
set -uo pipefail
olmsim=$1
client=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/netns.sh"

netns_setup || netns_skip

work=$(mktemp -d)
log=$work/olmsim.log
trap 'netns_cleanup "$work"' EXIT

netns_start_olmsim a "$log" "$olmsim" || { echo "FAIL: olmsim did not start"; exit 1; }

netns_exec_b "$client" "$NETNS_IP_A"
status=$?
sleep 0.2   # olmsim prints the last requests as it serves them

echo "--- olmsim"
cat "$log"
for served in ' O unsigned 0 ' ' K unsigned 0 ' ' D signed 0 ' ' C signed 2 '; do
    if ! grep -q "^K105_01502${served}from $NETNS_IP_B:45389\$" "$log"; then
        echo "FAIL: olmsim did not serve '${served# }' for K105_01502 from $NETNS_IP_B"
        status=1
    fi
done
if grep -q 'bad-code' "$log"; then
    echo "FAIL: a signed request did not verify"
    status=1
fi
exit $status
