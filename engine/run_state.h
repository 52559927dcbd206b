// The run record: all state of the one run a process performs at a time.
//
// Every phase of a run reads and writes the process-wide record `gv` and its
// companions `cp` (statement flags) and `cpnm` (option flags), and the five
// counted tables `ip`, `op`, `sp`, `su`, `du` that the control statements
// fill. Routines take their operands as parameters and return results; the
// record holds only what lives across phases.
//
// Failure convention: a phase that fails stores a status code in
// gv.status_word (see status.h) and returns false; a phase that succeeds
// returns true and leaves the status alone. `fail(code)` does both.
//
// s_init() (driver.h) resets everything except the call arguments, giving
// the defaults written as member initializers below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "control/tokenizer.h"
#include "engine/status.h"
#include "engine/write_behind.h"

namespace zara {

// Per-file arrays are sized by the number of work-file suffix characters,
// which is also the largest file limit.
constexpr int kMaxFiles = 30;
constexpr uint32_t kPathBufferSize = 264;
constexpr uint32_t kWorkDirSize = 50;

// Describes one record wherever records are handed on. `seq` is the arrival
// number in the run and breaks every tie between equal keys. `flag` is the
// selected flag of INCLUDE/OMIT (1 kept).
struct RecordDesc {
  uint8_t* addr = nullptr;
  uint32_t len = 0;
  uint32_t seq = 0;
  uint8_t flag = 0;
};

// A record's abbreviated key and its index in the record table, as the
// in-memory sort orders them.
struct SortEntry {
  uint64_t prefix;
  uint32_t index;
};

// Statement flags `cp`: indices. 10 + t is file type t.
enum StmtFlag : int {
  kCpAddrout = 0,
  kCpBypass = 1,
  kCpInclude = 2,
  kCpKeyout = 3,
  kCpLimit = 4,
  kCpOmit = 5,
  kCpOutrec = 6,
  kCpRaat = 7,
  kCpRecord = 8,
  kCpSort = 9,
  kCpFileType = 10,  // + file type index
};
constexpr int kCpCount = 20;

// Option flags `cpnm`: indices.
enum OptFlag : int {
  kOptCore = 0,
  kOptDelimit = 1,
  kOptPause = 2,
  kOptWorkdrive = 3,
  kOptAltseq = 4,
  kOptEquals = 5,
  kOptDupout = 6,
  kOptDupin = 7,
  kOptDupex = 8,
  kOptOrigin = 9,
  kOptApost = 10,
  kOptSum = 11,
  kOptAppend = 12,
  kOptOverwrite = 13,
  kOptOpenmode = 14,
  kOptNoyield = 15,
  kOptVerb = 16,
};
constexpr int kCpnmCount = 17;

// File type index.
constexpr uint32_t kFix = 0, kFe = 1, kTxt = 2, kVs = 3, kBt = 4, kRv = 5, kCvs = 6,
                   kPre = 7, kGp = 8, kDb3 = 9;
constexpr int kFileTypeCount = 10;

// Field type index (shared by keys, conditions and literal conversion).
enum FieldType : uint8_t {
  kCha = 0, kAlp = 1, kSu = 2, kSli = 3, kNum = 4, kSti = 5, kSts = 6,
  kZd = 7, kT = 8, kInt = 9, kPd = 10, kBin = 11, kAlt = 12, kE = 13,
  kW = 14, kSp = 15, kDp = 16, kFi = 17, kFl = 18,
};
constexpr int kFieldTypeCount = 19;

// A field reference's length word: 0 names a delimited field by number,
// 65535 a NUL-terminated field.
constexpr uint32_t kDelimitedField = 0;
constexpr uint32_t kNulTerminated = 65535;
// Duplicate-field length meaning "to the end of the record".
constexpr uint32_t kToRecordEnd = 17733;

// A counted table: a capacity, a count of filled entries, the entries.
template <class Entry, uint32_t Capacity>
struct CountedTable {
  static constexpr uint32_t capacity = Capacity;
  uint32_t count = 0;
  Entry entries[Capacity] = {};
};

// SORT/MERGE key (table `sp`).
struct KeyField {
  uint32_t key_pos = 0;
  uint32_t key_len = 0;
  uint8_t key_type = 0;
  uint8_t key_dir = 0;  // 0 ascending, 1 descending
};

// SUM field (table `su`).
struct SumField {
  uint32_t sum_pos = 0;
  uint32_t sum_len = 0;
  uint8_t sum_type = 0;  // index in sum_fieldtypes
};

// Duplicate-test field (table `du`).
struct DupField {
  uint32_t dup_pos = 0;
  uint32_t dup_len = 0;
};

// OUTREC item types (table `op`).
enum OutrecType : uint8_t {
  kItemField = 0, kItemRecl = 1, kItemRrn = 2, kItemRba = 3, kItemBtr = 5,
  kItemHlr = 6, kItemDupc = 7, kItemArrn = 8, kItemToEnd = 0x45,
  kItemLiteral = 0x4C,
};
struct OutrecItem {
  uint8_t type = 0;
  uint32_t position = 0;
  uint32_t length = 0;
  uint8_t data[24] = {};
};

// INCLUDE/OMIT element (table `ip`): a comparison (kind 0) or a connector
// (kind 1 AND, 2 OR) of the postfix sequence.
struct CondElement {
  uint8_t kind = 0;
  uint32_t pos1 = 0;
  uint32_t len1 = 0;
  uint8_t ftype = 0;
  uint8_t oper = 0;
  uint8_t lit[54] = {};
  uint32_t lit_len = 0;
  uint32_t pos2 = 0;
  uint32_t len2 = 0;
};

// The run record proper: call arguments first (the reset keeps them), then
// the run state (the reset gives it the initializers below).
struct RunState {
  // ---- call arguments (stored by the entry points) ----
  const char* control_text = nullptr;
  uint32_t control_length = 0;
  uint32_t input_names_length = 0;
  const char* input_names = nullptr;
  uint32_t output_name_length = 0;
  const char* output_name = nullptr;
  uint8_t* caller_record = nullptr;          // record at a time
  uint32_t* caller_record_length = nullptr;  // record at a time

