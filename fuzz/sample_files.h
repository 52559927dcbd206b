// Small, well-formed input files of every file type the engine reads, for
// the fuzz cases that vary the control text over fixed inputs. Each file
// holds a handful of records whose bytes suit many field types at once:
// text, zoned and packed digits, binary numbers.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "fuzz/harness.h"

namespace zara_fuzz {

// 16-byte records: 6 bytes name, 4 zoned digits, 3 packed bytes, 2 binary
// bytes, LF.
inline Bytes fixed_records() {
  struct Row {
    const char* name;
    const char* zoned;
    uint8_t packed[3];
    uint8_t binary[2];
  };
  const Row rows[] = {
      {"pear  ", "0012", {0x00, 0x12, 0x3C}, {0x00, 0x0C}},
      {"apple ", "0100", {0x01, 0x00, 0x0D}, {0x01, 0x00}},
      {"fig   ", "004{", {0x00, 0x04, 0x0C}, {0xFF, 0xFE}},
      {"kiwi  ", "003}", {0x99, 0x99, 0x9C}, {0x7F, 0xFF}},
      {"lime  ", "0012", {0x00, 0x12, 0x3C}, {0x80, 0x00}},
      {"Date  ", "9999", {0x00, 0x00, 0x0F}, {0x00, 0x00}},
      {"ackee ", "0000", {0x12, 0x34, 0x5D}, {0x12, 0x34}},
      {"plum  ", "0500", {0x00, 0x50, 0x0C}, {0x00, 0x05}},
  };
  Bytes out;
  for (const Row& r : rows) {
    out += r.name;
    out += r.zoned;
    out.append(reinterpret_cast<const char*>(r.packed), 3);
    out.append(reinterpret_cast<const char*>(r.binary), 2);
    out += '\n';
  }
  return out;
}

// Lines ended by CR LF, LF and FF, an empty line, a NUL inside a line, and
// an end mark with bytes after it.
inline Bytes text_lines() {
  static const char text[] =
      "pear,3,12.5,x\r\napple,10,-2,y\nfig,7,0.25\n\nkiwi,,3e2,z\fDate;4;1\n"
      "lime,003,+7,a\nackee\0,5,6\n"
      "plum,12,1,b\n\x1A"
      "after the end mark\n";
  return Bytes(text, sizeof text - 1);
}

inline Bytes vs_records() {
  const char* data[] = {"pear,3", "apple,10", "", "fig,7,more", "kiwi", "D", "lime,0012"};
  Bytes out;
  for (const char* d : data) {
    const size_t n = strlen(d);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += d;
  }
  return out;
}

// RV: a 4-byte header whose word at offset 2 (below 256) selects 1-byte
// length fields; each record is L, L data bytes and one trailing byte.
inline Bytes rv_records() {
  Bytes out("RV\x40\x00", 4);
  const char* data[] = {"pear,3", "apple,10", "fig", "kiwi,44", "lime"};
  for (const char* d : data) {
    const size_t n = strlen(d);
    out += static_cast<char>(n);
    out += d;
    out += static_cast<char>(n);
  }
  return out;
}

// CVS: a 128-byte header (value 0x0100 at offset 56: 2-byte prefixes);
// each record is a big-endian length, the data, padding to 4 bytes.
inline Bytes cvs_records() {
  Bytes out(128, '\0');
  out.replace(0, 4, "CVS1");
  out[56] = 0x01;
  out[57] = 0x00;
  const char* data[] = {"pear,3", "apple,10", "fig", "kiwi,44", "lime", ""};
  for (const char* d : data) {
    const size_t n = strlen(d);
    Bytes rec;
    rec += static_cast<char>((n >> 8) & 0x0F);
    rec += static_cast<char>(n & 0xFF);
    rec += d;
    while (rec.size() % 4) rec += '\0';
    out += rec;
  }
  return out;
}

inline Bytes pre_records() { return fixed_records() + "tail!"; }

// GP with the record delimiter "|" and the end string "~~".
inline Bytes gp_records() { return "pear,3|apple,10|fig,7,x||kiwi|Date,1|~~lime|ackee|"; }

// DB3: a 65-byte header (one field descriptor), 12-byte records, end mark.
inline Bytes db3_records() {
  Bytes out(65, '\0');
  out[0] = 0x03;
  out[1] = 99;
  out[2] = 1;
  out[3] = 1;
  out[4] = 5;  // record count (not read)
  out[8] = 65;
  out[10] = 12;
  out.replace(32, 4, "NAME");
  out[32 + 11] = 'C';
  out[32 + 16] = 11;
  out[64] = 0x0D;
  const char* data[] = {" pear    003", "*apple   010", " fig     007", " kiwi    044", " lime    012"};
  for (const char* d : data) out += d;
  out += '\x1A';
  return out;
}

// An ALTSEQ weight file: marker 0xAC, 8 bytes, then 256 weights that
// reverse the order of the letters and ignore blanks.
inline Bytes altseq_file() {
  Bytes out(265, '\0');
  out[0] = static_cast<char>(0xAC);
  for (int b = 0; b < 256; ++b) {
    int w = b;
    if (b >= 'a' && b <= 'z') w = 'a' + ('z' - b);
    if (b >= 'A' && b <= 'Z') w = 'A' + ('Z' - b);
    if (b == ' ') w = 0;
    out[9 + static_cast<size_t>(b)] = static_cast<char>(w);
  }
  return out;
}

// Name of the sample input of each file type index (BT has none: it is
// refused, and its slot names the text file).
inline const char* sample_name(uint32_t file_type) {
  static const char* const names[] = {"in.fix", "in.fe",  "in.txt", "in.vs",  "in.txt",
                                      "in.rv",  "in.cvs", "in.pre", "in.gp", "in.db3"};
  return names[file_type % 10];
}

inline std::map<std::string, Bytes> sample_files() {
  std::map<std::string, Bytes> files;
  files["in.fix"] = fixed_records();
  files["in.fe"] = fixed_records() + "\x1A" + "left over";
  files["in.txt"] = text_lines();
  files["in.vs"] = vs_records();
  files["in.rv"] = rv_records();
  files["in.cvs"] = cvs_records();
  files["in.pre"] = pre_records();
  files["in.gp"] = gp_records();
  files["in.db3"] = db3_records();
  files["alt.seq"] = altseq_file();
  return files;
}

}  // namespace zara_fuzz
