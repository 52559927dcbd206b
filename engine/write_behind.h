// Write-behind: the output buffer (or a span of a sort buffer) is written
// by a second thread while the run goes on filling the other output buffer.
//
// Contract:
// - One write is in flight at a time. A new write waits for the one before
//   it, so the writes reach their files in the order they were handed on.
// - The run makes no file call of its own while a write is in flight: it
//   settles (write_settle) first. The file calls of a run are therefore the
//   same calls in the same order whether writes go behind or not.
// - A failed write is reported at the next hand-on or settle, as the failure
//   of the write itself: status 240, the errno of the write, and
//   records_written as it was when the write was handed on. A failure the
//   run met after handing the write on is replaced by it, since the write
//   came first.
// - The thread is started at the first write of an entry-point call and is
//   joined by write_behind_stop, which every entry point calls before it
//   returns. Without a thread (a single-threaded build, the spare output
//   buffer missing, or the thread cannot be started) the writes are made at
//   once, as before.
#pragma once

// Builds that do not say otherwise have the writer thread (CMake option
// ZARA_THREADS).
#ifndef ZARA_THREADS
#define ZARA_THREADS 1
#endif

#include <cstddef>
#include <cstdint>

namespace zara {

// A record that is copied into the output buffer only when the buffer is
// written: its bytes at `from` (which stay in place until the next settle),
// placed at `offset`, after a work-file header (length, sequence number)
// when `work_form` is set. Copying them there is work the writer thread can
// take off the run.
struct GatherEntry {
  const uint8_t* from;
  uint32_t length;
  uint32_t sequence;
  uint32_t offset;
  uint32_t work_form;
};

// Copies the record of `e` into its place in `buffer`.
void place_gathered(uint8_t* buffer, const GatherEntry& e);

// Writes `n` bytes to `fd`: in one write call (a short write fails), or
// with `whole` until every byte is out. With `behind` and the writer
// thread running the write is handed on, and the bytes must stay as they
// are until the next write_out or write_settle. `records_before` is the
// records count the run reports if this write fails. False when the write
// failed, now or (handed on) earlier: status 240 is then set.
bool write_out(int fd, const uint8_t* bytes, size_t n, bool whole, uint32_t records_before,
               bool behind);
// The same for an output buffer whose records in `gather` (`count` of
// them) are copied into it first, by whichever thread writes it.
bool write_gathered(int fd, uint8_t* buffer, size_t n, const GatherEntry* gather, uint32_t count,
                    uint32_t records_before, bool behind);
// Starts the writer thread if it is not running. True when writes can be
// handed on.
bool write_behind_active();
// Waits until no write is in flight. False with status 240 when a write
// handed on failed.
bool write_settle();
// Settles, ends the writer thread and joins it. Called by every entry
// point before it returns.
void write_behind_stop();

}  // namespace zara
