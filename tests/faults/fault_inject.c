/*
 * Fault-injecting interposer, preloaded by the fault sweep (contract in
 * fault_inject.h). Built without 64-bit file-offset redirection, which in a
 * 32-bit build would rename open and lseek to open64 and lseek64.
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
#include <pthread.h>
#include <stdarg.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <string.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum { kLogCapacity = 1 << 18, kMaxPaths = 1024, kPathBytes = 256, kMaxFd = 1024 };

static struct zfault_call call_log[kLogCapacity], overflow_call;
static char path_table[kMaxPaths][kPathBytes];
static int16_t fd_path[kMaxFd];
static int path_count, armed, fault_mode;
static int64_t call_count, target_call;

/* The C library's definitions. Every open variant is forwarded as openat or
 * openat64 relative to the working directory, which is what they do. */
static int (*real_openat)(int, const char *, int, ...),
    (*real_openat64)(int, const char *, int, ...);
static ssize_t (*real_read)(int, void *, size_t), (*real___read_chk)(int, void *, size_t, size_t);
static ssize_t (*real_write)(int, const void *, size_t);
static off_t (*real_lseek)(int, off_t, int);
static off64_t (*real_lseek64)(int, off64_t, int);
static int (*real_close)(int), (*real_unlink)(const char *),
    (*real_link)(const char *, const char *);
static void *(*real_mmap)(void *, size_t, int, int, int, off_t),
    *(*real_mmap64)(void *, size_t, int, int, int, off64_t);
static int (*real_pthread_create)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);

static void forget_descriptors(void) {
  for (int i = 0; i < kMaxFd; ++i) fd_path[i] = -1;
}

#define RESOLVE(var, name) (*(void **)&(var) = dlsym(RTLD_NEXT, name))
__attribute__((constructor)) static void resolve_all(void) {
  RESOLVE(real_openat, "openat"), RESOLVE(real_openat64, "openat64");
  RESOLVE(real_read, "read"), RESOLVE(real___read_chk, "__read_chk"), RESOLVE(real_write, "write");
  RESOLVE(real_lseek, "lseek"), RESOLVE(real_lseek64, "lseek64"), RESOLVE(real_close, "close");
  RESOLVE(real_unlink, "unlink"), RESOLVE(real_link, "link");
  RESOLVE(real_mmap, "mmap"), RESOLVE(real_mmap64, "mmap64");
  RESOLVE(real_pthread_create, "pthread_create");
  forget_descriptors();
}

static int16_t intern(const char *path) {
  if (!armed || !path) return -1;
  for (int i = 0; i < path_count; ++i)
    if (strncmp(path_table[i], path, kPathBytes - 1) == 0) return (int16_t)i;
  if (path_count == kMaxPaths) return -1;
  strncpy(path_table[path_count], path, kPathBytes - 1);
  return (int16_t)path_count++;
}

static int16_t path_of_fd(int fd) { return fd >= 0 && fd < kMaxFd ? fd_path[fd] : -1; }

/* Logs a call while armed, marked failed when it is the target; NULL while
 * disarmed. */
static struct zfault_call *note(int kind, int16_t path, int32_t arg, int64_t offset, int64_t size) {
  if (!armed) return NULL;
  struct zfault_call *c = ++call_count <= kLogCapacity ? &call_log[call_count - 1] : &overflow_call;
  *c = (struct zfault_call){.offset = offset, .size = size, .arg = arg, .path = path, .path2 = -1};
  c->kind = (uint8_t)kind;
  c->failed = call_count == target_call && fault_mode != ZF_COUNT;
  return c;
}

static int64_t done(struct zfault_call *c, int64_t result) {
  if (c) c->result = result;
  return result;
}

#define FAIL_IF_TARGET(c, err) \
  if ((c) && (c)->failed) {    \
    (c)->result = -1;          \
    errno = (err);             \
    return -1;                 \
  }

static int do_open(int large, int dirfd, const char *path, int flags, int mode) {
  struct zfault_call *c = note(ZF_OPEN, intern(path), flags, 0, 0);
  FAIL_IF_TARGET(c, EIO);
  const int fd = (large ? real_openat64 : real_openat)(dirfd, path, flags, mode);
  if (c && fd >= 0 && fd < kMaxFd) fd_path[fd] = c->path;
  return (int)done(c, fd);
}

/* The variadic open variants; the mode argument is there when the flags
 * create a file. */
