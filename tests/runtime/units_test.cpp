// Tests of the unit table, locking, connection (names, open fallbacks, error
// mapping, finishing), record output, rewinding and closing. Paths that end
// the run or read the environment run in a forked child.
#include "runtime/statement.h"
#include "runtime/units.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "runtime/items.h"
#include "runtime/platform/fault.h"
#include "runtime/unitenv.h"
#include "support/run.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

// An attribute list: FILE (when given), then the extra items, then the end.
struct Attrs {
  std::vector<OpenAttr> items;
  explicit Attrs(const std::string* file, std::vector<OpenAttr> extra = {}) {
    if (file)
      items.push_back(
          {kTypeChar, kFormText, kAttrFile, 0, file->data(), static_cast<int32_t>(file->size())});
    items.insert(items.end(), extra.begin(), extra.end());
    items.push_back({kTypeEnd, 0, 0, 0, nullptr, 0});
  }
  const OpenAttr* get() const { return items.data(); }
};

OpenAttr Word(uint8_t code, const char* text) {
  return {kTypeChar, kFormText, code, 0, text, static_cast<int32_t>(std::strlen(text))};
}
OpenAttr Value(uint8_t code, int32_t value) {
  return {kTypeInt32, kFormValue, code, value, nullptr, 0};
}

class UnitsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Sys::SetFault(0, 0);
    Sys::SetCallTrace(nullptr, 0, nullptr);
    CloseAllUnits();
  }

  // Acquires `number` and connects it; returns the connection's result and
  // leaves the unit acquired in *unit.
  int Connect(int number, const std::string& file, std::vector<OpenAttr> extra, UnitBlock** unit) {
    EXPECT_EQ(0, AcquireUnit(number, unit));
    Attrs a(&file, std::move(extra));
    return ConnectAcquired(*unit, a.get());
  }

  // Connects a file of the temp dir as `number` and releases the unit.
  UnitBlock* Open(int number, const std::string& name, std::vector<OpenAttr> extra = {}) {
    UnitBlock* u = nullptr;
    int e = Connect(number, dir_.file(name), std::move(extra), &u);
    EXPECT_EQ(0, e);
    ReleaseUnit(u);
    return u;
  }

  // Builds `text` as the next record in the unit's buffer and puts it.
  static int Put(UnitBlock* u, const std::string& text) {
    char* at = u->pending_end ? u->pending_end : u->buffer;
    std::memcpy(at, text.data(), text.size());
    return PutRecord(u, at, text.size());
  }

  TempDir dir_;
};

// ---- Table and locks ---------------------------------------------------------

