/*
 * Control interface of the fault-injecting interposer (fault_inject.c).
 *
 * The interposer is loaded with LD_PRELOAD in front of the C library. While
 * armed it counts the program's calls of open (and its variants), read,
 * write, lseek, close, unlink and link, logs each one, and makes the call
 * whose number equals the target fail:
 *   ZF_EIO     every kind: -1 with errno EIO (a failed close still releases
 *              its descriptor, as the kernel does);
 *   ZF_ENOSPC  write: -1 with errno ENOSPC;
 *   ZF_SHORT   write of 2 bytes or more: only the first half is written.
 * Target 0 only counts. Calls made while disarmed pass straight through.
 *
 * Programs look these functions up with dlsym (struct zfault_api), so they
 * need not link against the interposer and run without it too.
 */
#ifndef ZARA_FAULT_INJECT_H
#define ZARA_FAULT_INJECT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum zfault_kind {
  ZF_OPEN = 1,
  ZF_READ = 2,
  ZF_WRITE = 3,
  ZF_LSEEK = 4,
  ZF_CLOSE = 5,
  ZF_UNLINK = 6,
  ZF_LINK = 7
};

enum zfault_mode { ZF_COUNT = 0, ZF_EIO = 1, ZF_ENOSPC = 2, ZF_SHORT = 3 };

/* One logged call. `path` (and `path2`, the new name of a link) index the
 * interposer's table of names; -1 for a descriptor it did not see opened. */
struct zfault_call {
  int64_t offset; /* lseek: the offset asked for */
  int64_t size;   /* read, write: bytes asked for */
  int64_t result; /* what the call returned to the program */
  int32_t arg;    /* open: the flags; lseek: whence */
  int16_t path;
  int16_t path2;
  uint8_t kind;   /* enum zfault_kind */
  uint8_t failed; /* this call was made to fail */
};

/* Starts counting from 0 and fails call number `target` (1-based) in
 * `mode`; clears the log and the descriptor table. */
void zfault_arm(int64_t target, int mode);
/* Stops counting; returns the number of calls counted. */
int64_t zfault_disarm(void);
/* The log of the armed period: at most the first `capacity` calls. */
const struct zfault_call *zfault_calls(int64_t *count, int64_t *capacity);
/* The name with index `id`, or "" for an unknown index. */
const char *zfault_path(int id);

#ifdef __cplusplus
}
#endif

#endif /* ZARA_FAULT_INJECT_H */
