#!/usr/bin/env bash
# The built olmsim's own parsing: every command line it cannot follow ends it with status 2 and one
# line on stderr that names the problem, before it binds or serves anything.
# Usage: olmsim_cli.sh OLMSIM
set -uo pipefail
olmsim=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect STATUS PATTERN-ON-STDERR ARGS...
expect() {
    local want=$1 pattern=$2
    shift 2
    timeout 5 "$olmsim" "$@" >"$work/out" 2>"$work/err"
    local got=$?
    if [ "$got" -ne "$want" ] || ! grep -q -- "$pattern" "$work/err" ||
       { [ "$want" -eq 2 ] && [ "$(wc -l < "$work/err")" -ne 1 ]; }; then
        echo "FAIL: olmsim $* -> $got (expected $want and '$pattern' on stderr)"
        sed 's/^/  err: /' "$work/err" | head -5
        failures=$((failures + 1))
    else
        echo "ok   olmsim $* -> $got"
    fi
}

expect 2 '^olmsim: --port: .* 0$' --port 0
expect 2 '^olmsim: --port: .* 70000$' --port 70000
expect 2 '^olmsim: --bind: .* ::1$' --bind ::1
expect 2 'jeden plik scenariusza' a.json b.json
expect 2 '^olmsim: Opcja --trace wymaga nazwy pliku' --trace ""
expect 2 'tylko raz' --trace "$work/a.jsonl" --trace "$work/b.jsonl"
expect 2 '^olmsim: ' --nie-ma-takiej
expect 1 'brak.json' --port 1 "$work/brak.json"
[ ! -e "$work/a.jsonl" ] || { echo "FAIL: a refused command line wrote a trace"; failures=$((failures + 1)); }

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "every refused command line of olmsim ends with status 2 and one line"
