#!/bin/sh
# The large-file test: sorts a file of LONGTEST_MIB MiB (default 3072) with
# the zara-sort of the build directory $1 (the 32-bit build, for `make
# longtest`) and checks the result: the same multiset of records (count and
# fingerprint), keys in ascending order, equal keys in arrival order.
# The data goes to LONGTEST_DIR (default: $1/longtest-data) and is deleted
# afterwards. LONGTEST_CONTROL overrides the control statements.
set -eu
build=${1:?usage: run.sh BUILD_DIR}
mib=${LONGTEST_MIB:-3072}
dir=${LONGTEST_DIR:-$build/longtest-data}
control=${LONGTEST_CONTROL:-"SORT (1,7,CH,A) CORE (0)"}
build=$(cd "$build" && pwd)
tool=$build/tests/longtest/longtest_tool
sorter=$build/zara-sort
timer=""
[ -x /usr/bin/time ] && timer="/usr/bin/time -f %es_elapsed,_%Us_user,_%Ss_system,_%MKiB_peak_memory"

mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
bytes=$((mib * 1024 * 1024))
need_kib=$((mib * 1024 * 4))  # input, output and the work files
free_kib=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$need_kib" ]; then
  echo "longtest: $dir has $free_kib KiB free, $need_kib needed" >&2
  exit 1
fi

echo "longtest: $(file -b "$sorter" | cut -d, -f1-2)"
echo "longtest: writing $mib MiB to $dir/in"
start=$(date +%s)
"$tool" gen "$dir/in" "$bytes" > "$dir/in.figures"
echo "longtest: input    $(cat "$dir/in.figures") ($(($(date +%s) - start)) s)"

cd "$dir"
start=$(date +%s)
$timer "$sorter" -v -c "$control" -o out in > sort.out 2> sort.time || {
  cat sort.time >&2
  exit 1
}
elapsed=$(($(date +%s) - start))
cd "$OLDPWD"
echo "longtest: sorted with '$control': $(cat "$dir/sort.out" "$dir/sort.time" | tr '_\n' '  ')"
echo "longtest: output size $(stat -c %s "$dir/out") bytes; work files left: $(ls "$dir" | grep -c '^sw' || true)"

start=$(date +%s)
"$tool" check "$dir/out" > "$dir/out.figures" || { cat "$dir/out.figures"; exit 1; }
echo "longtest: output   $(head -n 1 "$dir/out.figures") ($(($(date +%s) - start)) s)"
echo "longtest: $(tail -n 1 "$dir/out.figures")"
if [ "$(head -n 1 "$dir/out.figures")" != "$(cat "$dir/in.figures")" ]; then
  echo "longtest: FAILED: the output is not the input's multiset of records" >&2
  exit 1
fi
if ls "$dir" | grep -q '^sw'; then
  echo "longtest: FAILED: work files left behind" >&2
  exit 1
fi
echo "longtest: passed (sort $elapsed s)"
