#!/bin/sh
# Runs one build's CTest suite and writes the line that says how it ran:
#
#   run-suite.sh BUILD_DIR LABEL MODE [ctest arguments...]
#
#   64-bit: native, 27 of 27 programs passed
#   32-bit: emulated (qemu-i386), 25 of 25 programs passed, 1 test skipped
#     skipped: Arena.ShortfallAboveSixtyPercentIsAccepted: <the test's reason>
#
# The line (and the skip reasons) go to BUILD_DIR/test-summary.txt as well as
# standard output. Test programs that skip a case say why through GoogleTest;
# their XML reports are collected in BUILD_DIR/gtest-xml. Exits with CTest's
# status.
set -u
dir=$1 label=$2 mode=$3
shift 3
summary=$dir/test-summary.txt
xml=$dir/gtest-xml
rm -rf "$xml" && mkdir -p "$xml"
log=$dir/ctest.log

(cd "$dir" && GTEST_OUTPUT="xml:$(pwd)/gtest-xml/" ctest --output-on-failure "$@") 2>&1 | tee "$log"
rc=0
grep -q '^100% tests passed' "$log" || rc=1

total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
failed=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
# CTest counts a program that did not start as failed, one it skipped or
# disabled as neither.
not_run=$(grep -c -E '^\s*[0-9]+ - .*\((Skipped|Disabled)\)' "$log")
total=${total:-0} failed=${failed:-0}
passed=$((total - failed - not_run))
[ "$total" -gt 0 ] || rc=1

# GoogleTest reports a skipped case as result="skipped", its message holding
# the place of the skip, a line feed and the reason.
skips=$(cat "$xml"/*.xml 2>/dev/null | tr '\n' ' ' | sed 's/<testcase /\n<testcase /g' |
  grep '^<testcase [^>]*result="skipped"' | while IFS= read -r c; do
    attr() { printf '%s' "$c" | sed -n "s/^<testcase[^>]* $1=\"\([^\"]*\)\".*/\1/p"; }
    reason=$(printf '%s' "$c" | sed -n 's/.*<skipped message="\([^"]*\)".*/\1/p' | sed 's/^[^&]*&#x0A;//')
    echo "$(attr classname).$(attr name): $reason"
  done)
nskip=0
[ -n "$skips" ] && nskip=$(printf '%s\n' "$skips" | wc -l)

line="$label: $mode, $passed of $total programs passed"
[ "$failed" -gt 0 ] && line="$line, $failed FAILED"
[ "$not_run" -gt 0 ] && line="$line, $not_run not run"
[ "$nskip" -gt 0 ] && line="$line, $nskip test$( [ "$nskip" -gt 1 ] && echo s) skipped"
{
  echo "$line"
  [ -n "$skips" ] && printf '%s\n' "$skips" | sed 's/&quot;/"/g; s/&apos;/'"'"'/g; s/&lt;/</g; s/&gt;/>/g; s/&#x0A;/ /g; s/&amp;/\&/g; s/^/  skipped: /'
} | tee "$summary"
exit $rc
