#!/usr/bin/env bash
# Compiles the programs' Windows resource scripts with llvm-rc, as a Windows build compiles them,
# and checks that each compiled resource holds the project's version and the program's
# description. The scripts are UTF-8; llvm-rc is told so with /C 65001 (Windows' rc reads the
# script's own #pragma code_page). llvm-rc takes Windows-style options, so a path such as
# /check/... would be read as its /C option: "--" ends the options before the script.
#   usage: check-resources.sh LLVM_RC VERSION SCRIPT...
set -uo pipefail

rc=$1
version=$2
shift 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# The bytes of a text in UTF-16LE, as hex: how the resource stores its strings.
utf16hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n'; }

for script in "$@"; do
    name=$(basename "$script" .rc)
    if ! "$rc" -no-preprocess /C 65001 /FO "$work/$name.res" -- "$script"; then
        echo "FAIL: $script does not compile"
        failures=$((failures + 1))
        continue
    fi
    compiled=$(od -An -tx1 -v "$work/$name.res" | tr -d ' \n')
    description=$(sed -n 's/.*VALUE "FileDescription", "\(.*\)"/\1/p' "$script")
    for text in "$version" "$description" "$name.exe"; do
        if [[ "$compiled" != *"$(utf16hex "$text")"* ]]; then
            echo "FAIL: the resource of $name lacks \"$text\""
            failures=$((failures + 1))
        fi
    done
done
if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "the Windows resources of $# programs compile"
