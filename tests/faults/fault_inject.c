/*
 * Fault-injecting interposer, loaded with LD_PRELOAD by the fault sweep
 * (contract in fault_inject.h). Test-only: nothing of the engine links it.
 *
 * Built without 64-bit file-offset redirection: with _FILE_OFFSET_BITS=64 a
 * 32-bit build's headers rename open and lseek to open64 and lseek64, and
 * the definitions below must keep their own names.
 */
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#ifndef _LARGEFILE64_SOURCE
#define _LARGEFILE64_SOURCE
#endif

#include "fault_inject.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum { kLogCapacity = 1 << 18, kMaxPaths = 1024, kPathBytes = 256, kMaxFd = 1024 };

static struct zfault_call call_log[kLogCapacity];
static struct zfault_call overflow_call;
static char path_table[kMaxPaths][kPathBytes];
static int path_count;
static int16_t fd_path[kMaxFd];

static int armed;
static int64_t call_count;
static int64_t target_call;
static int fault_mode;

/* The next definitions of each name: the C library's. */
static int (*real_open)(const char *, int, ...);
static int (*real_open64)(const char *, int, ...);
static int (*real_openat)(int, const char *, int, ...);
static int (*real_openat64)(int, const char *, int, ...);
static int (*real_open_2)(const char *, int);
static int (*real_open64_2)(const char *, int);
static int (*real_openat_2)(int, const char *, int);
static int (*real_openat64_2)(int, const char *, int);
static ssize_t (*real_read)(int, void *, size_t);
static ssize_t (*real_read_chk)(int, void *, size_t, size_t);
static ssize_t (*real_write)(int, const void *, size_t);
static off_t (*real_lseek)(int, off_t, int);
static off64_t (*real_lseek64)(int, off64_t, int);
static int (*real_close)(int);
static int (*real_unlink)(const char *);
static int (*real_link)(const char *, const char *);

#define RESOLVE(var, name) (*(void **)&(var) = dlsym(RTLD_NEXT, name))

__attribute__((constructor)) static void resolve_all(void) {
  RESOLVE(real_open, "open");
  RESOLVE(real_open64, "open64");
  RESOLVE(real_openat, "openat");
  RESOLVE(real_openat64, "openat64");
  RESOLVE(real_open_2, "__open_2");
  RESOLVE(real_open64_2, "__open64_2");
  RESOLVE(real_openat_2, "__openat_2");
  RESOLVE(real_openat64_2, "__openat64_2");
  RESOLVE(real_read, "read");
  RESOLVE(real_read_chk, "__read_chk");
  RESOLVE(real_write, "write");
  RESOLVE(real_lseek, "lseek");
  RESOLVE(real_lseek64, "lseek64");
  RESOLVE(real_close, "close");
  RESOLVE(real_unlink, "unlink");
  RESOLVE(real_link, "link");
  for (int i = 0; i < kMaxFd; ++i) fd_path[i] = -1;
}

static int16_t intern(const char *path) {
  if (!path) return -1;
  for (int i = 0; i < path_count; ++i)
    if (strncmp(path_table[i], path, kPathBytes - 1) == 0) return (int16_t)i;
  if (path_count == kMaxPaths) return -1;
  strncpy(path_table[path_count], path, kPathBytes - 1);
  return (int16_t)path_count++;
}

static int16_t path_of_fd(int fd) { return fd >= 0 && fd < kMaxFd ? fd_path[fd] : -1; }

/* Logs a call when armed; *fail tells whether this call is the target. */
static struct zfault_call *note(int kind, int16_t path, int32_t arg, int64_t offset,
                                int64_t size, int *fail) {
  *fail = 0;
  if (!armed) return NULL;
  ++call_count;
  struct zfault_call *c = call_count <= kLogCapacity ? &call_log[call_count - 1] : &overflow_call;
  memset(c, 0, sizeof *c);
  c->kind = (uint8_t)kind;
  c->path = path;
  c->path2 = -1;
  c->arg = arg;
  c->offset = offset;
  c->size = size;
  if (call_count == target_call && fault_mode != ZF_COUNT) {
    *fail = 1;
    c->failed = 1;
  }
  return c;
}

static int64_t finish(struct zfault_call *c, int64_t result) {
  if (c) c->result = result;
  return result;
}

static void remember_fd(struct zfault_call *c, int fd) {
  if (c && fd >= 0 && fd < kMaxFd) fd_path[fd] = c->path;
}

static int mode_of(int flags, va_list ap) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
}

/* Every open variant: which = 0 open, 1 open64, 2 openat, 3 openat64,
 * 4 __open_2, 5 __open64_2, 6 __openat_2, 7 __openat64_2. */
static int do_open(int which, int dirfd, const char *path, int flags, int mode) {
  int fail;
  struct zfault_call *c = note(ZF_OPEN, armed ? intern(path) : -1, flags, 0, 0, &fail);
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  int fd = -1;
  switch (which) {
    case 0: fd = real_open(path, flags, mode); break;
    case 1: fd = real_open64(path, flags, mode); break;
    case 2: fd = real_openat(dirfd, path, flags, mode); break;
    case 3: fd = real_openat64(dirfd, path, flags, mode); break;
    case 4: fd = real_open_2(path, flags); break;
    case 5: fd = real_open64_2(path, flags); break;
    case 6: fd = real_openat_2(dirfd, path, flags); break;
    default: fd = real_openat64_2(dirfd, path, flags); break;
  }
  const int saved = errno;
  finish(c, fd);
  remember_fd(c, fd);
  errno = saved;
  return fd;
}

