#!/bin/sh
# The large-file test: sorts LONGTEST_MIB MiB (default 3072) of records with the zara-sort of build directory $1
# (LONGTEST_CONTROL overrides its control statements) and checks that the output holds exactly the records made,
# keys ascending and equal keys in arrival order, and that no work file is left. The data goes to LONGTEST_DIR
# (default $1/longtest-data) and is deleted afterwards.
set -eu
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
dir=${LONGTEST_DIR:-$build/longtest-data} n=$((${LONGTEST_MIB:-3072} * 32768)) start=$(date +%s)
mkdir -p "$dir" && trap 'rm -rf "$dir"' EXIT
"$build/tests/longtest/longtest_tool" $n > "$dir/in"
(cd "$dir" && "$build/zara-sort" -v -c "${LONGTEST_CONTROL:-SORT (1,7,CH,A) CORE (0)}" -o out in)
awk -v n=$n 'substr($0, 1, 20) <= last || $1 != sprintf("%07d", $2 * 48271 % 2147483647 * 48271 % 2147483647 % 10000000) ||
             $2 >= n || $3 != substr("abcdefghijklmnopqrstuvwxyz", $2 % 16 + 1, 10) { bad = 1; exit }
             { last = substr($0, 1, 20) } END { exit bad || NR != n }' "$dir/out" || { echo "longtest: FAILED" >&2; exit 1; }
if ls "$dir" | grep -q '^sw'; then echo "longtest: FAILED: work files left" >&2; exit 1; fi
echo "longtest: passed in $(($(date +%s) - start)) s"