  // ---- control statements ----
  Scanner scan;  // the control-text scanner
  // Byte offset in the control text where parsing failed, or kNoOffset.
  uint32_t error_offset = 0xFFFFFFFFu;
  // The INCLUDE/OMIT stack shared by the condition parser and evaluator;
  // stack_top is the index of the top entry, 100 when empty.
  uint8_t cond_stack[100] = {};
  uint32_t stack_top = 100;
  uint8_t quote_char = '"';
  uint8_t alt_key_seen = 0;
  uint8_t altseq_image[265] = {};

  // ---- options ----
  uint32_t file_type = kTxt;
  uint32_t record_length = 0;
  uint8_t eof_char = 26;
  uint8_t end_string[15] = {};
  uint32_t end_string_length = 0;
  uint8_t record_delim[16] = {};
  uint32_t record_delim_length = 0;
  uint32_t header_skip = 0;
  uint8_t skip_header = 0;  // skip header_skip bytes at each input's start
  uint8_t bypass_given = 0;
  uint8_t has_header = 0;
  uint32_t core_kb = 2000;
  uint8_t field_delimiter = ',';
  uint8_t field_quote = 0;
  uint32_t record_limit = 0;
  uint32_t origin = 0;
  uint32_t open_mode = 64;
  char work_dir[kWorkDirSize] = {};

  // ---- status ----
  uint32_t status_word = 0;
  // The file and errno of the failed file operation (empty, 0 otherwise).
  char error_path[kPathBufferSize] = {};
  int error_errno = 0;

  // ---- work files ----
  uint32_t file_limit = 0;
  char work_name[14] = {};  // "swNNNNNN.00", the suffix character, NUL
  char suffix_chars[31] = {};
  uint32_t workfile_count = 0;
  uint32_t merge_first = 0;
  uint8_t intermediate_merge = 0;
  char path_buffer[kPathBufferSize] = {};

