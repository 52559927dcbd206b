#include "engine/write_behind.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "engine/run_state.h"
#include "records/byte_order.h"
#include "records/file_io.h"

#if ZARA_THREADS
#include <pthread.h>
#include <signal.h>
#endif

namespace zara {

void place_gathered(uint8_t* buffer, const GatherEntry& e) {
  uint8_t* to = buffer + e.offset;
  if (e.work_form) {
    put_le(to, e.length, 4);
    put_le(to + 4, e.sequence, 4);
    to += 8;
  }
  if (e.length) memcpy(to, e.from, e.length);
}

namespace {

struct WriteJob {
  int fd = -1;
  const uint8_t* bytes = nullptr;
  size_t n = 0;
  uint8_t* gather_into = nullptr;  // `bytes`, writable, when records are gathered
  const GatherEntry* gather = nullptr;
  uint32_t gather_count = 0;
  bool whole = false;
  int errno_before = 0;  // a short write leaves errno as it was
  uint32_t records_before = 0;
  char path[kPathBufferSize] = {};  // the file the run names in a failure
};

// Copies the records of a gathered buffer into place, fetching a few ahead:
// they lie all over the sort buffers.
void gather_records(const WriteJob& job) {
  constexpr uint32_t kAhead = 8;
  for (uint32_t i = 0; i < job.gather_count; ++i) {
    if (i + kAhead < job.gather_count) __builtin_prefetch(job.gather[i + kAhead].from);
    place_gathered(job.gather_into, job.gather[i]);
  }
}

// One write as the run has always made it. errno is what the write left.
bool perform(const WriteJob& job) {
  if (job.gather_count) gather_records(job);
  errno = job.errno_before;
  if (job.whole) return write_fully(job.fd, job.bytes, job.n);
  ssize_t w;
  do {
    w = write(job.fd, job.bytes, job.n);
  } while (w < 0 && errno == EINTR);
  return w >= 0 && static_cast<size_t>(w) == job.n;
}

// The failure of a write, reported as the run's own: with the file named
// when it was handed on (a copy run may have opened its next input since).
bool report_failed_write(int write_errno, uint32_t records_before, const char* path) {
  char current[kPathBufferSize];
  memcpy(current, gv.path_buffer, sizeof current);
  memcpy(gv.path_buffer, path, sizeof gv.path_buffer);
  gv.records_written = records_before;
  errno = write_errno;
  fail(kOutputWriteError);
  memcpy(gv.path_buffer, current, sizeof current);
  return false;
}

#if ZARA_THREADS

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t job_posted = PTHREAD_COND_INITIALIZER;
pthread_cond_t job_done = PTHREAD_COND_INITIALIZER;
pthread_t writer;
bool running = false;       // the writer thread exists (this entry-point call)
bool start_failed = false;  // it could not be started in this call
// Shared with the writer, under `lock`:
bool pending = false;  // `job` is handed on and not yet written
bool stopping = false;
WriteJob job;
bool failed = false;
int failed_errno = 0;
uint32_t failed_records = 0;
char failed_path[kPathBufferSize];

void* writer_main(void*) {
  pthread_mutex_lock(&lock);
  for (;;) {
    while (!pending && !stopping) pthread_cond_wait(&job_posted, &lock);
    if (!pending) break;
    const WriteJob mine = job;
    pthread_mutex_unlock(&lock);
    const bool ok = perform(mine);
    const int e = errno;
    pthread_mutex_lock(&lock);
    pending = false;
    if (!ok) {
      failed = true;
      failed_errno = e;
      failed_records = mine.records_before;
      memcpy(failed_path, mine.path, sizeof failed_path);
    }
    pthread_cond_signal(&job_done);
  }
  pthread_mutex_unlock(&lock);
  return nullptr;
}

// Starts the writer with every asynchronous signal blocked, so that the
// caller's signals keep going to the caller's threads. The signals a write
// itself raises (a pipe without a reader, a file over its size limit) stay
// open: they act as they would on the caller's thread.
bool start_writer() {
  sigset_t all, saved;
  sigfillset(&all);
  for (int s : {SIGPIPE, SIGXFSZ, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigdelset(&all, s);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  const bool ok = pthread_create(&writer, nullptr, writer_main, nullptr) == 0;
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  return ok;
}

bool ready() {
  if (running) return true;
  if (start_failed) return false;
  running = start_writer();
  start_failed = !running;
  return running;
}

// Waits for the write in flight. False (and the failure reported) when a
// write handed on failed.
bool wait_idle() {
  if (!running) return true;
  pthread_mutex_lock(&lock);
  while (pending) pthread_cond_wait(&job_done, &lock);
  const bool ok = !failed;
  const int e = failed_errno;
  const uint32_t records = failed_records;
  failed = false;
  pthread_mutex_unlock(&lock);
  return ok || report_failed_write(e, records, failed_path);
}

#else

bool ready() { return false; }
bool wait_idle() { return true; }

#endif

}  // namespace

bool write_behind_active() { return ready(); }

bool write_settle() { return wait_idle(); }

namespace {

bool hand_on_or_write(const WriteJob& next, bool behind) {
#if ZARA_THREADS
  if (behind && ready()) {
    pthread_mutex_lock(&lock);
    job = next;
    pending = true;
    pthread_cond_signal(&job_posted);
    pthread_mutex_unlock(&lock);
    return true;
  }
#endif
  if (perform(next)) return true;
  return report_failed_write(errno, next.records_before, next.path);
}

}  // namespace

namespace {

// A write of `n` bytes at `bytes` to `fd`, as the run stands now.
WriteJob job_for(int fd, const uint8_t* bytes, size_t n, uint32_t records_before) {
  WriteJob next;
  next.fd = fd;
  next.bytes = bytes;
  next.n = n;
  next.errno_before = errno;
  next.records_before = records_before;
  memcpy(next.path, gv.path_buffer, sizeof next.path);
  return next;
}

}  // namespace

bool write_out(int fd, const uint8_t* bytes, size_t n, bool whole, uint32_t records_before,
               bool behind) {
  if (!wait_idle()) return false;
  WriteJob next = job_for(fd, bytes, n, records_before);
  next.whole = whole;
  return hand_on_or_write(next, behind);
}

bool write_gathered(int fd, uint8_t* buffer, size_t n, const GatherEntry* gather, uint32_t count,
                    uint32_t records_before, bool behind) {
  if (!wait_idle()) return false;
  WriteJob next = job_for(fd, buffer, n, records_before);
  next.gather_into = buffer;
  next.gather = gather;
  next.gather_count = count;
  return hand_on_or_write(next, behind);
}

void write_behind_stop() {
#if ZARA_THREADS
  if (running) {
    wait_idle();
    pthread_mutex_lock(&lock);
    stopping = true;
    pthread_cond_signal(&job_posted);
    pthread_mutex_unlock(&lock);
    pthread_join(writer, nullptr);
    stopping = false;
    running = false;
  }
  start_failed = false;
#endif
}

}  // namespace zara