EXPORT int open(const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int mode = mode_of(flags, ap);
  va_end(ap);
  return do_open(0, AT_FDCWD, path, flags, mode);
}

EXPORT int open64(const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int mode = mode_of(flags, ap);
  va_end(ap);
  return do_open(1, AT_FDCWD, path, flags, mode);
}

EXPORT int openat(int dirfd, const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int mode = mode_of(flags, ap);
  va_end(ap);
  return do_open(2, dirfd, path, flags, mode);
}

EXPORT int openat64(int dirfd, const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int mode = mode_of(flags, ap);
  va_end(ap);
  return do_open(3, dirfd, path, flags, mode);
}

EXPORT int __open_2(const char *path, int flags) { return do_open(4, AT_FDCWD, path, flags, 0); }
EXPORT int __open64_2(const char *path, int flags) { return do_open(5, AT_FDCWD, path, flags, 0); }
EXPORT int __openat_2(int dirfd, const char *path, int flags) {
  return do_open(6, dirfd, path, flags, 0);
}
EXPORT int __openat64_2(int dirfd, const char *path, int flags) {
  return do_open(7, dirfd, path, flags, 0);
}

EXPORT ssize_t read(int fd, void *buf, size_t n) {
  int fail;
  struct zfault_call *c = note(ZF_READ, path_of_fd(fd), 0, 0, (int64_t)n, &fail);
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  const ssize_t got = real_read(fd, buf, n);
  const int saved = errno;
  finish(c, got);
  errno = saved;
  return got;
}

EXPORT ssize_t __read_chk(int fd, void *buf, size_t n, size_t buflen) {
  int fail;
  struct zfault_call *c = note(ZF_READ, path_of_fd(fd), 0, 0, (int64_t)n, &fail);
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  const ssize_t got = real_read_chk(fd, buf, n, buflen);
  const int saved = errno;
  finish(c, got);
  errno = saved;
  return got;
}

EXPORT ssize_t write(int fd, const void *buf, size_t n) {
  int fail;
  struct zfault_call *c = note(ZF_WRITE, path_of_fd(fd), 0, 0, (int64_t)n, &fail);
  size_t allowed = n;
  if (fail) {
    if (fault_mode != ZF_SHORT || n < 2) {
      finish(c, -1);
      errno = fault_mode == ZF_ENOSPC || fault_mode == ZF_SHORT ? ENOSPC : EIO;
      return -1;
    }
    allowed = n / 2;
  }
  const ssize_t put = real_write(fd, buf, allowed);
  const int saved = errno;
  finish(c, put);
  errno = saved;
  return put;
}

EXPORT off_t lseek(int fd, off_t offset, int whence) {
  int fail;
  struct zfault_call *c = note(ZF_LSEEK, path_of_fd(fd), whence, (int64_t)offset, 0, &fail);
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  const off_t at = real_lseek(fd, offset, whence);
  const int saved = errno;
  finish(c, (int64_t)at);
  errno = saved;
  return at;
}

EXPORT off64_t lseek64(int fd, off64_t offset, int whence) {
  int fail;
  struct zfault_call *c = note(ZF_LSEEK, path_of_fd(fd), whence, (int64_t)offset, 0, &fail);
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  const off64_t at = real_lseek64(fd, offset, whence);
  const int saved = errno;
  finish(c, (int64_t)at);
  errno = saved;
  return at;
}

EXPORT int close(int fd) {
  int fail;
  struct zfault_call *c = note(ZF_CLOSE, path_of_fd(fd), 0, 0, 0, &fail);
  const int r = real_close(fd);
  const int saved = errno;
  if (c && fd >= 0 && fd < kMaxFd) fd_path[fd] = -1;
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  finish(c, r);
  errno = saved;
  return r;
}

EXPORT int unlink(const char *path) {
  int fail;
  struct zfault_call *c = note(ZF_UNLINK, armed ? intern(path) : -1, 0, 0, 0, &fail);
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  const int r = real_unlink(path);
  const int saved = errno;
  finish(c, r);
  errno = saved;
  return r;
}

EXPORT int link(const char *from, const char *to) {
  int fail;
  struct zfault_call *c = note(ZF_LINK, armed ? intern(from) : -1, 0, 0, 0, &fail);
  if (c) c->path2 = intern(to);
  if (fail) {
    finish(c, -1);
    errno = EIO;
    return -1;
  }
  const int r = real_link(from, to);
  const int saved = errno;
  finish(c, r);
  errno = saved;
  return r;
}

EXPORT void zfault_arm(int64_t target, int mode) {
  call_count = 0;
  target_call = target;
  fault_mode = mode;
  path_count = 0;
  for (int i = 0; i < kMaxFd; ++i) fd_path[i] = -1;
  armed = 1;
}

EXPORT int64_t zfault_disarm(void) {
  armed = 0;
  return call_count;
}

EXPORT const struct zfault_call *zfault_calls(int64_t *count, int64_t *capacity) {
  if (count) *count = call_count;
  if (capacity) *capacity = kLogCapacity;
  return call_log;
}

EXPORT const char *zfault_path(int id) {
  return id >= 0 && id < path_count ? path_table[id] : "";
}
