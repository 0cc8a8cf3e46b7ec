// Tests of the POSIX file calls behind the fault seam: injected failures come
// back as their errno, EINTR is retried invisibly, writes are chunked.
#include "runtime/platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "runtime/platform/fault.h"
#include "support/run.h"

namespace {

class FileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Sys::SetFault(0, 0);
    Sys::SetCallTrace(nullptr, 0, nullptr);
  }
  testsupport::TempDir dir_;
};

int OpenIn(const testsupport::TempDir& dir, const char* name, unsigned mode, int* fd) {
  return Sys::Open(dir.file(name).c_str(), mode, fd);
}

TEST_F(FileTest, InjectedErrorsComeBackAsTheirNumber) {
  struct Case {
    const char* what;
    unsigned kind;
    int error;
  } cases[] = {
      {"open", Sys::kCallOpen, EACCES},        {"read", Sys::kCallRead, EIO},
      {"write", Sys::kCallWrite, ENOSPC},      {"seek", Sys::kCallSeek, ESPIPE},
      {"truncate", Sys::kCallTruncate, EFBIG},
  };
  dir_.write("f", "abcdef");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int fd = -1;
    ASSERT_EQ(0, OpenIn(dir_, "f", Sys::kOpenRead | Sys::kOpenWrite, &fd));
    Sys::SetFault(1, c.error, c.kind);
    char buf[8];
    size_t got = 0;
    int e = 0;
    switch (c.kind) {
      case Sys::kCallOpen: e = OpenIn(dir_, "f", Sys::kOpenRead, &fd); break;
      case Sys::kCallRead: e = Sys::Read(fd, buf, sizeof buf, &got); break;
      case Sys::kCallWrite: e = Sys::WriteAll(fd, "xy", 2, 0, &got); break;
      case Sys::kCallSeek: e = Sys::Seek(fd, 0, SEEK_SET, nullptr); break;
      case Sys::kCallTruncate: e = Sys::TruncateHere(fd); break;
    }
    EXPECT_EQ(c.error, e);
    EXPECT_EQ(0u, got);
    Sys::SetFault(0, 0);
    Sys::Close(fd);
  }
  EXPECT_EQ("abcdef", dir_.read("f"));
}

TEST_F(FileTest, InterruptedCallsAreRetried) {
  dir_.write("f", "hello");
  int fd = -1;
  Sys::SetFault(1, EINTR, Sys::kCallOpen);
  ASSERT_EQ(0, OpenIn(dir_, "f", Sys::kOpenRead | Sys::kOpenWrite, &fd));
  EXPECT_EQ(2u, Sys::CallCount());

  char buf[16];
  size_t got = 0;
  Sys::SetFault(1, EINTR, Sys::kCallRead);
  ASSERT_EQ(0, Sys::Read(fd, buf, sizeof buf, &got));
  EXPECT_EQ("hello", std::string(buf, got));

  Sys::SetFault(1, EINTR, Sys::kCallWrite);
  size_t written = 0;
  ASSERT_EQ(0, Sys::WriteAll(fd, "++", 2, 0, &written));
  EXPECT_EQ(2u, written);

  Sys::SetFault(1, EINTR, Sys::kCallSeek);
  int64_t pos = -1;
  ASSERT_EQ(0, Sys::Seek(fd, 3, SEEK_SET, &pos));
  EXPECT_EQ(3, pos);

  Sys::SetFault(1, EINTR, Sys::kCallTruncate);
  ASSERT_EQ(0, Sys::TruncateHere(fd));

  Sys::SetFault(1, EINTR, Sys::kCallStat);
  Sys::FileKind kind = Sys::kFileOther;
  ASSERT_EQ(0, Sys::KindOf(fd, &kind));
  EXPECT_EQ(Sys::kFileDisk, kind);

  Sys::SetFault(1, EINTR, Sys::kCallOther);
  char cwd[512];
  ASSERT_EQ(0, Sys::CurrentDirectory(cwd, sizeof cwd));

  // An interrupted close has still released the descriptor: not an error.
  Sys::SetFault(1, EINTR, Sys::kCallClose);
  EXPECT_EQ(0, Sys::Close(fd));
  EXPECT_EQ(-1, ::fcntl(fd, F_GETFD));
  EXPECT_EQ("hel", dir_.read("f"));
}

