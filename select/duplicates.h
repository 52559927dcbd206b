// Duplicate processing (DUPOUT, DUPEX, DUPIN and SUM): one record held back,
// each next record compared with it. The exported C routines dupcheck,
// dc_check_fields and dc_fill_hold are declared in zara15z37.h.
#pragma once

namespace zara {

// Writes or delivers the held record. False on a write failure.
bool dc_mvrec();

}  // namespace zara
