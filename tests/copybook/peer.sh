#!/bin/sh
# zara-sort --copybook against GnuCOBOL: for each line of cases.txt a COBOL
# program that COPYs the copybook writes records (its own MOVEs encode the
# values) and reports where each named field lies; a COBOL SORT ... WITH
# DUPLICATES IN ORDER sorts them; zara-sort must write the same bytes and
# place every field where COBOL does.
#   peer.sh COBC ZARA-SORT SOURCE-DIR
set -u
cobc=$1 zara=$2 src=$(cd "$3" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/copybook-peer-XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT
passed=0 failed=0 case=0
records=300

fail() { echo "case $case ($copybook $cflags): $*"; failed=$((failed + 1)); }

# Area B lines: one word per line keeps every line within column 72.
words() { for w in $*; do echo "           $w"; done; }

header() {
  printf '       IDENTIFICATION DIVISION.\n       PROGRAM-ID. %s.\n' "$1"
  printf '       ENVIRONMENT DIVISION.\n       INPUT-OUTPUT SECTION.\n       FILE-CONTROL.\n'
}

# Generates the records: the first field gets the record number, the
# others values from a different congruence each, with negatives, zero and
# repeats; X: fields get unsigned digits, D: fields quarters.
gen_program() {
  header GEN
  printf '           SELECT DATA-F ASSIGN TO "in.dat" ORGANIZATION SEQUENTIAL.\n'
  printf '       DATA DIVISION.\n       FILE SECTION.\n       FD DATA-F.\n       COPY "%s".\n' "$copybook"
  printf '       WORKING-STORAGE SECTION.\n       01 I PIC 9(4) COMP-5.\n       01 V PIC S9(5) COMP-5.\n'
  printf '       01 W PIC 9(5).\n       01 N6 PIC 9(6).\n       01 P0 USAGE POINTER.\n'
  printf '       01 P0N REDEFINES P0 PIC S9(18) COMP-5.\n       01 P1 USAGE POINTER.\n'
  printf '       01 P1N REDEFINES P1 PIC S9(18) COMP-5.\n       PROCEDURE DIVISION.\n'
  printf '           OPEN OUTPUT DATA-F\n           SET P0 TO ADDRESS OF %s\n' "$record"
  printf '           MOVE FUNCTION BYTE-LENGTH(%s) TO N6\n           DISPLAY "LENGTH " N6\n' "$record"
  echo "$places" | tr ';' '\n' | while read -r p; do
    [ -n "$p" ] || continue
    printf '           SET P1 TO ADDRESS OF %s\n           COMPUTE N6 = P1N - P0N + 1\n' "$p"
    printf '           DISPLAY "PLACE " N6 " " WITH NO ADVANCING\n'
    printf '           MOVE FUNCTION BYTE-LENGTH(%s) TO N6\n           DISPLAY N6 " %s"\n' "$p" "$p"
  done
  printf '           PERFORM VARYING I FROM 1 BY 1 UNTIL I > %s\n' $records
  printf '             INITIALIZE %s\n' "$record"
  k=0
  echo "$fields" | tr ';' '\n' | while read -r f; do
    k=$((k + 1)); m=$((7 + 2 * k)); h=$((m / 2)); mul=$((3 + 4 * k))
    name=${f#*:}
    if [ $k -eq 1 ]; then printf '             MOVE I TO %s\n' "$name"; continue; fi
    case "$f" in
      X:*) printf '             COMPUTE W = FUNCTION MOD(I * %s + %s, %s)\n' $mul $k $m
           printf '             MOVE W TO %s\n' "$name" ;;
      *) printf '             COMPUTE V = FUNCTION MOD(I * %s + %s, %s) - %s\n' $mul $k $m $h
         case "$f" in
           D:*) printf '             COMPUTE %s = V / 4\n' "$name" ;;
           *) printf '             MOVE V TO %s\n' "$name" ;;
         esac ;;
    esac
  done
  printf '             WRITE %s\n           END-PERFORM\n           CLOSE DATA-F\n' "$record"
  printf '           STOP RUN.\n'
}

