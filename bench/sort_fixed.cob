      *> Sorts 100-byte records like the engine's
      *>   RECORD (100) SORT (1,4,BI,A,5,5,PD,D,10,6,ZD,A)
      *> usage: sort_fixed  (files named by SORTIN and SORTOUT)
       IDENTIFICATION DIVISION.
       PROGRAM-ID. SORTFIXED.
       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT IN-FILE ASSIGN TO SORTIN
               ORGANIZATION IS RECORD SEQUENTIAL.
           SELECT OUT-FILE ASSIGN TO SORTOUT
               ORGANIZATION IS RECORD SEQUENTIAL.
           SELECT WORK-FILE ASSIGN TO "SORTWK".
       DATA DIVISION.
       FILE SECTION.
       FD IN-FILE.
       01 IN-REC            PIC X(100).
       FD OUT-FILE.
       01 OUT-REC           PIC X(100).
       SD WORK-FILE.
       01 WORK-REC.
          05 K-BIN          PIC 9(9) COMP.
          05 K-PD           PIC S9(9) COMP-3.
          05 K-ZD           PIC S9(6).
          05 FILLER         PIC X(85).
       PROCEDURE DIVISION.
           SORT WORK-FILE
               ON ASCENDING KEY K-BIN
               ON DESCENDING KEY K-PD
               ON ASCENDING KEY K-ZD
               WITH DUPLICATES IN ORDER
               USING IN-FILE GIVING OUT-FILE.
           STOP RUN.
