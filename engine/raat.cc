#include "engine/raat.h"

#include <unistd.h>

#include <cstring>

#include "control/dispatcher.h"
#include "engine/arena.h"
#include "engine/driver.h"
#include "engine/merge.h"
#include "engine/run_state.h"
#include "engine/sort.h"
#include "engine/work_files.h"
#include "records/output.h"
#include "select/conditions.h"
#include "zara15z37.h"

namespace zara {

namespace {

// The record being returned, as duplicate processing receives it.
RecordDesc raat_rec;

bool is_open() { return cp[kCpRaat] != 0; }
// A closed run holds no descriptor, whatever closed it: a caller that sees
// a failure may never call again. Its memory and work files stay until
// the next run starts.
void close_run() {
  close_run_descriptors();
  cp[kCpRaat] = 0;
}

// Removes the work files of runs 0 .. workfile_count - 1.
bool remove_work_files() {
  for (uint32_t r = 0; r < gv.workfile_count; ++r)
    if (!work_path(gv.suffix_chars[r]) || unlink(gv.path_buffer) != 0) return false;
  return true;
}

// Target of a write step while records are released.
bool rs_set_outfile_name() {
  if (cp[kCpSort]) {
    gv.create_before_write = 1;
    gv.close_after_write = 1;
    if (gv.record_count == 0) return false;
    work_path(gv.suffix_chars[gv.workfile_count]);
    ++gv.workfile_count;
    gv.to_work_file = 1;
    return true;
  }
  // A copy run spills every load, reformatted, to one work file kept open.
  if (gv.input_done) gv.close_after_write = 1;
  if (!gv.out_open) {
    gv.create_before_write = 1;
    work_path(gv.suffix_chars[0]);
    gv.workfile_count = 1;
  }
  gv.to_work_file = 1;
  return true;
}

void empty_load() {
  gv.next_buffer = 0;
  read_gda();
  gv.record_count = 0;
  gv.table_full = 0;
}

// Closes the memory load: select, sort, and keep it for returning or
// spill it to a work file.
bool s_srtrec() {
  if (cp[kCpInclude] || cp[kCpOmit]) s_select();
  if (cp[kCpSort]) s_sort();
  if (gv.input_done && gv.workfile_count == 0 && !cp[kCpOutrec]) {
    gv.in_memory_result = 1;
    return true;
  }
  if (rs_set_outfile_name()) {
    if (!s_write()) return false;
    if (gv.workfile_count >= gv.file_limit - 2) return s_interm();
  }
  empty_load();
  return true;
}

void raat_open(void* data, const uint32_t* length) {
  if (is_open()) {
    // A new run ends the open one: its work files go with it.
    close_run_descriptors();
    remove_work_files();
    close_run();
  }
  gv.control_text = static_cast<const char*>(data);
  gv.control_length = data && length ? *length : 0;
  // A record-at-a-time run has no files of its own; the names of an
  // earlier whole run may point at memory its caller has since freed.
  gv.input_names = nullptr;
  gv.input_names_length = 0;
  gv.output_name = nullptr;
  gv.output_name_length = 0;
  s_init();  // also releases what a run closed by a failure still holds
  cp[kCpFileType + kTxt] = 0;
  gv.file_type = kFix;
  cp[kCpRaat] = 1;
  if (!s_ctrl() || !s_init2() || !s_alloc()) {
    close_run();
    return;
  }
  read_gda();
}

// Places one record in the current memory load.
void s_takrec(const void* data, const uint32_t* length) {
  if (!is_open()) {
    fail(kNoRaatRun);
    return;
  }
  if (gv.input_done) {
    fail(kReleaseAfterReturn);
    close_run();
    return;
  }
  const uint32_t n = length ? *length : 0;
  if (n > 0 && data == nullptr) {
    fail(kBadFunction);  // a record that is not there
    close_run();
    return;
  }
  for (;;) {
    if (gv.record_count < gv.record_capacity) {
      if (gv.buffer_size - gv.buffer_used >= n) {
        uint8_t* at = gv.current_buffer + gv.buffer_used;
        if (n) memcpy(at, data, n);
        RecordDesc& d = gv.record_table[gv.record_count++];
        d.addr = at;
        d.len = n;
        d.seq = ++gv.record_sequence;
        d.flag = 1;
        gv.buffer_used += n;
        return;
      }
      if (read_gda()) continue;
      if (gv.record_count == 0) {
        fail(kRecordTooLong);
        close_run();
        return;
      }
    }
    if (!s_srtrec()) {
      close_run();
      return;
    }
  }
}

void end_of_data() {
  close_run();
  if (s_term()) gv.status_word = kEndOfData;
}

// The next record from the table or the merge; false when there is none
// or the merge failed (then *failed is set).
bool next_candidate(bool* failed) {
  *failed = false;
  if (gv.in_memory_result) {
    if (gv.give_index >= gv.record_count) return false;
    raat_rec = gv.record_table[gv.give_index++];
    return true;
  }
  gv.merge_first = 1;
  RecordDesc d;
  if (!s_merge1(&d)) {
    *failed = true;
    return false;
  }
  if (gv.give_done) return false;
  raat_rec = d;
  return true;
}

void deliver(const RecordDesc& d) {
  if (d.len && gv.caller_record) memcpy(gv.caller_record, d.addr, d.len);
  if (gv.caller_record_length) *gv.caller_record_length = d.len;
}

void s_givrec() {
  if (!is_open()) {
    fail(kNoRaatRun);
    return;
  }
  gv.input_done = 1;
  if (gv.hold_flushed) {
    end_of_data();
    return;
  }
  if (!gv.give_started && !s_srtrec()) return;
  gv.give_started = 1;
  bool failed = false;
  while (next_candidate(&failed)) {
    if (dupcheck(raat_rec.addr, raat_rec.len, raat_rec.seq, 0) != 0) return;
    if (gv.dup_result == 0) {
      deliver(raat_rec);
      return;
    }
    if (gv.dup_result == 2) return;
  }
  if (failed) return;
  gv.give_done = 1;
  gv.flush_held = 1;
  if (dupcheck(raat_rec.addr, raat_rec.len, raat_rec.seq, 0) != 0) return;
  if (gv.give_done) end_of_data();
}

void raat_finish() {
  if (!is_open()) return;
  close_run_descriptors();
  if (!remove_work_files()) {
    fail(kWorkRemoveError);
    close_run();
    return;
  }
  close_run();
  s_term();
}

}  // namespace

void raat_call(int32_t function, void* data, uint32_t* length) {
  gv.caller_record = static_cast<uint8_t*>(data);
  gv.caller_record_length = length;
  switch (function) {
    case 1: raat_open(data, length); break;
    case 2: s_takrec(data, length); break;
    case 3: s_givrec(); break;
    case 4: raat_finish(); break;
    default:
      fail(kBadFunction);
      close_run();
      break;
  }
}

}  // namespace zara