#define OPEN_WRAPPER(name, large, params, dirfd)                                       \
  EXPORT int name params {                                                             \
    va_list ap;                                                                        \
    va_start(ap, f);                                                                   \
    const int m = (f & O_CREAT) || (f & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0; \
    va_end(ap);                                                                        \
    return do_open(large, dirfd, p, f, m);                                             \
  }
OPEN_WRAPPER(open, 0, (const char *p, int f, ...), AT_FDCWD)
OPEN_WRAPPER(open64, 1, (const char *p, int f, ...), AT_FDCWD)
OPEN_WRAPPER(openat, 0, (int d, const char *p, int f, ...), d)
OPEN_WRAPPER(openat64, 1, (int d, const char *p, int f, ...), d)
EXPORT int __open_2(const char *p, int f) { return do_open(0, AT_FDCWD, p, f, 0); }
EXPORT int __open64_2(const char *p, int f) { return do_open(1, AT_FDCWD, p, f, 0); }
EXPORT int __openat_2(int d, const char *p, int f) { return do_open(0, d, p, f, 0); }
EXPORT int __openat64_2(int d, const char *p, int f) { return do_open(1, d, p, f, 0); }

/* A wrapper that logs the call, fails it with EIO when it is the target and
 * otherwise forwards it to real_<name>. */
#define WRAP(type, name, params, kind, path, arg, offset, size, ...) \
  EXPORT type name params {                                          \
    struct zfault_call *c = note(kind, path, arg, offset, size);     \
    FAIL_IF_TARGET(c, EIO);                                          \
    return (type)done(c, real_##name(__VA_ARGS__));                  \
  }
WRAP(ssize_t, read, (int fd, void *b, size_t n), ZF_READ, path_of_fd(fd), 0, 0, (int64_t)n, fd, b,
     n)
WRAP(ssize_t, __read_chk, (int fd, void *b, size_t n, size_t len), ZF_READ, path_of_fd(fd), 0, 0,
     (int64_t)n, fd, b, n, len)
WRAP(off_t, lseek, (int fd, off_t o, int w), ZF_LSEEK, path_of_fd(fd), w, (int64_t)o, 0, fd, o, w)
WRAP(off64_t, lseek64, (int fd, off64_t o, int w), ZF_LSEEK, path_of_fd(fd), w, (int64_t)o, 0, fd,
     o, w)
WRAP(int, unlink, (const char *path), ZF_UNLINK, intern(path), 0, 0, 0, path)

EXPORT ssize_t write(int fd, const void *buf, size_t n) {
  struct zfault_call *c = note(ZF_WRITE, path_of_fd(fd), 0, 0, (int64_t)n);
  const int shortened = c && c->failed && fault_mode == ZF_SHORT && n >= 2;
  if (!shortened) FAIL_IF_TARGET(c, fault_mode == ZF_EIO ? EIO : ENOSPC);
  return done(c, real_write(fd, buf, shortened ? n / 2 : n));
}

EXPORT int close(int fd) {
  struct zfault_call *c = note(ZF_CLOSE, path_of_fd(fd), 0, 0, 0);
  const int r = real_close(fd);
  if (c && fd >= 0 && fd < kMaxFd) fd_path[fd] = -1;
  FAIL_IF_TARGET(c, EIO);
  return (int)done(c, r);
}

EXPORT int link(const char *from, const char *to) {
  struct zfault_call *c = note(ZF_LINK, intern(from), 0, 0, 0);
  if (c) c->path2 = intern(to);
  FAIL_IF_TARGET(c, EIO);
  return (int)done(c, real_link(from, to));
}

/* A sanitizer's run time maps memory before the constructor above has run:
 * such calls go to the kernel directly. */
static void *raw_mmap(void *a, size_t n, int prot, int flags, int fd, int64_t o) {
#ifdef SYS_mmap2
  return (void *)syscall(SYS_mmap2, a, n, prot, flags, fd, (long)(o >> 12));
#else
  return (void *)syscall(SYS_mmap, a, n, prot, flags, fd, (long)o);
#endif
}

/* Only mappings of files are counted: anonymous memory is not a file call. */
#define MMAP_WRAPPER(name, offset_type)                                                   \
  EXPORT void *name(void *a, size_t n, int prot, int flags, int fd, offset_type o) {      \
    struct zfault_call *c =                                                             \
        (flags & MAP_ANONYMOUS) ? NULL : note(ZF_MMAP, path_of_fd(fd), 0, (int64_t)o, (int64_t)n); \
    if (c && c->failed) {                                                               \
      c->result = -1;                                                                   \
      errno = ENOMEM;                                                                   \
      return MAP_FAILED;                                                                \
    }                                                                                   \
    void *p = real_##name ? real_##name(a, n, prot, flags, fd, o)                       \
                          : raw_mmap(a, n, prot, flags, fd, (int64_t)o);                \
    done(c, p == MAP_FAILED ? -1 : 0);                                                  \
    return p;                                                                           \
  }
MMAP_WRAPPER(mmap, off_t)
MMAP_WRAPPER(mmap64, off64_t)

EXPORT int pthread_create(pthread_t *t, const pthread_attr_t *attr, void *(*fn)(void *), void *arg) {
  struct zfault_call *c = note(ZF_THREAD, -1, 0, 0, 0);
  if (c && c->failed) {
    c->result = -1;
    return EAGAIN;
  }
  if (!real_pthread_create) RESOLVE(real_pthread_create, "pthread_create");
  const int r = real_pthread_create(t, attr, fn, arg);
  done(c, r == 0 ? 0 : -1);
  return r;
}

EXPORT void zfault_arm(int64_t target, int mode) {
  call_count = 0, target_call = target, fault_mode = mode, path_count = 0;
  forget_descriptors();
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

EXPORT const char *zfault_path(int id) { return id >= 0 && id < path_count ? path_table[id] : ""; }
