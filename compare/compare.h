// Key comparison: ordering two records by the key table `sp`, one routine
// per field type.
//
// Every per-type routine compares a first field (a, la) with a second field
// (b, lb) and returns an outcome: 0 equal, 1 first greater, 2 first
// smaller. No routine reads outside either field; empty fields are valid.
//
// The numeric types work over lb bytes (L2). A longer first field is read
// over its first lb bytes. A shorter first field (a clipped field of a
// short record, a #n or Z field) is compared over the bytes both hold when
// those carry the sign and the high-order part (BIN, FI, SLI), the shorter
// field ranking first when they agree; for the other numeric types it
// simply ranks first. Each routine states its rule.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

enum Outcome : int { kEqual = 0, kFirstGreater = 1, kFirstSmaller = 2 };

using CompareFn = int (*)(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);

// Indexed by field type (FieldType).
extern const CompareFn comp_jump[kFieldTypeCount];

// Orders two records by the key table: -1 when a comes first, +1 when b
// does. Each key's field is located in both records (s_movptr) and
// compared by comp_jump[key_type]; a descending key reverses its own
// outcome. Never 0: all keys equal falls back to the sequence numbers,
// compared as signed 32-bit numbers, whatever the directions.
int s_compp(const RecordDesc* a, const RecordDesc* b);

// Signed difference of the first differing unsigned byte pair (a - b), or
// 0; mcomp scans first to last, mcompr last to first.
int mcomp(const uint8_t* a, const uint8_t* b, uint32_t n);
int mcompr(const uint8_t* a, const uint8_t* b, uint32_t n);

int compchar(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compalpha(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compsli(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compnum(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compzoned(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compts(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compint(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int comppacked(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compbin(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compalt(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compieee(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compw(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compspdp(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);
int compfi(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb);

}  // namespace zara
