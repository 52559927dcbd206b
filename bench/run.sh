#!/bin/bash
# Benchmarks of zara-sort against the tools a user would pick instead, run in
# one script so that the ratios compare like with like.
#
#   bench/run.sh [--runs N] [--data DIR] [--quick] [--big]
#
# Builds a release engine in build-bench/, generates the data from fixed
# seeds into DIR (default /work/benchdata or ./bench-data), runs each case
# N times (default 5), engine and peers alternating, checks that the engine
# and its peer wrote the same bytes, and prints a table of medians, ratios
# engine/peer and peak resident memory. The table also goes to
# bench/results.md, and a plot of the ratios to docs/perf_ratios.png when
# gnuplot is installed. --quick uses a tenth of the data. --big adds the
# 10 GB text sort (CORE (0), once per run of the script, against ten times
# the 1 GB time and against one-thread GNU sort on the same 10 GB); it needs
# about 30 GB in DIR and deletes its data afterwards.
#
# Besides the release engine, a single-threaded build (ZARA_THREADS=OFF,
# ZARA_MAP_INPUT=OFF) in build-bench-st/ runs the text sort and the plain
# copy, so that the figures of callers who need one thread are known too.
#
# Needs: cmake, g++, GNU coreutils and grep, /usr/bin/time (package time),
# cobc (gnucobol3) for the fixed-record case, gnuplot-nox for the plot.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=5
scale=1
data=""
big=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --data) data=$2; shift 2 ;;
    --quick) scale=10; shift ;;
    --big) big=1; shift ;;
    *) echo "usage: bench/run.sh [--runs N] [--data DIR] [--quick] [--big]" >&2; exit 2 ;;
  esac
done
if [ -z "$data" ]; then
  if [ -d /work ]; then data=/work/benchdata; else data=$root/bench-data; fi
fi
mkdir -p "$data"
data=$(cd "$data" && pwd)
build=$root/build-bench

echo "== building"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZARA_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target zara-sort zara15z37 >/dev/null
build_st=$root/build-bench-st
cmake -S "$root" -B "$build_st" -DCMAKE_BUILD_TYPE=Release -DZARA_TESTS=OFF -DZARA_THREADS=OFF \
  -DZARA_MAP_INPUT=OFF >/dev/null
cmake --build "$build_st" -j"$(nproc)" --target zara-sort zara15z37 >/dev/null
zara_st=$build_st/zara-sort
# Copy runs through a memory mapping: a build option, off by default.
build_map=$root/build-bench-map
cmake -S "$root" -B "$build_map" -DCMAKE_BUILD_TYPE=Release -DZARA_TESTS=OFF -DZARA_MAP_INPUT=ON \
  >/dev/null
cmake --build "$build_map" -j"$(nproc)" --target zara-sort zara15z37 >/dev/null
zara_map=$build_map/zara-sort
tools=$build/bench-tools
mkdir -p "$tools"
cc -O2 -o "$tools/gen_text" "$here/gen_text.c"
cc -O2 -o "$tools/gen_fixed" "$here/gen_fixed.c"
cc -O2 -o "$tools/gen_records" "$here/gen_records.c"
c++ -O2 -std=c++20 -I"$root" -I"$root/include" -o "$tools/raat_driver" "$here/raat_driver.cc" \
  -L"$build" -lzara15z37 -Wl,-rpath,"$build"
have_cobol=0
if command -v cobc >/dev/null; then
  cobc -x -O2 -o "$tools/sort_fixed" "$here/sort_fixed.cob" && have_cobol=1
fi
zara=$build/zara-sort

text_bytes=$((1000000000 / scale))
fixed_count=$((2000000 / scale))
raat_count=$((5000000 / scale))
record_count=$((10000000 / scale))
text=$data/text-$text_bytes.txt
fixed=$data/fixed-$fixed_count.dat
records=$data/records-$record_count.txt
echo "== data in $data"
[ -f "$text" ] || "$tools/gen_text" "$text_bytes" 42 > "$text"
[ -f "$fixed" ] || "$tools/gen_fixed" "$fixed_count" 7 > "$fixed"
[ -f "$records" ] || "$tools/gen_records" "$record_count" 3 > "$records"
work=$data/run
rm -rf "$work"
mkdir -p "$work"
cd "$work"

results=$work/times.tsv
: > "$results"

# measure NAME COMMAND...: one timed run; appends "NAME seconds peakKB".
measure() {
  local name=$1
  shift
  sync
  /usr/bin/time -f "%e %M" -o "$work/time.out" "$@" >/dev/null
  printf '%s\t%s\n' "$name" "$(tr ' ' '\t' < "$work/time.out")" >> "$results"
}

