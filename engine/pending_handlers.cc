// Placeholders for routines whose subsystems are being written; every
// definition here is weak and replaced by the real one as it lands.
#include "control/statements.h"
#include "engine/run_state.h"
#include "records/field_location.h"
#include "records/headers.h"
#include "records/input.h"
#include "records/outrec.h"
#include "records/output.h"
#include "select/conditions.h"
#include "select/duplicates.h"
#include "zara15z37.h"

#define WEAK __attribute__((weak))

namespace zara {
WEAK bool include_r() { return fail(kBadKeyword); }
WEAK bool omit_r() { return fail(kBadKeyword); }
WEAK bool outrec_r() { return fail(kBadKeyword); }
WEAK bool altseq_r() { return fail(kBadKeyword); }
WEAK bool dupout_r() { return fail(kBadKeyword); }
WEAK bool dupex_r() { return fail(kBadKeyword); }
WEAK bool dupin_r() { return fail(kBadKeyword); }
WEAK bool sum_r() { return fail(kBadKeyword); }
WEAK void s_select() {}
WEAK void compress() {}
WEAK bool dc_mvrec() { return true; }
WEAK uint32_t outrec_length(const uint8_t*, uint32_t length) { return length; }
WEAK void outrec_place(uint8_t*, const uint8_t*, uint32_t, uint32_t) {}
WEAK bool s_chkhdr() { return true; }
WEAK bool s_gethdr() { return true; }
WEAK bool s_rephdr() { return true; }
WEAK bool s_updhdr() { return true; }
}  // namespace zara

extern "C" {
WEAK int dupcheck(const uint8_t*, uint32_t, uint32_t, uint32_t) {
  zara::gv.dup_result = 0;
  return 0;
}
}
