#!/usr/bin/env bash
# olmctl end to end over real UDP: olmsim serves the controllers of a scenario in namespace A;
# olmctl runs in namespace B. Scan, backup, a change, diff, restore, diff; a restore onto a
# controller with the same devices; a refused restore that writes nothing; Ctrl+C in the middle of
# a command, which still closes the session; and the wall times of a backup and a verified restore.
# Usage: e2e_olmctl.sh OLMSIM OLMCTL TIMING SCENARIO      Exit 77 (skip) without namespaces.
set -uo pipefail
olmsim=$1
olmctl=$2
timing=$3
scenario=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../e2e/netns.sh"

netns_setup || netns_skip

work=$(mktemp -d)
simlog=$work/olmsim.log
trap 'netns_cleanup "$work"' EXIT

netns_start_olmsim a "$simlog" "$olmsim" "$scenario" || { echo "FAIL: olmsim did not start"; exit 1; }

status=0
fail() { echo "FAIL: $*"; status=1; }
# ctl WANT ARGS...: runs olmctl in namespace B, keeps its output in $work/out and $work/err.
ctl() {
    local want=$1
    shift
    netns_exec_b "$olmctl" "$@" >"$work/out" 2>"$work/err"
    local got=$?
    echo "--- olmctl $* -> $got"
    cat "$work/out" "$work/err"
    [ "$got" -eq "$want" ] || fail "olmctl $* ended with $got, expected $want"
}

ctl 0 scan
for n in 1 2 3 4 5 6; do printf 'K105_0010%s  %-15s  Serwis\n' "$n" "$NETNS_IP_A"; done | diff - "$work/out" ||
    fail "scan did not list the six controllers in order"

ctl 0 backup K105_00101 -o "$work/a.json"

# A change to door 2, written by another restore: K105_00103's door 2 onto K105_00101.
ctl 0 backup K105_00103 -o "$work/c.json"
ctl 0 restore "$work/c.json" K105_00101 --doors 2 --yes
grep -qx 'Przejście 2: zapisane i sprawdzone' "$work/out" || fail "door 2 was not written"

ctl 1 diff "$work/a.json" K105_00101
printf '%s\n' 'Przejście 2  Nazwa             Drzwi 2         Zmieniony' \
    'Przejście 2  Rygiel            kontroler:Out2  Z103_00401:Out1' \
    'Przejście 2  Czujnik otwarcia  kontroler:In2   Z103_00401:In1' | diff - "$work/out" ||
    fail "diff did not show exactly the change of door 2"

ctl 0 restore "$work/a.json" K105_00101 --yes
[ "$(grep -c ': bez zmian$' "$work/out")" -eq 7 ] && grep -qx 'Przejście 2: zapisane i sprawdzone' "$work/out" ||
    fail "the restore did not write door 2 alone"
ctl 0 diff "$work/a.json" K105_00101
[ -s "$work/out" ] && fail "diff after the restore is not empty"

# Onto a second controller with the same devices: the same doors.
ctl 0 restore "$work/a.json" K105_00102 --yes
[ "$(grep -c ': zapisane i sprawdzone$' "$work/out")" -eq 8 ] || fail "the restore onto K105_00102 did not write 8 doors"
ctl 0 diff "$work/a.json" K105_00102

# A controller that lacks a device the snapshot uses: refused, nothing written.
ctl 1 restore "$work/a.json" K105_00104 --yes
grep -q 'urządzenia R107_00203 nie ma na magistrali K105_00104' "$work/err" || fail "the missing device was not named"
grep -q '^K105_00104 c ' "$simlog" && fail "olmsim received c for K105_00104"

# Timed: a backup, and a verified restore of 8 doors onto another controller with the same devices.
echo "--- e2e_ctl_timing"
netns_exec_b "$timing" K105_00101 K105_00106 "$work/t.json" "$work/t.keep.json" || fail "the timed restore failed"
ctl 0 diff "$work/t.json" K105_00106

# Ctrl+C while a slow controller is being read: the command stops and still closes its session.
netns_start b "$work/ctl.pid" "$work/int.log" "$olmctl" backup K105_00105 -o "$work/i.json"
ctl_pid=$started_pid
ctl_job=$started_job
for _ in $(seq 100); do
    grep -q '^K105_00105 D signed' "$simlog" && break
    sleep 0.05
done
kill -INT "$ctl_pid"
wait "$ctl_job"
int_status=$?
sleep 0.5   # the close goes out after the exchange in progress
echo "--- olmctl backup K105_00105, interrupted -> $int_status"
cat "$work/int.log"
[ "$int_status" -eq 1 ] || fail "the interrupted backup ended with $int_status, expected 1"
grep -q 'przerwano' "$work/int.log" || fail "the interrupted backup did not say so"
[ -e "$work/i.json" ] && fail "the interrupted backup wrote its file"
grep -q "^K105_00105 s signed 0 from $NETNS_IP_B:45389\$" "$simlog" || fail "olmsim did not receive s from the interrupted backup"

# No command sent a time frame, and every session opened was closed.
grep -q ' T unsigned ' "$simlog" && fail "a time frame was sent"
for dev in K105_00101 K105_00102 K105_00103 K105_00104 K105_00106; do
    [ "$(grep -c "^$dev K unsigned" "$simlog")" -eq "$(grep -c "^$dev s signed" "$simlog")" ] ||
        fail "$dev: not every session was closed"
done
grep -q 'bad-code' "$simlog" && fail "a signed request did not verify"
if [ "$status" -ne 0 ]; then
    echo "--- olmsim"
    cat "$simlog"
fi
exit $status
