      * The customer master record of the examples in README.md.
       01  CUSTOMER-REC.
           05  CUST-ID             PIC X(6).
           05  CUST-NAME           PIC X(12).
           05  STATE               PIC XX.
           05  BALANCE             PIC S9(5)V99 COMP-3.
           05  LAST-ORDER          PIC 9(8).
           05  ORDERS-YTD          PIC S9(4) COMP.
