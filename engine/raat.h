// The record-at-a-time interface behind s_1raat.
//
// Function 1 opens a run from a control text (parse, work-file set-up,
// arena); function 2 releases one record into the current memory load,
// closing the load (select, sort, spill to a work file) when it is full;
// function 3 returns the next record in order, from the record table when
// everything fitted in one load, otherwise through a record-by-record
// merge of the work files, with duplicate and SUM processing on the way;
// function 4 ends the run early. States:
//
//   Closed    --1--> Releasing --3--> Returning --3 (no more)--> Closed
//   any state --1--> a new run;  --4--> Closed;  a failure of 1, 2 or 4,
//   and every 2 in Returning (262), also close the run.
//
// A run closed by a failure keeps its work files; the next function 1 (or
// any new run) releases the memory and descriptors it still holds.
#pragma once

#include <cstdint>

namespace zara {

void raat_call(int32_t function, void* data, uint32_t* length);

}  // namespace zara
