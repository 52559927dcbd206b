// Fault-injecting interposer, preloaded by the fault sweep (contract in
// fault_inject.h). Built without 64-bit file-offset redirection, which in a
// 32-bit build would rename open and lseek to open64 and lseek64.
#undef _FILE_OFFSET_BITS
#define _GNU_SOURCE

#include "fault_inject.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))
#define FAIL(err) (errno = (err), -1)
enum { kMaxFd = 1024 };

EXPORT struct zfault_state *zfault;
static char fd_name[kMaxFd][sizeof zfault->calls[0].name];

// The C library's definitions; every open variant goes to openat(64).
static int (*real_openat)(int, const char *, int, ...), (*real_openat64)(int, const char *, int, ...);
static ssize_t (*real_read)(int, void *, size_t), (*real___read_chk)(int, void *, size_t, size_t),
    (*real_write)(int, const void *, size_t);
static off_t (*real_lseek)(int, off_t, int);
static off64_t (*real_lseek64)(int, off64_t, int);
static int (*real_close)(int), (*real_unlink)(const char *), (*real_link)(const char *, const char *);
static void *(*real_mmap)(void *, size_t, int, int, int, off_t),
    *(*real_mmap64)(void *, size_t, int, int, int, off64_t);
static int (*real_pthread_create)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);

