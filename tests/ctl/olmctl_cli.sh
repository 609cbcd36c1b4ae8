#!/usr/bin/env bash
# The built olmctl's own parsing and exit statuses, on the in-process sample LAN (--demo).
# Usage: olmctl_cli.sh OLMCTL
set -uo pipefail
olmctl=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

checks=0
# expect STATUS PATTERN-ON-STDOUT-OR-STDERR ARGS...      (an empty pattern: nothing printed at all)
expect() {
    local want=$1 pattern=$2
    shift 2
    checks=$((checks + 1))
    "$olmctl" "$@" >"$work/out" 2>"$work/err"
    local got=$?
    local seen=0
    if [ -z "$pattern" ]; then
        [ ! -s "$work/out" ] && [ ! -s "$work/err" ] && seen=1
    else
        grep -q -- "$pattern" "$work/out" "$work/err" && seen=1
    fi
    if [ "$got" -ne "$want" ] || [ "$seen" -ne 1 ]; then
        echo "FAIL: olmctl $* -> $got (expected $want and '$pattern')"
        sed 's/^/  out: /' "$work/out" | head -5
        sed 's/^/  err: /' "$work/err" | head -5
        failures=$((failures + 1))
    else
        echo "ok   olmctl $* -> $got"
    fi
}

expect 2 '^Użycie: olmctl \[OPCJE\] POLECENIE'
expect 0 '^Użycie: olmctl \[OPCJE\] POLECENIE' --help
expect 0 '^  olmctl restore stary.json K105_01777 --map R107_00405=R107_00420 --yes$' --help
expect 0 '^olmctl 1\.3\.3$' --version
expect 2 'olmctl: Nieznana opcja\|olmctl: .*frobnicate' --frobnicate scan
expect 2 'nieznane polecenie: frobnicate' --demo frobnicate
expect 2 'wymaga opcji -o PLIK' --demo backup K105_01502
expect 2 'olmctl: --doors: oczekiwano numerów przejść 1-8' --demo restore a.json K105_01502 --doors 9
expect 2 'olmctl: --map R107_00405: oczekiwano STARE=NOWE' --demo restore a.json K105_01502 --map R107_00405
expect 2 'opcja --json nie dotyczy polecenia time' --demo --json time all
expect 0 '^K105_01502  192.168.1.22     Serwis$' --demo scan
expect 0 '"name": "K110_00077"' scan --demo --json
expect 0 '^  Rygiel: K105_01502:Out1$' --demo show K105_01502
expect 1 'nie znaleziono kontrolera K105_09999' --demo show K105_09999
expect 0 'zapisana w' --demo backup K105_01502 -o "$work/k.json"
expect 0 '' --demo diff "$work/k.json" K105_01502
expect 1 '^Urządzenia   R107_00401' --demo diff "$work/k.json" K105_01201
expect 0 '"equal": true' --demo --json diff K105_01502 "$work/k.json"
expect 0 'Próba: nic nie zapisano' --demo restore "$work/k.json" K105_01502
expect 1 'przywracanie odrzucone' --demo restore "$work/k.json" K105_01201 --yes
expect 1 'to nie jest poprawny JSON' --demo show "$work/out"
expect 0 'Raport K105_01201 zapisany' --demo report K105_01201 -o "$work/r.txt" --location 'Budynek A, piętro 2'
expect 0 'Do usunięcia (nieaktywne): R107_00405' --demo delete-inactive K105_01502
expect 0 'Zastąpiono: R107_00405 <-- R107_00420' --demo replace K105_01502 R107_00405 R107_00420 --yes

# The options of the network, and a trace read back.
expect 2 'olmctl: .*300.1.2.3' --demo scan --target 300.1.2.3
expect 2 'olmctl: .*/16' --demo scan --target 10.0.0.0/16
expect 2 'tylko jeden plik śladu' --demo scan --trace "$work/a.jsonl" --trace "$work/b.jsonl"
expect 2 'wymaga nazwy pliku' --demo scan --trace ""
expect 1 'brak/t.jsonl' --demo scan --trace "$work/brak/t.jsonl"
expect 0 '^K105_01502  192.168.1.22     Serwis$' --demo scan --target 192.168.1.0/24 --trace "$work/t.jsonl"
expect 0 'MMDO  K105_01502' trace-view "$work/t.jsonl"
expect 2 'opcja --demo nie dotyczy polecenia trace-view' --demo trace-view "$work/t.jsonl"
expect 1 'nie można otworzyć pliku' trace-view "$work/brak.jsonl"
checks=$((checks + 1))
# One readable line per traced datagram, the start line included; the search ended in no T.
if [ "$("$olmctl" trace-view "$work/t.jsonl" | wc -l)" -ne "$(wc -l < "$work/t.jsonl")" ] ||
   grep -q '"tag":"MMDT"' "$work/t.jsonl"; then
    echo "FAIL: the trace of a scan is not read back line for line, or holds a time frame"
    failures=$((failures + 1))
fi

# The report is cp1250 with CR LF, the location converted.
checks=$((checks + 1))
if ! printf 'Budynek A, pi\xeatro 2\r\n' | cmp -s - <(grep -a 'Lokalizacja' "$work/r.txt" | sed 's/^ Lokalizacja: //'); then
    echo "FAIL: the report's location line is not cp1250 with CR LF"
    failures=$((failures + 1))
fi
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