# same FILE1 FILE2 WHAT: the engine and its peer wrote the same bytes.
same() {
  if ! cmp -s "$1" "$2"; then
    echo "MISMATCH: $3 ($1 and $2 differ)" >&2
    exit 1
  fi
}

sort1() { LC_ALL=C sort -s -k1.1,1.16 --parallel=1 -S 80M -T "$work" -o "$2" "$1"; }
sort2() { LC_ALL=C sort -s -k1.1,1.16 -S 80M -T "$work" -o "$2" "$1"; }
# GNU sort as a user runs it: its own memory size and thread count.
sort_user() { LC_ALL=C sort -s -k1.1,1.16 -T "$work" -o "$2" "$1"; }
sort_records() { LC_ALL=C sort -s -k1.1,1.10 --parallel=1 -S 80M -T "$work" -o "$2" "$1"; }
export -f sort1 sort2 sort_user sort_records
export work

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for i in $(seq "$runs"); do
  echo "== round $i of $runs"
  measure text_core0 "$zara" -c 'SORT (1,16,CH,A) CORE (0)' -o z.txt "$text"
  measure gnu_sort_1thread bash -c 'sort1 "$0" g.txt' "$text"
  [ "$i" = 1 ] && same z.txt g.txt "text sort"
  measure gnu_sort_2threads bash -c 'sort2 "$0" g.txt' "$text"
  measure gnu_sort_user bash -c 'sort_user "$0" g.txt' "$text"
  measure text_default_core "$zara" -c 'SORT (1,16,CH,A)' -o z.txt "$text"
  [ "$i" = 1 ] && same z.txt g.txt "text sort, default CORE"
  measure text_core0_1thread "$zara_st" -c 'SORT (1,16,CH,A) CORE (0)' -o z.txt "$text"
  [ "$i" = 1 ] && same z.txt g.txt "text sort, single-threaded build"
  measure cat_text bash -c 'cat "$0" > c.txt' "$text"
  rm -f z.txt g.txt c.txt

  measure records_core0 "$zara" -c 'SORT (1,10,CH,A) CORE (0)' -o z.txt "$records"
  measure gnu_sort_records bash -c 'sort_records "$0" g.txt' "$records"
  [ "$i" = 1 ] && same z.txt g.txt "sort-benchmark records"
  rm -f z.txt g.txt

  measure copy_include "$zara" -c 'INCLUDE (1,1,CH,EQ,"A")' -o z.txt "$text"
  measure grep_select bash -c 'LC_ALL=C grep "^A" "$0" > g.txt' "$text"
  [ "$i" = 1 ] && same z.txt g.txt "copy with INCLUDE"
  measure copy_plain "$zara" -o z.txt "$text"
  measure cat_copy bash -c 'cat "$0" > c.txt' "$text"
  [ "$i" = 1 ] && same z.txt c.txt "plain copy"
  rm -f z.txt
  measure copy_plain_1thread "$zara_st" -o z.txt "$text"
  [ "$i" = 1 ] && same z.txt c.txt "plain copy, single-threaded build"
  rm -f z.txt
  measure copy_plain_mapped "$zara_map" -o z.txt "$text"
  [ "$i" = 1 ] && same z.txt c.txt "plain copy, mapped input"
  rm -f z.txt
  measure copy_include_mapped "$zara_map" -c 'INCLUDE (1,1,CH,EQ,"A")' -o z.txt "$text"
  [ "$i" = 1 ] && same z.txt g.txt "copy with INCLUDE, mapped input"
  rm -f z.txt g.txt c.txt

  if [ "$have_cobol" = 1 ]; then
    measure fixed_keys "$zara" -c 'RECORD (100) SORT (1,4,BI,A,5,5,PD,D,10,6,ZD,A) CORE (0)' \
      -o z.dat "$fixed"
    measure cobol_sort env SORTIN="$fixed" SORTOUT=g.dat "$tools/sort_fixed"
    [ "$i" = 1 ] && same z.dat g.dat "fixed records"
    rm -f z.dat g.dat
  fi
  # The cost of selecting and summing, against the plain sort of the same file.
  measure fixed_plain_sort "$zara" -c 'RECORD (100) SORT (1,4,BI,A) CORE (0)' -o z.dat "$fixed"
  measure fixed_include_sum "$zara" -c 'RECORD (100) SORT (1,4,BI,A) CORE (0)
      INCLUDE (20,1,CH,GT,"5") SUM (5,5,PD)' -o z.dat "$fixed"
  rm -f z.dat

  measure raat "$tools/raat_driver" engine "$raat_count" 3
  measure stable_sort "$tools/raat_driver" stable_sort "$raat_count" 3
  if [ "$i" = 1 ]; then
    "$tools/raat_driver" engine "$raat_count" 3 > r1.txt
    "$tools/raat_driver" stable_sort "$raat_count" 3 > r2.txt
    same r1.txt r2.txt "record at a time"
  fi
