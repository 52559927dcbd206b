      * fields whose names are keywords of the control language
       01  REC.
           05  A         PIC X.
           05  D         PIC X.
           05  CH        PIC X.
           05  EQ        PIC X.
           05  AND       PIC X.
           05  CRLF      PIC XX.
           05  RECLAIM-DATE PIC 9(6).
           05  B-FLAG    PIC X VALUE 'Y'.
               88  B-ON  VALUE 'Y' 'y'.
           05  BALANCE   PIC S9(7)V99 COMP-3.
           05  MONTHS    OCCURS 3 TIMES.
               10  AMOUNT PIC S9(9) COMP.
           05  SHIP-TO.  10  CITY PIC X(4).
           05  BILL-TO.  10  CITY PIC X(4).
           05  TRAILING-SIGN PIC S9(3).
           05  BIG       PIC S9(26) COMP-3.
