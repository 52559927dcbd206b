// The item lists of SORT/MERGE, OUTREC and SUM: items read one after the
// other into a counted table until a ')' follows an item. The count is
// stored only when the list closes; a list that would need more entries
// than the table holds fails with 206 before its next item is read.
#pragma once

#include "engine/run_state.h"

namespace zara {

// `read_item(sc, entry)` reads one item into `entry`; false with a status.
template <class Table, class ReadItem>
bool read_item_list(Scanner& sc, Table& table, ReadItem read_item) {
  uint32_t count = 0;
  for (;;) {
    if (!read_item(sc, table.entries[count])) return false;
    ++count;
    if (find_parenr(sc)) {
      table.count = count;
      return true;
    }
    if (count == table.capacity) return fail(kTableFull);
  }
}

}  // namespace zara