TEST_F(UnitsTest, NumbersFindTheirEntries) {
  struct Case {
    int number;
    int error;
  } cases[] = {{-4, 0},  {-1, 0},   {0, 0},          {99, 0},  {100, 0},
               {621, 0}, {1142, 0}, {2147483647, 0}, {-6, 32}, {-2147483647 - 1, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    UnitBlock* u = reinterpret_cast<UnitBlock*>(1);
    ASSERT_EQ(c.error, AcquireUnit(c.number, &u));
    if (c.error) {
      EXPECT_EQ(nullptr, u);
      continue;
    }
    EXPECT_EQ(c.number, u->number);
    EXPECT_FALSE(u->flags & kUnitConnected);
    ReleaseUnit(u);
    UnitBlock* again = nullptr;
    ASSERT_EQ(0, AcquireUnit(c.number, &again));
    EXPECT_EQ(u, again);  // 100, 621 and 1142 share a bucket but not an entry
    ReleaseUnit(again);
  }
}

TEST_F(UnitsTest, PrivateUnitGetsAFreshEntryEachTime) {
  UnitBlock* a = nullptr;
  UnitBlock* b = nullptr;
  ASSERT_EQ(0, AcquireUnit(-5, &a));
  ASSERT_EQ(0, AcquireUnit(-5, &b));
  EXPECT_NE(a, b);
  EXPECT_EQ(-5, a->number);
  ReleaseUnit(a);
  ReleaseUnit(b);
}

TEST_F(UnitsTest, SecondStatementOnAHeldUnitInTheSameThreadFailsWith40) {
  UnitBlock* u = nullptr;
  ASSERT_EQ(0, AcquireUnit(7, &u));
  UnitBlock* again = nullptr;
  EXPECT_EQ(40, AcquireUnit(7, &again));
  EXPECT_EQ(u, again);
  UnitBlock* other = nullptr;
  EXPECT_EQ(0, AcquireUnit(8, &other));  // another unit is free
  ReleaseUnit(other);
  ReleaseUnit(u);
  ASSERT_EQ(0, AcquireUnit(7, &again));
  ReleaseUnit(again);
}

TEST_F(UnitsTest, AnotherThreadWaitsForTheLock) {
  UnitBlock* u = nullptr;
  ASSERT_EQ(0, AcquireUnit(9, &u));
  std::atomic<int> result{-1};
  std::thread t([&] {
    UnitBlock* v = nullptr;
    int e = AcquireUnit(9, &v);
    result = e;
    if (e == 0) ReleaseUnit(v);
  });
  EXPECT_EQ(-1, result.load());  // cannot have the unit while this thread holds it
  ReleaseUnit(u);
  t.join();
  EXPECT_EQ(0, result.load());  // waited, no 40
}

// ---- Connection ----------------------------------------------------------------

TEST_F(UnitsTest, DefaultsOfAConnection) {
  EXPECT_FALSE(dir_.exists("input.txt"));
  UnitBlock* u = Open(1, "input.txt", {Value(kAttrStatus, kStatusUnknown)});
  EXPECT_TRUE(dir_.exists("input.txt"));  // created empty
  EXPECT_EQ(dir_.file("input.txt"), std::string(u->name, u->name_len));
  EXPECT_EQ(kRecStreamCRLF, u->record_type);
  EXPECT_EQ(kCcList, u->carriage_control);
  EXPECT_EQ(132, u->recl);
  EXPECT_EQ(134, u->allowance);
  EXPECT_EQ(80, u->line_width);
  EXPECT_EQ(8192, u->capacity);
  EXPECT_EQ(131072, u->write_chunk);
  EXPECT_EQ(1u, u->record_counter);
  EXPECT_EQ('\n', u->terminator);
  EXPECT_EQ(-1, u->device_kind);
  const uint32_t want = kUnitConnected | kUnitFormatted | kUnitSequential | kUnitDiskFile |
                        kUnitTruncateNext | kUnitLengthDefaulted;
  EXPECT_EQ(want, u->flags);
  EXPECT_EQ(u->buffer, u->pos);
  EXPECT_EQ(u->buffer, u->record_end);
  EXPECT_EQ(0u, u->readahead_len);
  EXPECT_EQ(nullptr, u->pending_end);
  EXPECT_TRUE(AnyUnitConnected());
}

TEST_F(UnitsTest, AttributeWordsAndErrors) {
  struct Case {
    const char* what;
    OpenAttr attr;
    int error;
  } cases[] = {
      {"status text lower case with blanks", Word(kAttrStatus, "unknown  "), 0},
      {"status REPLACE", Word(kAttrStatus, "Replace"), 0},
      {"status word unknown", Word(kAttrStatus, "MAYBE"), 45},
      {"status number out of list", Value(kAttrStatus, 9), 45},
      {"form number", Value(kAttrForm, 1), 0},
      {"buffered YES", Word(kAttrBuffered, "YES"), 0},
      {"buffered empty", Word(kAttrBuffered, ""), 45},
      {"recl zero", Value(kAttrRecl, 0), 45},
      {"code 1", {kTypeInt32, kFormValue, 1, 0, nullptr, 0}, 48},
      {"code 0", {kTypeInt32, kFormValue, 0, 0, nullptr, 0}, 48},
      {"code 86", {kTypeInt32, kFormValue, 86, 0, nullptr, 0}, 48},
      {"unused code in range", {kTypeInt32, kFormValue, 85, 3, nullptr, 0}, 0},
  };
  int number = 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UnitBlock* u = nullptr;
    EXPECT_EQ(c.error, Connect(number++, dir_.file("f"), {c.attr}, &u));
    EXPECT_EQ(c.error == 0, (u->flags & kUnitConnected) != 0);
    if (c.error) DiscardConnection(u);
    ReleaseUnit(u);
  }
}

