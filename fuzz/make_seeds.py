#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz programs into fuzz/corpus/<program>/.

The seeds follow the input layouts that the fuzz cases document (the
*_case.h headers): well-formed control texts over every file type, input
files of the shape each fixed control text expects, call sequences of the
record-at-a-time interface and of the COBOL adaptor. They are generated
from a fixed random seed, so running this again gives the same files.
"""
import os
import random
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(1537)


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# ---- fuzz_control: byte 0 picks the sample input (and CORE (60) with 0x80).
CONTROL = {
    0: ['RECORD (16) SORT (1,4,CH,A) INCLUDE (9,1,CH,NE,"#") OUTREC (1,6,RRN,"x")',
        'FILETYPE (FIX,16) MERGE (7,4,ZD,D,11,3,PD,A) SUM (14,2,BI)',
        'RECORD (16) SORT (14,2,BI,A) DUPOUT (1,6) OUTREC (DUPC(2),1,E)',
        'RECORD (16) KEYOUT SORT (1,6,ALP,D)',
        'RECORD (16) ADDROUT (RRN) LIMIT (5) ORIGIN (2)',
        'RECORD (16) SORT (11,3,PD,D,7,4,ZD,A) OMIT (11,3,PD,LT,"&H00013C")',
        'RECORD (16) SORT (14,2,FI,A,1,4,W,D) SUM (7,4,ZD,14,2,BIN)'],
    1: ['RECORD (16) FILETYPE (FE) SORT (7,4,NUM,A)',
        'RECORD (16) FILETYPE (FE,10) SORT (1,4,CH,D) OMIT (1,1,CH,EQ,"p",OR,7,4,ZD,GT,"50")'],
    2: ['SORT (#2,NUM,A) DELIMIT (44)',
        'SORT (1,Z,CH,A) DUPIN (1,3)',
        'INCLUDE (#3,FL,GT,#2) OUTREC (RECL,1,E,CRLF)',
        'ALTSEQ (alt.seq) SORT (1,5,ALT,A)',
        "APOST SORT (1,4,CH,A) INCLUDE (1,3,CH,CO,'e')",
        'SORT (1,3,CH,A) APPEND PAUSE EQUALS NOYIELD VERB OVERWRITE OPENMODE (420)',
        '[comment] SORT (1,1,CH,A) \x1a rest',
        'INCLUDE (1,2,CHA,EQ,"&H7061") OUTREC ("&Ezz",1,4)',
        'BYPASS (5,D) SORT (1,4,CH,A)',
        'SORT (#1,ALP,D,#2,SLI,A,#3,STS,D) DELIMIT (44) DUPEX (#1)',
        'INCLUDE ((1,1,CH,EQ,"p",OR,1,1,CH,EQ,"a"),AND,#2,INT,GT,"3") SORT (#2,STI,A)',
        'SORT (1,4,T,A,5,4,SU,D) OUTREC (ARRN,HL-R,BT-R,RBA,1,3)'],
    3: ['FILETYPE (VS) SORT (1,4,CH,A) OUTREC (1,E)',
        'FILETYPE (VS) SORT (#2,INT,D) SUM (1,1,ZD)'],
    4: ['SORT (1,2,CH,A)', 'MERGE (1,1,CH,A) LAST (4)'],
    5: ['FILETYPE (RV) SORT (1,4,CH,A)', 'FILETYPE (RV) BYPASS (4,R) SORT (2,3,CH,D)'],
    6: ['FILETYPE (CVS) SORT (1,3,CH,A) INCLUDE (1,1,CH,NE,"f")',
        'FILETYPE (CVS) DUPOUT (1,2) SORT (1,2,CH,A)'],
    7: ['FILETYPE (PRE,16) SORT (1,4,CH,D)', 'FILETYPE (PRE,7) OUTREC (1,3,RRN)'],
    8: ['FILETYPE (GP,(124),(126,126)) SORT (#1,CH,A)',
        'FILETYPE (GP,(124,124),()) SORT (2,2,CH,D) SUM (1,1,ZD)'],
    9: ['FILETYPE (DB3) SORT (2,6,CH,A)', 'FILETYPE (DB3) INCLUDE (1,1,CH,EQ,"*")',
        'FILETYPE (DB3) BYPASS (65,D) SORT (10,3,NUM,D)'],
}


def control_seeds():
    n = 0
    for pick, texts in CONTROL.items():
        for text in texts:
            for core in (0, 0x80):
                write("fuzz_control", "seed%03d" % n, bytes([pick | core]) + text.encode("latin-1"))
                n += 1


# ---- fuzz_input: byte 0 picks the control text (bits 0-3), the memory
# (bits 4-5), a descriptor budget (bit 6) and a split into two files (bit 7).
WORDS = [b"pear", b"apple", b"fig", b"kiwi", b"Date", b"lime", b"ackee", b"plum", b"x", b"m",
         b"zz", b"melon", b"#"]


TINY = False  # short records: many memory loads out of a small input


def text_line(sep=b","):
    if TINY:
        return bytes(rng.choice(b"abmz#,;") for _ in range(rng.randint(0, 2))) + b"\n"
    fields = [rng.choice(WORDS), str(rng.randint(-50, 500)).encode(), rng.choice(WORDS)]
    return sep.join(fields) + rng.choice([b"\n", b"\n", b"\r\n", b"\f"])


def fixed(length):
    return bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz0123456789# \x00\x12\x3c\xff")
                 for _ in range(length))


def vs(data):
    return struct.pack("<H", len(data)) + data


def case_data(case, records):
    if case == 0:
        return b"".join(fixed(16) for _ in range(records))
    if case == 1:
        return b"".join(fixed(12) for _ in range(records)) + b"\x1a"
    if case in (2, 12, 13):
        return b"".join(text_line() for _ in range(records))
    if case == 3:
        return b"".join(text_line(b";") for _ in range(records))
    if case == 4:
        return b"".join(vs(text_line()[:-1]) for _ in range(records))
    if case == 5:
        out = b"RV\x40\x00"
        for _ in range(records):
            d = text_line()[:-1]
            out += bytes([len(d)]) + d + bytes([len(d)])
        return out
    if case == 6:
        out = bytearray(128)
        out[56:58] = b"\x01\x00"
        out = bytes(out)
        for _ in range(records):
            d = text_line()[:-1]
            rec = struct.pack(">H", len(d)) + d
            out += rec + b"\x00" * (-len(rec) % 4)
        return out
    if case == 7:
        return b"".join(fixed(10) for _ in range(records)) + b"tail"
    if case == 8:
        return b"".join(text_line()[:-1] + b"|" for _ in range(records)) + b"~~after"
    if case == 9:
        header = bytearray(65)
        header[0] = 3
        header[8:10] = struct.pack("<H", 65)
        header[10:12] = struct.pack("<H", 12)
        header[32:36] = b"NAME"
        header[64] = 0x0D
        body = b"".join(b" " + fixed(5) + str(rng.randint(0, 999)).zfill(3).encode() + b"abc"
                        for _ in range(records))
        return bytes(header) + body + b"\x1a"
    if case in (10, 11):
        return b"".join(fixed(8) for _ in range(records))
    if case == 14:
        return b"HDR" + b"".join(vs(fixed(rng.randint(0, 9))) for _ in range(records))
    if case == 15:
        return b"".join(text_line()[:-1] + b"\r\n" for _ in range(records)) + b"\x1a"
    raise ValueError(case)


def input_seeds():
    global TINY
    n = 0
    for case in range(16):
        for core, budget, two, records, tiny in ((0, 0, 0, 12, False), (1, 0, 0, 1500, False),
                                                 (1, 1, 1, 1500, False), (2, 0, 1, 60, False),
                                                 (3, 1, 0, 30, False), (1, 0, 0, 8000, True),
                                                 (1, 1, 1, 8000, True)):
            TINY = tiny
            choice = case | core << 4 | budget << 6 | two << 7
            data = case_data(case, records)
            if len(data) > 40000:
                continue
            head = bytes([choice])
            if two:
                head += struct.pack("<H", rng.randint(0, len(data)))
            write("fuzz_input", "seed%03d" % n, head + data)
            n += 1


# ---- fuzz_raat: control pick, flags, then opcodes.
def raat_release(record):
    assert len(record) < 240
    return bytes([rng.choice([0, 1, 2, 3]), len(record)]) + record


def raat_seeds():
    n = 0
    for pick in range(12):
        for flags, count in ((0, 12), (1, 300)):
            body = b"".join(raat_release(fixed(rng.randint(0, 20))) for _ in range(count))
            body += b"\x04" * (count + 2) + b"\x06"
            write("fuzz_raat", "seed%03d" % n, bytes([pick, flags]) + body)
            n += 1
    free = b'SORT (1,2,CH,A) DUPOUT (1,1) CORE (60)'
    body = b"".join(raat_release(fixed(6)) for _ in range(40)) + b"\x05" * 42
    write("fuzz_raat", "seed%03d" % n, bytes([0xC0, len(free)]) + free + b"\x00" + body)
    n += 1
    # Specials: reopen, other control, invalid code, null data, null length,
    # return without a length word.
    body = raat_release(b"abcd") + b"\x07\x00" + raat_release(b"efgh") + b"\x07\x01\x01" + \
        raat_release(b"ijkl") + b"\x07\x02\x03" + b"\x07\x03\x02ab" + b"\x07\x04" + \
        b"\x07\x00" + raat_release(b"mnop") + b"\x07\x05" + b"\x04\x04\x02\x01q\x06"
    write("fuzz_raat", "seed%03d" % n, bytes([1, 0]) + body)


# ---- fuzz_cobol: EXTSM release status, control string, then opcodes.
COBOL = [b"S(00001,004,C,A,00005,002,P,D)R(F,00080)",
         b"R(V,00010)S(00003,002,Z,A)",
         b"S(00001,001,X,A,00002,003,B,D,00005,004,E,A)R(F,00020)",
         b"no key list here R(F,00040)",
         b"S(00001,004,C,A"]


def cobol_seeds():
    n = 0
    for text in COBOL:
        for status in (0, 1):
            body = b"".join(bytes([1, 10]) + fixed(10) for _ in range(8))
            body += b"\x04" * 10 + b"\x00" + bytes([2, 3]) + b"abc" + b"\x05\x05" + \
                b"\x06\x05\x07\x00\x07\x04"
            write("fuzz_cobol", "seed%03d" % n,
                  bytes([status]) + struct.pack("<H", len(text)) + b"\x00" + text + body)
            n += 1


def main():
    control_seeds()
    input_seeds()
    raat_seeds()
    cobol_seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
