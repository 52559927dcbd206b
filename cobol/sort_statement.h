// Turns the key block of a sort descriptor into the engine's SORT statement.
//
// Each key entry becomes "position,length,type,direction": position is the
// entry's offset + 1 and length its length, both as decimal numbers; the
// type byte 0x33 gives BI, 0x23 PD, 0x31 ZD and every other value CH; the
// direction byte 0x30 gives A and every other value D. With no keys there is
// no statement (the sort becomes a copy).
//
// Nothing in the block is trusted: at most kMaxKeys entries are read, and
// only entries that lie wholly inside the first min(bytes in use,
// kKeyBlockSize) bytes of the block. Offsets and lengths are cut to what a
// record can hold: a position above kRecordAreaSize + 1 is written as
// kRecordAreaSize + 1 (a key past the end of every record, which the engine
// clips to nothing), a length above kRecordAreaSize as kRecordAreaSize. The
// offset 0xFFFFFFFF, which is how the adaptor sends position 0, is written
// as position 0; the engine refuses it, as it refuses a length of 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zara::cobol {

// Room for "SORT(" + kMaxKeys entries of at most "32768,32767,CH,D," + ")".
constexpr size_t kSortStatementCapacity = 2048;

// Writes the SORT statement for key_block (kKeyBlockSize bytes, or null for
// no keys) into text and returns its length; 0 when there are no keys.
// text must hold kSortStatementCapacity bytes; no NUL is written.
size_t sort_statement(const uint8_t* key_block, char* text);

}  // namespace zara::cobol