sort_program() {
  header SRT
  printf '           SELECT IN-F ASSIGN TO "in.dat" ORGANIZATION SEQUENTIAL.\n'
  printf '           SELECT OUT-F ASSIGN TO "cobol.out" ORGANIZATION SEQUENTIAL.\n'
  printf '           SELECT SORT-F ASSIGN TO "sort.tmp".\n'
  printf '       DATA DIVISION.\n       FILE SECTION.\n'
  printf '       FD IN-F.\n       01 IN-R PIC X(%s).\n' "$length"
  printf '       FD OUT-F.\n       01 OUT-R PIC X(%s).\n' "$length"
  printf '       SD SORT-F.\n       COPY "%s".\n       PROCEDURE DIVISION.\n' "$copybook"
  printf '           SORT SORT-F\n'
  words $ckeys
  words WITH DUPLICATES IN ORDER USING IN-F GIVING OUT-F
  printf '           STOP RUN.\n'
}

# Where zara-sort puts each field: --explain shows [position,length,type].
check_places() {
  keys=$(echo "$places" | sed 's/;/,A,/g; s/$/,A/')
  "$zara" --copybook "$copybook" $zflags --explain 1 -c "SORT ($keys)" -o zara.places in.dat \
    > explain.txt 2>&1 || { fail "explain run: $(cat explain.txt)"; return; }
  grep '^PLACE' report.txt | while read -r _ pos len name; do
    pos=$(expr "$pos" + 0); len=$(expr "$len" + 0)
    if ! grep -F " $name [$pos,$len," explain.txt > /dev/null; then
      echo "place of $name: COBOL $pos,$len; zara-sort: $(grep -F " $name [" explain.txt)"
    fi
  done > places.diff
  [ -s places.diff ] && fail "$(cat places.diff)" && return
  passed=$((passed + 1))
}

while IFS='|' read -r copybook record cflags zflags ckeys zkeys fields places; do
  case "$copybook" in ''|'#'*) continue ;; esac
  case=$((case + 1))
  dir="$work/$case"
  mkdir "$dir" && cp "$src/$copybook" "$dir/" && cd "$dir" || exit 2
  gen_program > gen.cob
  if ! "$cobc" -x $cflags gen.cob -o gen > cobc.log 2>&1 || ! ./gen > report.txt; then
    fail "generator: $(cat cobc.log)"; cd "$work"; continue
  fi
  length=$(sed -n 's/^LENGTH 0*//p' report.txt)
  sort_program > srt.cob
  if ! "$cobc" -x $cflags srt.cob -o srt > cobc.log 2>&1 || ! ./srt; then
    fail "COBOL sort: $(cat cobc.log)"; cd "$work"; continue
  fi
  if ! "$zara" --copybook "$copybook" $zflags -c "SORT ($zkeys)" -o zara.out in.dat 2> zara.log; then
    fail "zara-sort: $(cat zara.log)"
  elif ! cmp -s cobol.out zara.out; then
    fail "output differs from COBOL's: $(cmp cobol.out zara.out)"
  elif ! "$zara" --copybook "$copybook" $zflags --fields | grep -q "^record length $length\$"; then
    fail "record length is not COBOL's $length"
  else
    passed=$((passed + 1))
  fi
  [ -n "$places" ] && check_places
  cd "$work"
done < "$src/cases.txt"

# The EBCDIC-style embedded sign has no field type that orders it.
cd "$work/3" && if "$zara" --copybook display.cpy --sign ebcdic -c 'SORT (TRAIL-EMB,A)' -o refused.out \
    in.dat 2> refused.txt || [ -e refused.out ] || ! grep -q "no field type orders" refused.txt; then
  fail "an EBCDIC-sign key was not refused: $(cat refused.txt)"
else
  passed=$((passed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
