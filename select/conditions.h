// INCLUDE and OMIT: the compiled condition `ip` evaluated per record.
#pragma once

namespace zara {

// Evaluates the condition for every record of the record table, then
// compresses the table to the records kept.
void s_select();
// Removes the descriptors whose flag byte is not 1, keeping order.
void compress();

}  // namespace zara
