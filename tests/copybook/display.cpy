000100* Every DISPLAY form: unsigned, embedded and separate signs,
000200* leading and trailing, implied decimals and scaling positions.
000300 01  DISP-REC.
000400     05  SEQ-NO              PIC 9(4).
000500     05  CODE-X              PIC X(3).
000600     05  TRAIL-EMB           PIC S9(3)V99.
000700     05  LEAD-EMB            PIC S9(4) SIGN IS LEADING.
000800     05  LEAD-SEP            PIC S9(3) SIGN LEADING SEPARATE.
000900     05  TRAIL-SEP           PIC S9(2)V9 SIGN TRAILING SEPARATE
001000                             CHARACTER.
001100     05  UNSIGNED-Z          PIC 9(3)V9.
001200     05  SCALED              PIC S99PP.
001300     05  STATUS-FLAG         PIC X VALUE "A".
001400         88  IS-ACTIVE       VALUE "A".
001500         88  IS-CLOSED       VALUE "C" "X".
001600     05  FILLER              PIC X(2) VALUE SPACES.
001700     05  EDITED              PIC -ZZ9.99.