done

# The 10 GB text sort: once, the engine and one-thread GNU sort, on data
# whose first gigabyte is the 1 GB file; deleted afterwards.
if [ "$big" = 1 ]; then
  big_text=$data/text-big.txt
  echo "== 10 GB: generating"
  "$tools/gen_text" $((10 * text_bytes)) 42 > "$big_text"
  echo "== 10 GB: engine"
  measure text10g_core0 "$zara" -c 'SORT (1,16,CH,A) CORE (0)' -o z.txt "$big_text"
  echo "== 10 GB: GNU sort, one thread"
  measure gnu_sort_1thread_10g bash -c 'sort1 "$0" g.txt' "$big_text"
  same z.txt g.txt "10 GB text sort"
  rm -f z.txt g.txt "$big_text"
fi

# median NAME FIELD: the median of a column of one case.
median() {
  awk -F'\t' -v n="$1" -v f="$2" '$1 == n { print $f }' "$results" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) { print "-"; exit }
           if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Ten times the median of the 1 GB sort, as the peer of the 10 GB sort.
if [ "$big" = 1 ]; then
  printf 'text_core0_x10\t%s\t0\n' "$(awk -v m="$(median text_core0 2)" 'BEGIN { print 10 * m }')" \
    >> "$results"
fi

table=$here/results.md
plotdata=$work/ratios.dat
: > "$plotdata"
{
  echo "| case | engine s | peer | peer s | engine/peer | engine peak MB | peer peak MB |"
  echo "|---|---|---|---|---|---|---|"
  row() {
    local engine=$1 peer=$2 label=$3
    local es ps em pm ratio
    es=$(median "$engine" 2); ps=$(median "$peer" 2)
    em=$(median "$engine" 3); pm=$(median "$peer" 3)
    [ "$es" = "-" ] || [ "$ps" = "-" ] && return 0
    ratio=$(awk -v a="$es" -v b="$ps" 'BEGIN { printf "%.2f", a / b }')
    printf '| %s | %.2f | %s | %.2f | %s | %.0f | %.0f |\n' "$engine" "$es" "$peer" "$ps" \
      "$ratio" "$(awk -v k="$em" 'BEGIN{print k/1024}')" "$(awk -v k="$pm" 'BEGIN{print k/1024}')"
    printf '"%s" %s\n' "$label" "$ratio" >> "$plotdata"
  }
  row text_core0 gnu_sort_1thread "text/sort -S80M"
  row text_core0 gnu_sort_2threads "text/sort 2 threads"
  row text_core0 gnu_sort_user "text/sort as run"
  row text_core0 cat_text "text/cat"
  row text_core0_1thread gnu_sort_1thread "1 thread/sort -S80M"
  row text_default_core gnu_sort_1thread "default CORE/sort"
  row records_core0 gnu_sort_records "records/sort -S80M"
  row text10g_core0 text_core0_x10 "10 GB/10 x 1 GB"
  row text10g_core0 gnu_sort_1thread_10g "10 GB/sort -S80M"
  row fixed_keys cobol_sort "fixed/GnuCOBOL"
  row fixed_include_sum fixed_plain_sort "INCLUDE+SUM/plain sort"
  row copy_include grep_select "INCLUDE/grep"
  row copy_plain cat_copy "copy/cat"
  row copy_plain_1thread cat_copy "copy 1 thread/cat"
  row copy_plain_mapped cat_copy "copy mapped/cat"
  row copy_include_mapped grep_select "INCLUDE mapped/grep"
  row raat stable_sort "raat/stable_sort"
} > "$table.new"
{
  echo "Medians of $runs runs, $(date -u +%Y-%m-%d), $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo),"
  echo "$(uname -sr), data: $text_bytes bytes of text, $fixed_count fixed records, $raat_count records at a time,"
  echo "$record_count sort-benchmark records$([ "$big" = 1 ] && echo ", $((10 * text_bytes)) bytes of text once")."
  echo "Load average before the runs: $load_before; after: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
  cat "$table.new"
} > "$table"
rm -f "$table.new"
cat "$table"

if command -v gnuplot >/dev/null; then
  gnuplot <<EOF
set terminal pngcairo size 1100,460 noenhanced
set output "$root/docs/perf_ratios.png"
set title "zara-sort time / peer time (median of $runs runs; below 1 is faster)"
set style fill solid 0.6
set boxwidth 0.6
set yrange [0:*]
set grid ytics
set xtics rotate by -25
unset key
plot "$plotdata" using 0:2:xtic(1) with boxes lc rgb "#3b6ea5", 1 with lines lc rgb "#c03030" lw 2
EOF
  echo "plot: docs/perf_ratios.png"
fi
