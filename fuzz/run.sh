#!/bin/sh
# Runs the fuzz programs of a build directory for FUZZ_SECONDS each, two at
# a time, from their seed corpora in fuzz/corpus/<program>/.
#
#   sh fuzz/run.sh BUILD_DIR PROGRAM...
#
# New corpus entries go to BUILD_DIR/fuzz-corpus/<program>/ (the seeds in
# the source tree are only read), logs to BUILD_DIR/fuzz-logs/<program>.log,
# crash, leak and timeout inputs to BUILD_DIR/fuzz-artifacts/. Paths are
# absolute because each program works inside a scratch directory of its
# own. Exits non-zero when any program reports a finding.
set -u
build=$(cd "$1" && pwd)
shift
src=$(cd "$(dirname "$0")" && pwd)
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$build/fuzz-logs" "$build/fuzz-artifacts"

max_len() {
  case $1 in
    fuzz_input) echo 40000 ;;
    fuzz_control) echo 2048 ;;
    *) echo 4096 ;;
  esac
}

dict() {
  case $1 in
    fuzz_control|fuzz_raat) echo "-dict=$src/control.dict" ;;
  esac
}

run_one() {
  prog=$1
  mkdir -p "$build/fuzz-corpus/$prog"
  # shellcheck disable=SC2046
  "$build/fuzz/$prog" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 \
    -max_len="$(max_len "$prog")" $(dict "$prog") -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$prog-" \
    "$build/fuzz-corpus/$prog" "$src/corpus/$prog" >"$build/fuzz-logs/$prog.log" 2>&1
  echo $? >"$build/fuzz-logs/$prog.rc"
}

summary() {
  prog=$1
  log="$build/fuzz-logs/$prog.log"
  rc=$(cat "$build/fuzz-logs/$prog.rc")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  if [ "$rc" -eq 0 ]; then
    echo "$prog: ok, ${execs:-?} runs, ${rate:-?} exec/s, ${cov:-no coverage line}"
  else
    echo "$prog: FAILED (exit $rc), log $log"
    grep -E '==FINDING==|ERROR: |SUMMARY: |Test unit written' "$log" | head -5
  fi
  return "$rc"
}

status=0
set -- "$@"
while [ $# -gt 0 ]; do
  first=$1
  shift
  second=""
  if [ $# -gt 0 ]; then
    second=$1
    shift
  fi
  run_one "$first" &
  pid=$!
  [ -n "$second" ] && run_one "$second"
  wait "$pid"
  summary "$first" || status=1
  if [ -n "$second" ]; then summary "$second" || status=1; fi
done
exit $status
