// POSIX file calls behind the fault seam, with EINTR retried.
#include "runtime/platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/platform/fault.h"
#include "runtime/platform/signals.h"

namespace Sys {

int Open(const char* path, unsigned mode, int* fd) {
  int flags = O_CLOEXEC;
  if ((mode & kOpenRead) && (mode & kOpenWrite)) flags |= O_RDWR;
  else if (mode & kOpenWrite) flags |= O_WRONLY;
  else flags |= O_RDONLY;
  if (mode & kOpenCreate) flags |= O_CREAT;
  if (mode & kOpenExclusive) flags |= O_EXCL;
  if (mode & kOpenTruncate) flags |= O_TRUNC;
  for (;;) {
    int e = CheckFault(kCallOpen);
    if (e == 0) {
      int r = ::open(path, flags, 0666);
      if (r >= 0) {
        *fd = r;
        return 0;
      }
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

int Read(int fd, void* buf, size_t n, size_t* got) {
  *got = 0;
  for (;;) {
    int e = CheckFault(kCallRead);
    if (e == 0) {
      ssize_t r = ::read(fd, buf, n);
      if (r >= 0) {
        *got = static_cast<size_t>(r);
        return 0;
      }
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

namespace {

// The write system call itself, without the C library's wrapper: once a
// process has started a thread the wrapper makes every write a cancellation
// point (two more calls around it), a cost that the one write per record
// pays for the rest of the run. Nothing here is ever cancelled.
ssize_t WriteCall(int fd, const void* p, size_t n) {
  return static_cast<ssize_t>(::syscall(SYS_write, fd, p, n));
}

}  // namespace

int WriteAll(int fd, const void* buf, size_t n, size_t chunk, size_t* written) {
  const char* p = static_cast<const char*>(buf);
  size_t done = 0;
  int result = 0;
  while (done < n) {
    size_t want = n - done;
    if (chunk != 0 && want > chunk) want = chunk;
    int e = CheckFault(kCallWrite);
    ssize_t r = -1;
    if (e == 0) {
      r = WriteCall(fd, p + done, want);
      if (r < 0) e = errno;
    }
    if (e == EINTR) {
      RunInterruptHook();
      continue;
    }
    if (e != 0) {
      result = e;
      break;
    }
    if (r == 0) {
      result = EIO;
      break;
    }
    done += static_cast<size_t>(r);
  }
  if (written) *written = done;
  return result;
}

int Seek(int fd, int64_t offset, int whence, int64_t* pos) {
  for (;;) {
    int e = CheckFault(kCallSeek);
    if (e == 0) {
      off_t r = ::lseek(fd, static_cast<off_t>(offset), whence);
      if (r >= 0) {
        if (pos) *pos = static_cast<int64_t>(r);
        return 0;
      }
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

namespace {

// fstat of `fd` behind the fault seam, retried after an interruption;
// returns 0 or the error number.
int StatDescriptor(int fd, struct stat* st) {
  for (;;) {
    int e = CheckFault(kCallStat);
    if (e == 0) {
      if (::fstat(fd, st) == 0) return 0;
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

// True when the file on `fd` is known to end at byte `offset`: a cut there
// would change nothing. A file system may still pay for such a cut (a cut to
// length 0 makes ext4 write the file back when it is closed).
bool EndsAt(int fd, int64_t offset) {
  struct stat st;
  return StatDescriptor(fd, &st) == 0 && static_cast<int64_t>(st.st_size) == offset;
}

}  // namespace

int TruncateHere(int fd) {
  int64_t here = 0;
  if (int e = Seek(fd, 0, SEEK_CUR, &here)) return e;
  if (EndsAt(fd, here)) return 0;
  for (;;) {
    int e = CheckFault(kCallTruncate);
    if (e == 0) {
      if (::ftruncate(fd, static_cast<off_t>(here)) == 0) return 0;
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

int Close(int fd) {
  int e = CheckFault(kCallClose);
  if (e != 0) {
    ::close(fd);  // the descriptor is released whatever the plan says
    return e == EINTR ? 0 : e;
  }
  // close is not retried on EINTR: the descriptor is gone either way.
  if (::close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

int Remove(const char* path) {
  for (;;) {
    int e = CheckFault(kCallOther);
    if (e == 0) {
      if (::unlink(path) == 0) return 0;
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

int KindOf(int fd, FileKind* kind) {
  struct stat st;
  if (const int e = StatDescriptor(fd, &st)) return e;
  if (S_ISREG(st.st_mode)) *kind = kFileDisk;
  else if (S_ISCHR(st.st_mode)) *kind = kFileCharDevice;
  else *kind = kFileOther;
  return 0;
}

int IdentifyFile(int fd, FileId* id) {
  struct stat st;
  if (const int e = StatDescriptor(fd, &st)) return e;
  id->device = static_cast<uint64_t>(st.st_dev);
  id->inode = static_cast<uint64_t>(st.st_ino);
  id->regular = S_ISREG(st.st_mode);
  return 0;
}

int FillIfClosed(int fd) {
  for (;;) {
    int e = CheckFault(kCallStat);
    if (e == 0) {
      if (::fcntl(fd, F_GETFD) != -1) return 0;
      e = errno;
    }
    if (e == EBADF) break;
    if (e != EINTR) return 0;  // not known to be closed: left alone
    RunInterruptHook();
  }
  // Not close-on-exec: it stands for a standard stream. The lowest free
  // descriptor is taken, which is `fd` when the lower ones are open.
  int got = -1;
  for (;;) {
    int e = CheckFault(kCallOpen);
    if (e == 0) {
      got = ::open(kNullDevice, fd == 0 ? O_RDONLY : O_WRONLY);
      if (got >= 0) break;
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
  if (got == fd) return 0;
  int e = CheckFault(kCallOther);
  if (e == 0 && ::dup2(got, fd) != fd) e = errno;
  ::close(got);
  return e;
}

int Identity(const char* path, uint64_t* device, uint64_t* inode) {
  struct stat st;
  for (;;) {
    int e = CheckFault(kCallStat);
    if (e == 0) {
      if (::stat(path, &st) == 0) {
        *device = static_cast<uint64_t>(st.st_dev);
        *inode = static_cast<uint64_t>(st.st_ino);
        return 0;
      }
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

bool IsTerminal(int fd) { return CheckFault(kCallOther) == 0 && ::isatty(fd) == 1; }

int Rename(const char* from, const char* to) {
  for (;;) {
    int e = CheckFault(kCallOther);
    if (e == 0) {
      if (::rename(from, to) == 0) return 0;
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

int CurrentDirectory(char* buf, size_t size) {
  for (;;) {
    int e = CheckFault(kCallOther);
    if (e == 0) {
      if (::getcwd(buf, size) != nullptr) return 0;
      e = errno;
    }
    if (e != EINTR) return e;
    RunInterruptHook();
  }
}

void ErrorText(int error, char* buf, size_t size) {
  if (size == 0) return;
  buf[0] = '\0';
  // The GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(error, buf, size);
  if (text != buf) {
    size_t n = std::strlen(text);
    if (n >= size) n = size - 1;
    std::memcpy(buf, text, n);
    buf[n] = '\0';
  }
}

}  // namespace Sys
