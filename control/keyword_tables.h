// Keyword tables of the control language, in the layout s_match reads
// (see tokenizer.h). The index of an entry is its position from 0; every
// family has a parallel table of handlers or values with the same indices.
#pragma once

#include <cstdint>

namespace zara {

extern const uint8_t parm_table[];        // statement keywords (29)
extern const uint8_t sort_fieldtypes[];   // field types (19)
extern const uint8_t direction_table[];   // A, D
extern const uint8_t filetype_table[];    // FIX FE TXT VS BT RV CVS PRE GP DB3
extern const uint8_t addrout_table[];     // RRN
extern const uint8_t bypass_table1[];     // D, R
extern const uint8_t condition_table[];   // CO EQ NE GT GE LT LE
extern const uint8_t connector_table[];   // XXX AND OR
extern const uint8_t outrec_table[];      // XXXX RECL RRN RBA CRLF BT-R HL-R DUPC ARRN
extern const uint8_t sum_fieldtypes[];    // ZD BIN INT PD EEE FL WOR FIX NUM

// Statement indices of parm_table.
enum Statement : uint32_t {
  kStAddrout, kStBypass, kStCore, kStDelimit, kStFiletype, kStInclude,
  kStKeyout, kStLimit, kStMerge, kStOmit, kStOutrec, kStPause, kStRecord,
  kStSort, kStWorkdrive, kStAltseq, kStEquals, kStDupout, kStDupex,
  kStDupin, kStOrigin, kStApost, kStSum, kStLast, kStAppend, kStOverwrite,
  kStOpenmode, kStNoyield, kStVerb, kStatementCount
};

}  // namespace zara
