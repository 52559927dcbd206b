// Fuzz program "control": byte 0 picks a small input of one file type (its index modulo 10; BT's slot:
// TXT and FIX together) and with bit 0x80 puts "CORE (60) " first; the rest is a control text run by
// s_2mains over it.
#include "fuzz/harness.h"

namespace control_case {
using namespace zara_fuzz;

// Eight rows of 15 bytes that suit text, zoned, packed and binary fields, framed as every file type.
Files samples() {
  const char* const rows[] = {"pear  0012\x00\x12\x3C\x00\x0C", "apple 0100\x01\x00\x0D\x01\x00", "fig   004{\x00\x04\x0C\xFF\xFE",
                              "kiwi  003}\x99\x99\x9C\x7F\xFF", "lime  0012\x00\x12\x3C\x80\x00", "Date  9999\x00\x00\x0F\x00\x00",
                              "ackee 0000\x12\x34\x5D\x12\x34", "plum  0500\x00\x50\x0C\x00\x05"};
  static const char text[] = "pear,3,12.5,x\r\napple,10,-2,y\nfig,7,0.25\n\nkiwi,,3e2,z\fDate;4;1\n"
                             "ack\0ee,5,6\nplum,12,1,b\n\x1A" "after the mark\n";
  Bytes fix, vs, rv("RV\x40\x00", 4), cvs(128, '\0'), gp, db3(65, '\0');
  for (const char* r : rows) {
    const Bytes row(r, 15);
    fix += row + "\n", vs += Bytes("\x0F\x00", 2) + row, rv += "\x0F" + row + "\x0F";
    cvs += Bytes("\x00\x0F", 2) + row + Bytes(3, '\0'), gp += row + "|", db3 += " " + row;
  }
  cvs[56] = 1;  // 2-byte length prefixes
  db3[0] = 3, db3[8] = 65, db3[10] = 16, db3[43] = 'C', db3[48] = 15, db3[64] = 0x0D;
  return Files{{"in.fix", fix}, {"in.fe", fix + "\x1A" "left"}, {"in.txt", Bytes(text, sizeof text - 1)},
               {"in.vs", vs}, {"in.rv", rv}, {"in.cvs", cvs}, {"in.pre", fix + "tail!"},
               {"in.gp", gp + "~~after"}, {"in.db3", db3 + "\x1A"}, {"alt.seq", altseq_file()}};
}

std::string run(const uint8_t* data, size_t size) {
  static const char* const kInputs[] = {"in.fix", "in.fe", "in.txt", "in.vs", "in.txt in.fix",
                                        "in.rv", "in.cvs", "in.pre", "in.gp", "in.db3"};
  static const Files files = samples();
  static const bool written = write_files(files);  // once, in the directory of the first run
  if (size == 0 || !written) return written ? "" : "cannot write the samples";
  const Bytes control = (data[0] & 0x80 ? "CORE (60) " : "") + Bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Bytes inputs = kInputs[data[0] % 10];
  size_t bytes = 0;
  for (const auto& [name, file] : files) bytes += inputs.find(name) != Bytes::npos ? file.size() : 0;
  return confined(control) ? run_whole(inputs, control, files, bytes, false).finding : "";
}

}  // namespace control_case

ZARA_FUZZ_CASE(control_case::run)
