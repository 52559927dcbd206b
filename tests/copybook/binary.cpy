      * Binary items of every size, signed and unsigned.
       01  BIN-REC.
           05  SEQ-NO              PIC 9(4).
           05  B1S                 PIC S9(2)  COMP.
           05  B2S                 PIC S9(4)  BINARY.
           05  B4U                 PIC 9(7)   COMP-4.
           05  B8S                 PIC S9(15) COMPUTATIONAL.
           05  N1S                 PIC S99    COMP-5.
           05  N2U                 PIC 9(4)   COMP-5.
           05  N4S                 PIC S9(9)  COMP-5.
           05  N8S                 PIC S9(12) COMPUTATIONAL-5.
           05  B3U                 PIC 9(6)   COMP.