TEST_F(UnitsTest, OpenErrorsMapToTheirNumbers) {
  dir_.write("exists", "x");
  ::mkdir(dir_.file("subdir").c_str(), 0755);
  struct Case {
    const char* what;
    std::string name;
    std::vector<OpenAttr> extra;
    int error;
    int sys;
  } cases[] = {
      {"missing directory", dir_.file("nodir/f"), {}, 29, ENOENT},
      {"path through a file", dir_.file("exists/f"), {}, 29, ENOTDIR},
      {"OLD and missing", dir_.file("missing"), {Value(kAttrStatus, kStatusOld)}, 29, ENOENT},
      {"NEW and existing", dir_.file("exists"), {Value(kAttrStatus, kStatusNew)}, 10, EEXIST},
      {"a directory", dir_.file("subdir"), {}, 30, EISDIR},
      {"name with a NUL inside", std::string("a\0b", 3), {}, 43, 0},
      {"empty name", "   ", {}, 29, ENOENT},
  };
  int number = 30;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UnitBlock* u = nullptr;
    EXPECT_EQ(c.error, Connect(number++, c.name, c.extra, &u));
    EXPECT_EQ(c.sys, u->last_error);
    EXPECT_EQ(-1, u->fd);
    DiscardConnection(u);
    ReleaseUnit(u);
  }
}

TEST_F(UnitsTest, InjectedOpenErrorsMapToTheirNumbers) {
  struct Case {
    int sys;
    int error;
  } cases[] = {{EMFILE, 30}, {ENFILE, 30}, {ENXIO, 42},  {ENODEV, 42}, {ENAMETOOLONG, 43},
               {EILSEQ, 43}, {EIO, 30},    {EEXIST, 10}, {ENOENT, 29}};
  int number = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sys);
    Sys::SetFault(1, c.sys, Sys::kCallOpen);
    UnitBlock* u = nullptr;
    EXPECT_EQ(c.error, Connect(number++, dir_.file("f"), {}, &u));
    EXPECT_EQ(c.sys, u->last_error);
    DiscardConnection(u);
    ReleaseUnit(u);
  }
}

TEST_F(UnitsTest, AccessDeniedRetriesReadOnlyUnlessActionIsGiven) {
  struct Case {
    int sys;
    std::vector<OpenAttr> extra;
    int error;
    uint64_t opens;
  } cases[] = {
      {EACCES, {}, 0, 2},
      {EPERM, {}, 0, 2},
      {EROFS, {}, 0, 2},
      {EACCES, {Word(kAttrAction, "READWRITE")}, 9, 1},
      {EROFS, {Word(kAttrAction, "WRITE")}, 9, 1},
  };
  dir_.write("f", "data\n");
  int number = 50;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sys);
    Sys::SetFault(1, c.sys, Sys::kCallOpen);
    UnitBlock* u = nullptr;
    EXPECT_EQ(c.error, Connect(number++, dir_.file("f"), c.extra, &u));
    EXPECT_EQ(c.opens, Sys::CallCount());
    if (c.error == 0) {
      EXPECT_TRUE(u->flags & kUnitReadOnly);
      char b[8];
      EXPECT_EQ(5, ::read(u->fd, b, sizeof b));
      EXPECT_EQ(-1, ::write(u->fd, "x", 1));  // the descriptor is read-only
    }
    DiscardConnection(u);
    ReleaseUnit(u);
  }
}

