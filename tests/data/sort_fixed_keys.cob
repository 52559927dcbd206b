      * Sorts keys.in into keys.cob.out: 100-byte records keyed by an
      * unsigned big-endian binary, a descending packed decimal, a signed
      * zoned decimal with its sign in the last digit, and an unsigned
      * zoned decimal. Equal keys keep their input order.
       IDENTIFICATION DIVISION.
       PROGRAM-ID. SORTKEYS.
       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT IN-FILE ASSIGN TO "keys.in"
               ORGANIZATION IS SEQUENTIAL.
           SELECT OUT-FILE ASSIGN TO "keys.cob.out"
               ORGANIZATION IS SEQUENTIAL.
           SELECT SORT-FILE ASSIGN TO "keys.sortwork".
       DATA DIVISION.
       FILE SECTION.
       FD IN-FILE.
       01 IN-REC PIC X(100).
       FD OUT-FILE.
       01 OUT-REC PIC X(100).
       SD SORT-FILE.
       01 SORT-REC.
          05 K-BIN PIC 9(9) COMP.
          05 K-PD PIC S9(9) COMP-3.
          05 K-ZD PIC S9(6).
          05 K-UZD PIC 9(6).
          05 FILLER PIC X(79).
       PROCEDURE DIVISION.
           SORT SORT-FILE
               ON ASCENDING KEY K-BIN
               ON DESCENDING KEY K-PD
               ON ASCENDING KEY K-ZD K-UZD
               WITH DUPLICATES IN ORDER
               USING IN-FILE GIVING OUT-FILE.
           STOP RUN.