#define RESOLVE(name) (*(void **)&real_##name = dlsym(RTLD_NEXT, #name))
__attribute__((constructor)) static void start(void) {
  RESOLVE(openat), RESOLVE(openat64), RESOLVE(read), RESOLVE(__read_chk), RESOLVE(write);
  RESOLVE(lseek), RESOLVE(lseek64), RESOLVE(close), RESOLVE(unlink), RESOLVE(link);
  RESOLVE(mmap), RESOLVE(mmap64), RESOLVE(pthread_create);
  void *shared = mmap(NULL, sizeof *zfault, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  zfault = shared == MAP_FAILED ? NULL : shared;
}

static const char *name_of(int fd) { return fd >= 0 && fd < kMaxFd ? fd_name[fd] : ""; }
static void keep_name(char *to, const char *path) {
  const char *base = path ? strrchr(path, '/') : NULL;
  strncpy(to, base ? base + 1 : path ? path : "", sizeof zfault->calls[0].name - 1);
}

// Logs a call of the armed process; true when it is the one to fail.
static int must_fail(int kind, const char *name, int flags) {
  if (!zfault || !zfault->armed || zfault->pid != getpid()) return 0;
  const int64_t n = ++zfault->count;
  if (n <= ZF_MAX_CALLS) {
    struct zfault_call *c = &zfault->calls[n - 1];
    c->kind = (uint8_t)kind, c->flags = flags;
    memcpy(c->name, name, strnlen(name, sizeof c->name - 1));
  }
  return n == zfault->target && (zfault->hit = 1);
}

static int do_open(int large, int dirfd, const char *path, int flags, int mode) {
  char name[sizeof zfault->calls[0].name] = "";
  keep_name(name, path);
  if (must_fail(ZF_OPEN, name, flags)) return FAIL(EIO);
  const int fd = (large ? real_openat64 : real_openat)(dirfd, path, flags, mode);
  if (fd >= 0 && fd < kMaxFd) memcpy(fd_name[fd], name, sizeof name);
  return fd;
}

// The variadic open variants carry a mode when the flags create a file.
#define OPEN_WRAPPER(name, large, params, dirfd)                                                  \
  EXPORT int name params {                                                                        \
    va_list ap;                                                                                   \
    va_start(ap, f);                                                                              \
    const int m = (f & O_CREAT) || (f & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;            \
    return va_end(ap), do_open(large, dirfd, p, f, m);                                            \
  }
OPEN_WRAPPER(open, 0, (const char *p, int f, ...), AT_FDCWD)
OPEN_WRAPPER(open64, 1, (const char *p, int f, ...), AT_FDCWD)
OPEN_WRAPPER(openat, 0, (int d, const char *p, int f, ...), d)
OPEN_WRAPPER(openat64, 1, (int d, const char *p, int f, ...), d)
EXPORT int __open_2(const char *p, int f) { return do_open(0, AT_FDCWD, p, f, 0); }
EXPORT int __open64_2(const char *p, int f) { return do_open(1, AT_FDCWD, p, f, 0); }
EXPORT int __openat_2(int d, const char *p, int f) { return do_open(0, d, p, f, 0); }
EXPORT int __openat64_2(int d, const char *p, int f) { return do_open(1, d, p, f, 0); }

// A call that fails with EIO when it is the target, else is forwarded.
#define WRAP(type, name, params, kind, file, ...) \
  EXPORT type name params { return must_fail(kind, file, 0) ? FAIL(EIO) : real_##name(__VA_ARGS__); }
static const char *base_of(const char *path) {
  static char name[sizeof zfault->calls[0].name];
  memset(name, 0, sizeof name);
  return keep_name(name, path), name;
}
WRAP(ssize_t, read, (int fd, void *b, size_t n), ZF_READ, name_of(fd), fd, b, n)
WRAP(ssize_t, __read_chk, (int fd, void *b, size_t n, size_t l), ZF_READ, name_of(fd), fd, b, n, l)
WRAP(off_t, lseek, (int fd, off_t o, int w), ZF_LSEEK, name_of(fd), fd, o, w)
WRAP(off64_t, lseek64, (int fd, off64_t o, int w), ZF_LSEEK, name_of(fd), fd, o, w)
WRAP(int, unlink, (const char *p), ZF_UNLINK, base_of(p), p)
WRAP(int, link, (const char *from, const char *to), ZF_LINK, base_of(to), from, to)

EXPORT ssize_t write(int fd, const void *b, size_t n) {
  if (!must_fail(ZF_WRITE, name_of(fd), 0)) return real_write(fd, b, n);
  if (zfault->mode == ZF_SHORT) return real_write(fd, b, n / 2);
  return FAIL(zfault->mode == ZF_ENOSPC ? ENOSPC : EIO);
}

EXPORT int close(int fd) {
  const int fail = must_fail(ZF_CLOSE, name_of(fd), 0), r = real_close(fd);
  if (fd >= 0 && fd < kMaxFd) fd_name[fd][0] = '\0';
  return fail ? FAIL(EIO) : r;
}

// A sanitizer's run time maps memory before start() has run: such calls go to the kernel.
static void *kernel_mmap(void *a, size_t n, int prot, int flags, int fd, int64_t o) {
#ifdef SYS_mmap2
  return (void *)syscall(SYS_mmap2, a, n, prot, flags, fd, (long)(o >> 12));
#else
  return (void *)syscall(SYS_mmap, a, n, prot, flags, fd, (long)o);
#endif
}

// Only mappings of files count: anonymous memory is not a file call.
#define MMAP_WRAPPER(name, offset_type)                                                         \
  EXPORT void *name(void *a, size_t n, int prot, int flags, int fd, offset_type o) {            \
    if (!(flags & MAP_ANONYMOUS) && must_fail(ZF_MMAP, name_of(fd), 0)) return errno = ENOMEM, MAP_FAILED; \
    return real_##name ? real_##name(a, n, prot, flags, fd, o) : kernel_mmap(a, n, prot, flags, fd, o); \
  }
MMAP_WRAPPER(mmap, off_t)
MMAP_WRAPPER(mmap64, off64_t)

EXPORT int pthread_create(pthread_t *t, const pthread_attr_t *attr, void *(*fn)(void *), void *arg) {
  if (must_fail(ZF_THREAD, "(thread)", 0)) return EAGAIN;
  if (!real_pthread_create) RESOLVE(pthread_create);
  return real_pthread_create(t, attr, fn, arg);
}