TEST_F(UnitsTest, NamesAreTrimmedCutAndMadeAbsolute) {
  struct Case {
    std::string text;
    std::string want;  // with "@" for the directory
    int device;
  } cases[] = {
      {"  out.txt  ", "@/out.txt", -1},
      {std::string("out.txt\0\0", 9), "@/out.txt", -1},
      {"CON", "CON", 1},
      {"conout$", "conout$", 1},
      {"User", "User", 1},
      {"CONIN$", "CONIN$", 0},
      {"err", "err", 2},
      {"con.txt", "con.txt", 1},
      {"CON.", "CON.", 1},
      {"NUL.txt", "@/NUL.txt", 3},
      {"aux", "@/aux", 3},
      {"LPT1.txt", "@/LPT1.txt", -1},
      {"COM5", "@/COM5", -1},
      {"input.con", "@/input.con", -1},
  };
  char cwd[512];
  ASSERT_NE(nullptr, ::getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, ::chdir(dir_.path().c_str()));
  int number = 60;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    UnitBlock* u = nullptr;
    ASSERT_EQ(0, Connect(number++, c.text, {}, &u));
    std::string want = c.want[0] == '@' ? dir_.path() + c.want.substr(1) : c.want;
    EXPECT_EQ(want, std::string(u->name, u->name_len));
    EXPECT_EQ(c.device, u->device_kind);
    if (c.device >= 0 && c.device <= 2) {
      EXPECT_EQ(c.device, u->fd);
      EXPECT_TRUE(u->flags & kUnitStdHandle);
    }
    ReleaseUnit(u);
  }
  CloseAllUnits();
  // Standard descriptors stay open after closing.
  EXPECT_NE(-1, ::fcntl(0, F_GETFD));
  EXPECT_NE(-1, ::fcntl(1, F_GETFD));
  EXPECT_NE(-1, ::fcntl(2, F_GETFD));
  EXPECT_EQ(0, ::chdir(cwd));
}

TEST_F(UnitsTest, LongNameIsCutTo256BeforeResolution) {
  std::string name(300, 'a');
  auto r = RunInChild(dir_.path(), [&] {
    UnitBlock* u = nullptr;
    AcquireUnit(1, &u);
    Attrs a(&name);
    int e = ConnectAcquired(u, a.get());
    // 256 characters stay, relative: joined they would not fit.
    if (u->name_len != 256 || std::string(u->name) != std::string(256, 'a')) return 100;
    return e;
  });
  EXPECT_EQ(43, r.status);  // a component of 256 bytes is too long for the system
}

TEST_F(UnitsTest, ReconnectingTheSameFileKeepsTheConnection) {
  UnitBlock* u = Open(70, "f");
  int fd = u->fd;
  UnitBlock* again = Open(70, "f");
  EXPECT_EQ(u, again);
  EXPECT_EQ(fd, again->fd);
  dir_.write("g", "");
  UnitBlock* other = Open(70, "g");
  EXPECT_EQ(dir_.file("g"), std::string(other->name, other->name_len));
}

// ---- Finishing: sizes, buffering, terminators -----------------------------------

// Connects unit 1 to "f" in a child with `env`; the child reports the unit's
// numbers on standard output.
testsupport::RunResult ConnectInChild(const TempDir& dir, const testsupport::Env& env,
                                      std::vector<OpenAttr> extra = {}) {
  return RunInChild(
      dir.path(),
      [&] {
        UnitEnv::Forget();
        UnitBlock* u = nullptr;
        AcquireUnit(1, &u);
        std::string name = "f";
        Attrs a(&name, extra);
        int e = ConnectAcquired(u, a.get());
        std::string line = std::to_string(e) + " " + std::to_string(u->recl) + " " +
                           std::to_string(u->allowance) + " " + std::to_string(u->line_width) +
                           " " + std::to_string(u->capacity) + " " +
                           std::to_string(u->write_chunk) + " " + std::to_string(u->record_type) +
                           " " + std::to_string(u->carriage_control) + " " +
                           std::to_string((u->flags & kUnitBuffered) ? 1 : 0) + "\n";
        ::write(1, line.data(), line.size());
        return 0;
      },
      env);
}