// A cut where the file already ends is not asked of the system; a file
// with bytes beyond the position is cut there.
TEST_F(FileTest, TruncateHereCutsOnlyATail) {
  const struct {
    const char* content;
    const char* kept;
    bool cut;
  } cases[] = {{"", "", false}, {"abc", "abc", false}, {"abcdef", "abc", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    dir_.write("f", c.content);
    int fd = -1;
    ASSERT_EQ(0, OpenIn(dir_, "f", Sys::kOpenRead | Sys::kOpenWrite, &fd));
    ASSERT_EQ(0, Sys::Seek(fd, std::string(c.content).empty() ? 0 : 3, SEEK_SET, nullptr));
    Sys::CallKind trace[8];
    uint64_t traced = 0;
    Sys::SetFault(0, 0);
    Sys::SetCallTrace(trace, 8, &traced);
    EXPECT_EQ(0, Sys::TruncateHere(fd));
    Sys::SetCallTrace(nullptr, 0, nullptr);
    EXPECT_EQ(c.cut, traced > 0 && trace[traced - 1] == Sys::kCallTruncate);
    Sys::Close(fd);
    EXPECT_EQ(c.kept, dir_.read("f"));
  }
}

TEST_F(FileTest, WriteAllSplitsIntoChunksAndStopsAtAFailure) {
  int fd = -1;
  ASSERT_EQ(0, OpenIn(dir_, "f", Sys::kOpenWrite | Sys::kOpenCreate, &fd));
  Sys::CallKind trace[16];
  uint64_t traced = 0;
  Sys::SetFault(0, 0);
  Sys::SetCallTrace(trace, 16, &traced);
  size_t written = 0;
  ASSERT_EQ(0, Sys::WriteAll(fd, "0123456789", 10, 4, &written));
  EXPECT_EQ(10u, written);
  EXPECT_EQ(3u, traced);  // 4 + 4 + 2

  // The second chunk fails: the first stays written and is counted.
  Sys::SetFault(2, ENOSPC, Sys::kCallWrite);
  EXPECT_EQ(ENOSPC, Sys::WriteAll(fd, "abcdefghij", 10, 4, &written));
  EXPECT_EQ(4u, written);
  Sys::Close(fd);
  EXPECT_EQ("0123456789abcd", dir_.read("f"));
}

TEST_F(FileTest, OpenModes) {
  int fd = -1;
  EXPECT_EQ(ENOENT, OpenIn(dir_, "missing", Sys::kOpenRead, &fd));
  ASSERT_EQ(0, OpenIn(dir_, "new", Sys::kOpenRead | Sys::kOpenWrite | Sys::kOpenCreate, &fd));
  Sys::Close(fd);
  EXPECT_TRUE(dir_.exists("new"));
  EXPECT_EQ(EEXIST,
            OpenIn(dir_, "new", Sys::kOpenWrite | Sys::kOpenCreate | Sys::kOpenExclusive, &fd));
  dir_.write("old", "content");
  ASSERT_EQ(0, OpenIn(dir_, "old", Sys::kOpenWrite | Sys::kOpenTruncate, &fd));
  Sys::Close(fd);
  EXPECT_EQ("", dir_.read("old"));
  EXPECT_EQ(0, Sys::Remove(dir_.file("old").c_str()));
  EXPECT_FALSE(dir_.exists("old"));
  EXPECT_EQ(ENOENT, Sys::Remove(dir_.file("old").c_str()));
}

TEST_F(FileTest, KindOfTellsDiskFileCharacterDeviceAndPipe) {
  int fd = -1;
  ASSERT_EQ(0, OpenIn(dir_, "f", Sys::kOpenWrite | Sys::kOpenCreate, &fd));
  Sys::FileKind kind = Sys::kFileOther;
  ASSERT_EQ(0, Sys::KindOf(fd, &kind));
  EXPECT_EQ(Sys::kFileDisk, kind);
  Sys::Close(fd);
  ASSERT_EQ(0, Sys::Open("/dev/null", Sys::kOpenWrite, &fd));
  ASSERT_EQ(0, Sys::KindOf(fd, &kind));
  EXPECT_EQ(Sys::kFileCharDevice, kind);
  Sys::Close(fd);
  int p[2];
  ASSERT_EQ(0, ::pipe(p));
  ASSERT_EQ(0, Sys::KindOf(p[0], &kind));
  EXPECT_EQ(Sys::kFileOther, kind);
  ::close(p[0]);
  ::close(p[1]);
}

TEST_F(FileTest, WriteToAFullDeviceFails) {
  int fd = -1;
  if (Sys::Open("/dev/full", Sys::kOpenWrite, &fd) != 0) GTEST_SKIP() << "no /dev/full";
  size_t written = 1;
  EXPECT_EQ(ENOSPC, Sys::WriteAll(fd, "x", 1, 0, &written));
  EXPECT_EQ(0u, written);
  Sys::Close(fd);
}

}  // namespace
