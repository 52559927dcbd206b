/*
 * Control interface of the fault-injecting interposer (fault_inject.c),
 * preloaded in front of the C library. While armed it counts and logs the
 * program's calls of open (all variants), read, write, lseek, close, unlink,
 * link, mmap (of a file) and pthread_create, and makes the call whose number
 * equals the target fail:
 *   ZF_EIO     every kind: -1 with errno EIO (a failed close still releases
 *              its descriptor, as the kernel does); mmap: MAP_FAILED with
 *              errno ENOMEM; pthread_create: EAGAIN;
 *   ZF_ENOSPC  write: -1 with errno ENOSPC;
 *   ZF_SHORT   write of 2 bytes or more: only the first half is written.
 * Target 0 only counts. Programs find these functions with dlsym.
 */
#ifndef ZARA_FAULT_INJECT_H
#define ZARA_FAULT_INJECT_H

#include <stdint.h>

enum zfault_kind {
  ZF_OPEN = 1, ZF_READ, ZF_WRITE, ZF_LSEEK, ZF_CLOSE, ZF_UNLINK, ZF_LINK, ZF_MMAP, ZF_THREAD
};
enum zfault_mode { ZF_COUNT = 0, ZF_EIO, ZF_ENOSPC, ZF_SHORT };

/* One logged call; `path` and `path2` (a link's new name) index the table of
 * names, -1 for a descriptor the interposer did not see opened. */
struct zfault_call {
  int64_t offset; /* lseek, mmap: the offset asked for */
  int64_t size;   /* read, write, mmap: bytes asked for */
  int64_t result; /* what the call returned */
  int32_t arg;    /* open: the flags; lseek: whence */
  int16_t path, path2;
  uint8_t kind;   /* enum zfault_kind */
  uint8_t failed; /* this call was made to fail */
};

#ifdef __cplusplus
extern "C" {
#endif
/* Clears the log and counts from 0, failing call number `target` (1-based). */
void zfault_arm(int64_t target, int mode);
/* Stops counting; the number of calls counted. */
int64_t zfault_disarm(void);
/* The log of the armed period: at most its first `capacity` calls. */
const struct zfault_call *zfault_calls(int64_t *count, int64_t *capacity);
/* The name with index `id`, "" for an unknown index. */
const char *zfault_path(int id);
#ifdef __cplusplus
}
#endif

#endif /* ZARA_FAULT_INJECT_H */