TEST_F(UnitsTest, EnvironmentShapesTheConnection) {
  struct Case {
    const char* what;
    testsupport::Env env;
    std::vector<OpenAttr> extra;
    const char* want;  // error recl allowance width capacity chunk type cc buffered
  } cases[] = {
      {"defaults", {}, {}, "0 132 134 80 8192 131072 8 2 0\n"},
      {"record length 100", {{"VELD_FMT_RECL", "100"}}, {}, "0 100 101 101 8192 131072 8 2 0\n"},
      {"record length 0 ignored",
       {{"VELD_FMT_RECL", " 0 "}},
       {},
       "0 132 134 80 8192 131072 8 2 0\n"},
      {"record length negative", {{"VELD_FMT_RECL", "-5"}}, {}, "99 "},
      {"record length text", {{"VELD_FMT_RECL", "abc"}}, {}, "99 "},
      {"record length given wins",
       {{"VELD_FMT_RECL", "abc"}},
       {Value(kAttrRecl, 40)},
       "0 40 41 41 8192 131072 8 2 0\n"},
      {"buffer count 200", {{"VELD_BUFFERCOUNT", "200"}}, {}, "107 "},
      {"buffer count 2", {{"VELD_BUFFERCOUNT", "2"}}, {}, "0 132 134 80 16384 131072 8 2 0\n"},
      {"block size 1000", {{"VELD_BLOCKSIZE", "1000"}}, {}, "0 132 134 80 1024 1024 8 2 0\n"},
      {"block size 100", {{"VELD_BLOCKSIZE", "100"}}, {}, "0 132 134 80 512 512 8 2 0\n"},
      {"block size malformed", {{"VELD_BLOCKSIZE", "1k"}}, {}, "106 "},
      {"block size attribute",
       {},
       {Value(kAttrBlockSize, 600), Value(kAttrBufferCount, 3)},
       "0 132 134 80 3072 1024 8 2 0\n"},
      {"buffered", {{"VELD_BUFFERED", "y"}}, {}, "0 132 134 80 8192 131072 8 2 1\n"},
      {"buffered NO wins",
       {{"VELD_BUFFERED", "1"}},
       {Word(kAttrBuffered, "NO")},
       "0 132 134 80 8192 131072 8 2 0\n"},
      {"terminator LF", {{"VELD_FMT_TERMINATOR", "LF"}}, {}, "0 132 134 80 8192 131072 6 3 0\n"},
      {"terminator other unit",
       {{"VELD_FMT_TERMINATOR", "CR:2"}},
       {},
       "0 132 134 80 8192 131072 8 2 0\n"},
      {"terminator for unit 1",
       {{"VELD_FMT_TERMINATOR", "CRLF;CR:1"}},
       {},
       "0 132 134 80 8192 131072 7 3 0\n"},
      {"record type given wins",
       {{"VELD_FMT_TERMINATOR", "LF"}},
       {Word(kAttrRecordType, "STREAM_CR")},
       "0 132 134 80 8192 131072 7 2 0\n"},
      {"carriage control NONE",
       {},
       {Word(kAttrCarriageControl, "NONE")},
       "0 132 133 133 8192 131072 5 3 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto r = ConnectInChild(dir_, c.env, c.extra);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(0u, r.out.rfind(c.want, 0)) << r.out;
  }
}

TEST_F(UnitsTest, TerminatorOfRecordTypes) {
  struct Case {
    const char* type;
    const char* bytes;
    char input_terminator;
  } cases[] = {{"STREAM_CRLF", "ab\r\n", '\n'},
               {"STREAM_LF", "ab\n", '\n'},
               {"STREAM_CR", "ab\r", '\r'},
               {"STREAM", "ab", '\n'}};
  int number = 80;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    std::string name = std::string("t") + c.type;
    UnitBlock* u = Open(number++, name, {Word(kAttrRecordType, c.type)});
    EXPECT_EQ(c.input_terminator, u->terminator);
    ASSERT_EQ(0, AcquireUnit(u->number, &u));
    EXPECT_EQ(0, Put(u, "ab"));
    ReleaseUnit(u);
    EXPECT_EQ(c.bytes, dir_.read(name));
  }
}

// ---- Records ---------------------------------------------------------------------

TEST_F(UnitsTest, OneWritePerRecordAndTheOldTailGoesAtTheFirst) {
  dir_.write("out", std::string(1000, 'z'));
  UnitBlock* u = Open(3, "out");
  EXPECT_EQ(std::string(1000, 'z'), dir_.read("out"));  // connecting cuts nothing
  Sys::CallKind trace[64];
  uint64_t traced = 0;
  Sys::SetFault(0, 0);
  Sys::SetCallTrace(trace, 64, &traced);
  ASSERT_EQ(0, Put(u, "first"));
  EXPECT_EQ("first\r\n", dir_.read("out"));
  EXPECT_FALSE(u->flags & kUnitTruncateNext);
  const uint64_t after_first = traced;
  for (int i = 0; i < 10; ++i) ASSERT_EQ(0, Put(u, "next"));
  ASSERT_EQ(after_first + 10, traced);
  for (uint64_t i = after_first; i < traced; ++i) EXPECT_EQ(Sys::kCallWrite, trace[i]);
  EXPECT_EQ(7 + 10 * 6, u->file_position);
  std::string want = "first\r\n";
  for (int i = 0; i < 10; ++i) want += "next\r\n";
  EXPECT_EQ(want, dir_.read("out"));
}

