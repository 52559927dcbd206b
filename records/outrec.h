// OUTREC reformatting: the item list of the OUTREC statement (table `op`)
// and the reformatted record that the record mover places in the output.
//
// outrec_r (statements.h) parses "( item item ... )" after the keyword:
// literals (at most 20 bytes; &H.. hexadecimal, &E.. translated to EBCDIC),
// keywords of outrec_table (RECL RRN RBA CRLF BT-R HL-R DUPC[(n)] ARRN) and
// fields "position length" or "position E" (to the record's end).
//
// The reformatted record of an input record is the items in table order:
//   field      `length` bytes from offset position - 1; bytes that lie past
//              the end of the input record are blanks (0x20)
//   E field    the record from offset position - 1 to its end; nothing when
//              the position lies beyond the end
//   literal    its bytes (CRLF is the literal 0D 0A)
//   RECL       reformatted length - 2, 16-bit little-endian
//   RRN, RBA   the sequence number, 32-bit little-endian
//   DUPC       first 7 characters of gv.dup_count printed as "%.7lu"
//   ARRN       first 7 characters of the sequence number printed as "%.7lu"
//   BT-R, HL-R 5 and 2 zero bytes
// Nothing is ever read outside the input record.
#pragma once

#include <cstdint>

namespace zara {

// Item lengths above this are never produced: the reformatted length
// saturates here, far above any output buffer, so a caller's size check
// (plus its 8-byte work-file prefix) cannot wrap around.
constexpr uint32_t kOutrecLengthLimit = 0x7FFFFFF0u;

// Length of the reformatted form of a record (E items take the record's
// length - position + 1, or 0).
uint32_t outrec_length(const uint8_t* record, uint32_t length);
// Places the reformatted record (outrec_length bytes) at `out`.
void outrec_place(uint8_t* out, const uint8_t* record, uint32_t length,
                  uint32_t sequence);

}  // namespace zara
