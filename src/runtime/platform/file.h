// File service of the run-time on POSIX: open, read, write, seek, truncate,
// close and file kind, each through the fault seam. Every function returns 0
// or the errno value of the failure; EINTR is retried here, for every caller.
#pragma once
#include <cstddef>
#include <cstdint>

namespace Sys {

enum FileKind : int { kFileDisk = 0, kFileCharDevice = 1, kFileOther = 2 };

enum OpenMode : unsigned {
  kOpenRead = 1u << 0,
  kOpenWrite = 1u << 1,
  kOpenCreate = 1u << 2,     // create when missing
  kOpenExclusive = 1u << 3,  // fail when it exists
  kOpenTruncate = 1u << 4,   // cut to length 0
};

// Opens `path` (NUL-terminated) with the OpenMode bits; *fd receives the
// descriptor (close-on-exec, permissions 0666 before the umask).
int Open(const char* path, unsigned mode, int* fd);

// Reads at most n bytes; *got = 0 means end of file.
int Read(int fd, void* buf, size_t n, size_t* got);

// Writes all n bytes in pieces of at most `chunk` bytes (0: no limit),
// retrying short writes. *written receives the bytes written; a write that
// writes nothing ends the loop with EIO.
int WriteAll(int fd, const void* buf, size_t n, size_t chunk, size_t* written);

// Repositions; *pos (may be null) receives the new offset.
int Seek(int fd, int64_t offset, int whence, int64_t* pos);

// Cuts the file at its current position. A file that already ends there is
// left alone: the cut is not asked of the system (nor counted by the seam).
int TruncateHere(int fd);

int Close(int fd);

// Removes the directory entry `path` (an open descriptor stays usable).
int Remove(const char* path);

// Classifies the descriptor (regular file, character device, other).
int KindOf(int fd, FileKind* kind);

// What makes two descriptors the same file: the device and the inode.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool regular = false;  // an ordinary disk file
};
int IdentifyFile(int fd, FileId* id);

// The device that discards what is written and reads as empty.
inline constexpr char kNullDevice[] = "/dev/null";

// Puts the null device on descriptor `fd` (read for 0, write for any other)
// when `fd` is not open; an open descriptor is left as it is, and so is one
// whose state the system does not tell. Returns 0 or the error of the open.
int FillIfClosed(int fd);

// The device and inode of the file at `path` (links followed), which tell
// whether two names reach the same file.
int Identity(const char* path, uint64_t* device, uint64_t* inode);

// True when the descriptor is a terminal.
bool IsTerminal(int fd);

// Renames `from` to `to`, replacing `to` atomically.
int Rename(const char* from, const char* to);

// The current directory into buf (NUL-terminated).
int CurrentDirectory(char* buf, size_t size);

// The system's text for an error number (NUL-terminated, cut to size).
void ErrorText(int error, char* buf, size_t size);

}  // namespace Sys