TEST_F(UnitsTest, WriteFailuresGive38AndKeepTheSystemError) {
  UnitBlock* u = Open(3, "out");
  ASSERT_EQ(0, Put(u, "kept"));
  Sys::SetFault(1, ENOSPC, Sys::kCallWrite);
  EXPECT_EQ(38, Put(u, "lost"));
  EXPECT_EQ(ENOSPC, u->last_error);
  Sys::SetFault(1, EINTR, Sys::kCallWrite);
  EXPECT_EQ(0, Put(u, "retried"));
  EXPECT_EQ("kept\r\nretried\r\n", dir_.read("out"));
}

TEST_F(UnitsTest, TruncationFailureGives38) {
  dir_.write("out", "an old tail to cut");
  UnitBlock* u = Open(3, "out");
  Sys::SetFault(1, EIO, Sys::kCallTruncate);
  EXPECT_EQ(38, Put(u, "rec"));
  EXPECT_EQ(EIO, u->last_error);
  EXPECT_EQ("rec\r\nd tail to cut", dir_.read("out"));  // the record itself was written
  EXPECT_EQ(0, Put(u, "more"));                         // the flag is gone
}

TEST_F(UnitsTest, FullDeviceGives38) {
  UnitBlock* u = nullptr;
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(0, Connect(3, "/dev/full", {}, &u));
  EXPECT_EQ(38, Put(u, "x"));
  EXPECT_EQ(ENOSPC, u->last_error);
  ReleaseUnit(u);
}

TEST_F(UnitsTest, BufferedUnitHoldsRecordsAndWritesTheSameBytes) {
  dir_.write("out", std::string(5000, 'z'));
  UnitBlock* u = Open(3, "out", {Word(kAttrBuffered, "YES")});
  ASSERT_TRUE(u->flags & kUnitBuffered);
  std::string want;
  int held_records = 0;
  for (int i = 0; i < 300; ++i) {
    std::string rec = "record " + std::to_string(i) + std::string(20, ' ');
    ASSERT_EQ(0, Put(u, rec));
    want += rec + "\r\n";
    if (u->pending_end) {
      // Room for two more records of the allowance stays behind held output.
      EXPECT_LE(u->pending_end - u->buffer + 2 * u->allowance, u->capacity);
      ++held_records;
    }
  }
  EXPECT_GT(held_records, 200);
  EXPECT_LT(dir_.read("out").size(), want.size());
  CloseAllUnits();
  EXPECT_EQ(want, dir_.read("out"));  // the old tail is gone, nothing is lost
}

TEST_F(UnitsTest, ReadAheadIsGivenBackBeforeAWrite) {
  dir_.write("f", "line1\nline2\nline3\n");
  UnitBlock* u = Open(12, "f");
  ASSERT_EQ(0, AcquireUnit(12, &u));
  // As a reader would leave it: 6 bytes of record, 12 bytes read ahead.
  ASSERT_EQ(18, ::read(u->fd, u->buffer, 18));
  u->readahead = u->buffer + 6;
  u->readahead_len = 12;
  EXPECT_EQ(0, Put(u, "new"));
  EXPECT_EQ("line1\nnew\r\n", dir_.read("f"));
  ReleaseUnit(u);
}

// ---- Rewind --------------------------------------------------------------------

