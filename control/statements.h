// Statement handlers, in parm_table order (see keyword_tables.h). Each
// continues the control-text scan (gv.scan) after its keyword, reads the
// operands it wants and fills the run record. False with a status.
#pragma once

namespace zara {

bool addrout_r();   // control/options.cc
bool bypass_r();
bool core_r();
bool delimit_r();
bool filetype_r();
bool include_r();   // select/condition_parser.cc
bool keyout_r();    // control/options.cc
bool limit_r();
bool sort_r();      // control/sort_keys.cc
bool omit_r();      // select/condition_parser.cc
bool outrec_r();    // records/outrec.cc
bool pause_r();     // control/options.cc
bool record_r();
bool workdrive_r();
bool altseq_r();    // control/altseq.cc
bool equal_r();     // control/options.cc
bool dupout_r();    // select/duplicates.cc
bool dupex_r();
bool dupin_r();
bool origin_r();    // control/options.cc
bool apost_r();
bool sum_r();       // select/sum_statement.cc
bool append_r();    // control/options.cc
bool overwrite_r();
bool openmode_r();
bool noyield_r();
bool ver_r();

using StatementHandler = bool (*)();
extern const StatementHandler parm_jump[];

}  // namespace zara