  // ---- arena (allocated by s_alloc, freed by s_term) ----
  uint8_t* buffers[kMaxFiles] = {};
  uint32_t buffer_size = 0;
  uint32_t next_buffer = 0;
  uint32_t last_buffer = 0;
  uint8_t* current_buffer = nullptr;
  uint32_t buffer_used = 0;
  RecordDesc* record_table = nullptr;
  RecordDesc* sort_scratch = nullptr;  // record_capacity entries after the table
  SortEntry* sort_entries = nullptr;   // 2 * record_capacity entries for the sort
  uint32_t record_capacity = 0;
  uint32_t record_count = 0;
  uint8_t table_full = 0;
  uint8_t* out_buffer = nullptr;
  uint32_t out_buffer_size = 0;
  // A second output buffer of the same size, filled while the first is
  // written behind (engine/write_behind.h); null when it could not be had.
  uint8_t* out_spare = nullptr;
  // The records of each output buffer still to be copied into it when it
  // is written (engine/write_behind.h), gather_capacity entries each.
  GatherEntry* gather = nullptr;
  GatherEntry* gather_spare = nullptr;
  uint32_t gather_count = 0;
  uint32_t gather_capacity = 0;
  uint32_t out_fill = 0;
  bool arena_allocated = false;

  // ---- input ----
  uint8_t input_done = 0;  // record at a time: the return phase has begun
  int32_t input_fd = 0;
  uint8_t input_open = 0;
  uint8_t input_eof = 0;
  Scanner names;  // position in the input-name list
  uint8_t limit_reached = 0;
  uint32_t record_sequence = 0;
  uint8_t end_mark_seen = 0;
  uint32_t prefix_width = 0;
  uint64_t pre_size = 0;  // size of the first PRE input

  // ---- output ----
  int32_t out_fd = 0;  // -1 after a failed open
  uint8_t out_open = 0;  // out_fd is an open descriptor of this run
  uint8_t create_before_write = 0;
  uint8_t close_after_write = 0;
  uint8_t to_work_file = 0;
  uint8_t header_pending = 0;
  int32_t header_fd = 0;
  uint8_t header_open = 0;
  uint32_t records_written = 0;

  // ---- merge ----
  RecordDesc merge_record;
  uint32_t merge_bytes[kMaxFiles] = {};
  uint8_t merge_last[kMaxFiles] = {};
  uint8_t* merge_current[kMaxFiles] = {};
  uint32_t merge_queue[kMaxFiles] = {};
  uint32_t merge_queue_length = 0;
  int32_t merge_fd[kMaxFiles] = {};
  uint8_t merge_fd_open[kMaxFiles] = {};
  uint8_t merge_started = 0;
  uint32_t last_buf_moved_from = 0;

  // ---- duplicate and SUM hold state ----
  uint32_t dup_count = 0;
  uint8_t flush_held = 0;
  uint8_t hold_active = 0;
  uint8_t hold_filled = 0;
  uint8_t* hold_area = nullptr;
  uint32_t hold_area_size = 0;
  uint8_t dup_result = 0;  // 0 not handled, 1 handled, 2 delivered
  uint8_t hold_flushed = 0;
  uint32_t min_dup_count = 1;

  // ---- record at a time ----
  uint8_t give_started = 0;
  uint8_t in_memory_result = 0;
  uint32_t give_index = 0;
  uint8_t give_done = 0;
};

extern RunState gv;
extern uint8_t cp[kCpCount];      // statement flags
extern uint8_t cpnm[kCpnmCount];  // option flags
extern CountedTable<CondElement, 60> ip;  // INCLUDE/OMIT conditions
extern CountedTable<OutrecItem, 20> op;   // OUTREC items
extern CountedTable<KeyField, 20> sp;     // SORT/MERGE keys
extern CountedTable<SumField, 20> su;     // SUM fields
extern CountedTable<DupField, 20> du;     // duplicate-test fields

// Keeps, for a failed file operation, the file's name and the system's
// error number, so that callers can say which file failed and why.
void note_file_failure(uint32_t status);

// Stores `status` as the run's status and reports failure (false).
inline bool fail(uint32_t status) {
  gv.status_word = status;
  note_file_failure(status);
  return false;
}

}  // namespace zara
