// State shared by the fault-injecting interposer (fault_inject.c), which exports `zfault`,
// its address in memory that forked children share with their parent, and the sweep.
// While `armed` the interposer logs the calls of open (every variant), read, write, lseek,
// close, unlink, link, mmap of a file and pthread_create that process `pid` makes, and makes
// call number `target` fail: with EIO (a failed close still frees its descriptor, as the
// kernel's does; mmap fails with ENOMEM, pthread_create with EAGAIN), or, for a write in
// mode ZF_ENOSPC or ZF_SHORT, with ENOSPC or by writing only half the bytes.
#ifndef ZARA_FAULT_INJECT_H
#define ZARA_FAULT_INJECT_H

#include <stdint.h>

enum zfault_kind { ZF_OPEN = 1, ZF_READ, ZF_WRITE, ZF_LSEEK, ZF_CLOSE, ZF_UNLINK, ZF_LINK, ZF_MMAP, ZF_THREAD };
enum zfault_mode { ZF_EIO = 1, ZF_ENOSPC, ZF_SHORT };
enum { ZF_MAX_CALLS = 1 << 14 };

struct zfault_call {
  uint8_t kind;   // zfault_kind
  int32_t flags;  // open: its flags
  char name[20];  // the file's name without its directory, cut to 19 bytes
};

struct zfault_state {
  int64_t target, count;           // the call to fail (1-based; 0 none), calls so far
  int32_t armed, mode, hit, pid;   // hit: the target call was made and failed
  struct zfault_call calls[ZF_MAX_CALLS];
};

#endif // ZARA_FAULT_INJECT_H
