// File headers of DB3, CVS and RV (and the PRE size): check, save, copy to
// the output, update at the end.
#pragma once

namespace zara {

bool s_chkhdr();
bool s_gethdr();
bool s_rephdr();
bool s_updhdr();

}  // namespace zara