TEST_F(UnitsTest, RewindReturnsToTheStartAndArmsTruncation) {
  UnitBlock* u = Open(2, "f");
  ASSERT_EQ(0, AcquireUnit(2, &u));
  ASSERT_EQ(0, Put(u, "one"));
  ASSERT_EQ(0, Put(u, "two"));
  u->record_counter = 5;
  u->readahead = u->buffer + 3;
  u->readahead_len = 0;
  ReleaseUnit(u);
  ASSERT_EQ(0, RewindUnit(2, 0));
  EXPECT_EQ(1u, u->record_counter);
  EXPECT_EQ(0, u->file_position);
  EXPECT_EQ(u->buffer, u->pos);
  EXPECT_EQ(u->buffer, u->record_end);
  EXPECT_EQ(0u, u->readahead_len);
  EXPECT_TRUE(u->flags & kUnitTruncateNext);
  char b[4];
  EXPECT_EQ(3, ::read(u->fd, b, 3));  // the system position is at byte 0
  ::lseek(u->fd, 0, SEEK_SET);
  ASSERT_EQ(0, AcquireUnit(2, &u));
  ASSERT_EQ(0, Put(u, "1"));
  ReleaseUnit(u);
  EXPECT_EQ("1\r\n", dir_.read("f"));
}

TEST_F(UnitsTest, RewindOfAnUnconnectedUnitChangesNothing) {
  EXPECT_EQ(0, RewindUnit(90, 0));
  UnitBlock* u = nullptr;
  ASSERT_EQ(0, AcquireUnit(90, &u));
  EXPECT_FALSE(u->flags & kUnitConnected);
  ReleaseUnit(u);
}

TEST_F(UnitsTest, RewindWritesHeldOutput) {
  UnitBlock* u = Open(3, "out", {Word(kAttrBuffered, "YES")});
  ASSERT_EQ(0, AcquireUnit(3, &u));
  ASSERT_EQ(0, Put(u, "held"));
  ReleaseUnit(u);
  EXPECT_EQ("", dir_.read("out"));
  ASSERT_EQ(0, RewindUnit(3, 0));
  EXPECT_EQ("held\r\n", dir_.read("out"));
}

TEST_F(UnitsTest, RewindFailureIs20) {
  auto r = RunInChild(dir_.path(), [] {
    std::string name = "f";
    Attrs a(&name);
    if (ConnectUnit(2, 0, a.get()) != 0) return 100;
    Sys::SetFault(1, ESPIPE, Sys::kCallSeek);
    return RewindUnit(2, kErrStatusWanted);
  });
  EXPECT_EQ(20, r.status);
  r = RunInChild(dir_.path(), [] { return RewindUnit(-6, 0); });
  EXPECT_EQ(32, r.status);
}

// ---- Closing -----------------------------------------------------------------------

TEST_F(UnitsTest, CloseAllClosesFilesAndRemovesEntries) {
  UnitBlock* u = Open(4, "f");
  int fd = u->fd;
  EXPECT_TRUE(AnyUnitConnected());
  CloseAllUnits();
  EXPECT_EQ(-1, ::fcntl(fd, F_GETFD));
  EXPECT_FALSE(AnyUnitConnected());
  UnitBlock* fresh = nullptr;
  ASSERT_EQ(0, AcquireUnit(4, &fresh));
  EXPECT_FALSE(fresh->flags & kUnitConnected);
  ReleaseUnit(fresh);
  EXPECT_FALSE(ClearUnitsConnected());
}

TEST_F(UnitsTest, CloseAllSkipsAUnitHeldByAnotherThread) {
  UnitBlock* held = Open(5, "held");
  UnitBlock* free_unit = Open(6, "free");
  int held_fd = held->fd;
  int free_fd = free_unit->fd;
  std::atomic<int> stage{0};
  std::thread t([&] {
    UnitBlock* v = nullptr;
    AcquireUnit(5, &v);
    stage = 1;
    while (stage.load() != 2) std::this_thread::yield();
    ReleaseUnit(v);
  });
  while (stage.load() != 1) std::this_thread::yield();
  CloseAllUnits();
  EXPECT_EQ(-1, ::fcntl(free_fd, F_GETFD));
  EXPECT_NE(-1, ::fcntl(held_fd, F_GETFD));
  EXPECT_TRUE(held->flags & kUnitConnected);
  stage = 2;
  t.join();
}

TEST_F(UnitsTest, CloseAllClosesAUnitThisThreadHolds) {
  UnitBlock* u = Open(5, "mine", {Word(kAttrBuffered, "YES")});
  ASSERT_EQ(0, AcquireUnit(5, &u));
  ASSERT_EQ(0, Put(u, "held"));
  CloseAllUnits();
  EXPECT_EQ("held\r\n", dir_.read("mine"));
  EXPECT_FALSE(u->flags & kUnitConnected);
  ReleaseUnit(u);
}

