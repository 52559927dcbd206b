      * Packed decimal of odd and even digit counts, and floating point.
       01  PACK-REC.
           05  SEQ-NO              PIC 9(4).
           05  P-ODD               PIC S9(5)V99 COMP-3.
           05  P-EVEN              PIC S9(4)    PACKED-DECIMAL.
           05  P-UNSIGNED          PIC 9(3)     COMP-3.
           05  F-SHORT             COMP-1.
           05  F-LONG              USAGE IS COMP-2.
           05  P-GROUP             USAGE COMP-3.
               10  P-IN-GROUP      PIC S9(3).