TEST_F(UnitsTest, CloseFailureEndsTheRunWith28) {
  auto r = RunInChild(dir_.path(), [] {
    std::string name = "f";
    Attrs a(&name);
    if (ConnectUnit(4, 0, a.get()) != 0) return 100;
    Sys::SetFault(1, EIO, Sys::kCallClose);
    CloseAllUnits();
    return 0;
  });
  EXPECT_EQ(28, r.status);
  EXPECT_NE(std::string::npos, r.err.find("severe (28)")) << r.err;
}

// ---- Reported failures ---------------------------------------------------------------

TEST_F(UnitsTest, FailedConnectionsEndTheRunWithTheirNumber) {
  struct Case {
    const char* what;
    int number;
    std::string name;
    testsupport::Env env;
    int status;
  } cases[] = {
      {"missing directory", 1, "nodir/f", {}, 29},
      {"unit number", -7, "f", {}, 32},
      {"record length variable", 1, "f", {{"VELD_FMT_RECL", "x"}}, 99},
      {"block size variable", 1, "f", {{"VELD_BLOCKSIZE", "-1"}}, 106},
      {"buffer count variable", 1, "f", {{"VELD_BUFFERCOUNT", "128"}}, 107},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto r = RunInChild(
        dir_.path(),
        [&] {
          UnitEnv::Forget();
          Attrs a(&c.name, {Value(kAttrStatus, kStatusUnknown)});
          ConnectUnit(c.number, 0, a.get());
          return 0;
        },
        c.env);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("severe (" + std::to_string(c.status) + ")")) << r.err;
  }
}

TEST_F(UnitsTest, StatusWantedReturnsTheNumber) {
  auto r = RunInChild(dir_.path(), [] {
    std::string name = "nodir/f";
    Attrs a(&name);
    return ConnectUnit(1, kErrStatusWanted, a.get());
  });
  EXPECT_EQ(29, r.status);
}

// ---- Default output unit -------------------------------------------------------------

TEST_F(UnitsTest, DefaultOutputUnitUsesStandardOutput) {
  auto r = RunInChild(dir_.path(),
                      [] {
                        UnitEnv::Forget();
                        UnitBlock* u = nullptr;
                        AcquireUnit(-1, &u);
                        if (int e = ConnectDefaultUnit(u)) return e;
                        if (std::string(u->name) != "CONOUT$" || u->fd != 1) return 101;
                        if (!(u->flags & kUnitWriteOnly) || (u->flags & kUnitBuffered)) return 102;
                        // The test harness redirects standard output to a disk file.
                        if (!(u->flags & kUnitDiskFile) || !(u->flags & kUnitTruncateNext))
                          return 103;
                        std::memcpy(u->buffer, " Cas", 4);
                        if (PutRecord(u, u->buffer, 4) != 0) return 104;
                        ReleaseUnit(u);
                        CloseAllUnits();
                        return ::fcntl(1, F_GETFD) == -1 ? 105 : 0;
                      },
                      {{"VELD_PRINT", "\x01"}, {"VELD_BUFFERED", "1"}});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(" Cas\r\n", r.out);
}

TEST_F(UnitsTest, DefaultOutputUnitNamedByTheEnvironment) {
  dir_.write("print.txt", "old old old old");
  auto r = RunInChild(dir_.path(),
                      [&] {
                        UnitEnv::Forget();
                        UnitBlock* u = nullptr;
                        AcquireUnit(-1, &u);
                        if (int e = ConnectDefaultUnit(u)) return e;
                        if (std::string(u->name) != dir_.file("print.txt")) return 101;
                        if (!(u->flags & kUnitEnvNamed)) return 102;
                        std::memcpy(u->buffer, "x", 1);
                        PutRecord(u, u->buffer, 1);
                        ReleaseUnit(u);
                        CloseAllUnits();
                        return 0;
                      },
                      {{"VELD_PRINT", "print.txt"}});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_EQ("x\r\n", dir_.read("print.txt"));
}

}  // namespace
