// Tests of list-directed output records: layout of REAL(4) and CHARACTER
// items, record changes at the line width, and the statement's failures.
#include "textout/listwriter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "runtime/platform/fault.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "support/run.h"
#include "textout/pairtext.h"
#include "textout/realtext.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

// One item of a test statement: a REAL(4) value or a character text.
struct Item {
  bool real;
  float value;
  const char* text;
};
Item R(float v) { return {true, v, nullptr}; }
Item C(const char* t) { return {false, 0.0f, t}; }

std::vector<OutItem> ToOutItems(const std::vector<Item>& items) {
  std::vector<OutItem> out;
  for (const Item& i : items) {
    if (i.real) out.push_back({kTypeReal4, &i.value, 4});
    else out.push_back({kTypeChar, i.text, static_cast<int32_t>(std::strlen(i.text))});
  }
  return out;
}

// Runs one statement the way the program does: begin with the first item,
// put the others. Returns the first nonzero status.
int Write(int unit, const std::vector<Item>& items, unsigned flags = 0) {
  const std::vector<OutItem> out = ToOutItems(items);
  if (out.empty()) return ListWriter::begin(unit, flags, nullptr, false);
  int rc = ListWriter::begin(unit, flags, &out[0], out.size() > 1);
  for (size_t i = 1; i < out.size() && rc == 0; ++i)
    rc = ListWriter::put(out[i], i + 1 < out.size());
  return rc;
}

// A unit connected to "out.txt" in a fresh directory; unit numbers differ per
// test so that a run of all tests in one process never shares a unit.
struct FileUnit {
  TempDir dir;
  int number;
  explicit FileUnit(int n, int line_width = 0) : number(n) {
    const std::string path = dir.file("out.txt");
    EXPECT_EQ(
        ConnectNamedFile(n, kErrStatusWanted, path.c_str(), static_cast<int32_t>(path.size())), 0);
    if (line_width > 0)
      Edit([&](UnitBlock* u) { u->line_width = static_cast<uint16_t>(line_width); });
  }
  ~FileUnit() {
    UnitBlock* u = nullptr;
    if (AcquireUnit(number, &u) == 0) {
      CloseUnit(u);
      ReleaseUnit(u);
    }
  }
  // Changes the unit's block between statements.
  template <class F>
  void Edit(F change) {
    UnitBlock* u = nullptr;
    ASSERT_EQ(AcquireUnit(number, &u), 0);
    change(u);
    ReleaseUnit(u);
  }
  std::string text() const { return dir.read("out.txt"); }
};

const std::string k75 = std::string(75, 'x');

TEST(ListWriter, RecordLayout) {
  struct Case {
    const char* name;
    int line_width;  // 0: the unit's own (80)
    std::vector<Item> items;
    std::string want;
  };
  const std::string five =
      "   1.000000       2.000000       3.000000       4.000000       5.000000    ";
  const Case cases[] = {
      {"two reals", 0, {R(0.001f), R(250.0f)}, "  1.0000000E-03   250.0000    \r\n"},
      {"two negative reals", 0, {R(-0.0015f), R(-312.5f)}, " -1.5000000E-03  -312.5000    \r\n"},
      {"console line, exponent",
       0,
       {C("Cas programu:"), R(0.015625f), C("sekund")},
       " Cas programu:  1.5625000E-02 sekund\r\n"},
      {"console line, fixed",
       0,
       {C("Cas programu:"), R(0.25f), C("sekund")},
       " Cas programu:  0.2500000     sekund\r\n"},
      {"console line, zero",
       0,
       {C("Cas programu:"), R(0.0f), C("sekund")},
       " Cas programu:  0.0000000E+00 sekund\r\n"},
      {"five reals fill 75", 0, {R(1), R(2), R(3), R(4), R(5)}, five + "\r\n"},
      {"sixth real starts a record",
       0,
       {R(1), R(2), R(3), R(4), R(5), R(6)},
       five + "\r\n   6.000000    \r\n"},
      {"character then real", 0, {C("ab"), R(1)}, " ab   1.000000    \r\n"},
      {"real then character", 0, {R(1), C("ab")}, "   1.000000     ab\r\n"},
      {"character, character", 0, {C("ab"), C("cd")}, " abcd\r\n"},
      {"character between reals",
       0,
       {R(1), C("ab"), R(2)},
       "   1.000000     ab   2.000000    \r\n"},
      {"quotes and trailing blanks kept", 0, {C("it's  ")}, " it's  \r\n"},
      {"empty character", 0, {C("")}, " \r\n"},
      {"no items", 0, {}, " \r\n"},
      {"character longer than the room left",
       0,
       {R(1), R(2), R(3), R(4), R(5), C("abcdefgh")},
       five + " \r\n abcdefgh\r\n"},
      {"character fills the room exactly",
       0,
       {R(1), R(2), R(3), R(4), R(5), C("abcd")},
       five + " abcd\r\n"},
      // The record change looks at the room before the separator: a value
      // that fits only without it is split after the separator.
      {"separator takes the last position",
       0,
       {R(1), R(2), R(3), R(4), R(5), C("abcde")},
       five + " abcd\r\n e\r\n"},
      {"character longer than a record",
       10,
       {C("ABCDEFGHIJKLMNOPQRSTUVWXY")},
       " ABCDEFGHI\r\n JKLMNOPQR\r\n STUVWXY\r\n"},
      {"split after a real",
       20,
       {R(1), C("ABCDEFGHIJKLMNOPQRSTUVWXYZ")},
       "   1.000000     \r\n ABCDEFGHIJKLMNOPQRS\r\n TUVWXYZ\r\n"},
      {"whole line of characters", 0, {C(k75.c_str())}, " " + k75 + "\r\n"},
      {"real on a line narrower than its field",
       10,
       {R(1), R(2)},
       "   1.000000    \r\n   2.000000    \r\n"},
      {"second real does not fit", 20, {R(1), R(2)}, "   1.000000    \r\n   2.000000    \r\n"},
  };
  int number = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileUnit unit(number++, c.line_width);
    EXPECT_EQ(Write(unit.number, c.items, kErrStatusWanted), 0);
    EXPECT_EQ(unit.text(), c.want);
  }
}

TEST(ListWriter, StatementsFollowEachOther) {
  FileUnit unit(40);
  for (int j = 0; j < 3; ++j)
    ASSERT_EQ(Write(unit.number, {R(static_cast<float>(j)), R(-1.5f)}), 0);
  EXPECT_EQ(unit.text(),
            "  0.0000000E+00  -1.500000    \r\n"
            "   1.000000      -1.500000    \r\n"
            "   2.000000      -1.500000    \r\n");
}

// Records of a buffered unit are built behind the held output; when a record
// would not fit there, the held output is written rather than the buffer grown.
TEST(ListWriter, BufferedUnitBuildsBehindHeldOutput) {
  struct Case {
    const char* name;
    int line_width;     // 0: the unit's own
    int32_t allowance;  // 0: the unit's own
  };
  const Case cases[] = {{"program's units", 0, 0}, {"record length 1", 2, 2}};
  int number = 41;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileUnit unit(number++, c.line_width);
    int32_t capacity = 0;
    unit.Edit([&](UnitBlock* u) {
      u->flags |= kUnitBuffered;
      if (c.allowance) u->allowance = c.allowance;
      capacity = u->capacity;
    });
    std::string want;
    for (int j = 0; j < 2000; ++j) {
      const float v = static_cast<float>(j);
      ASSERT_EQ(Write(unit.number, {R(v), R(-v)}), 0);
      char field[RealText::kFieldWidth];
      RealText::to_list_field(std::bit_cast<uint32_t>(v), field);
      want += std::string(field, sizeof field);
      want += c.line_width == 2 ? "\r\n" : "";
      RealText::to_list_field(std::bit_cast<uint32_t>(-v), field);
      want += std::string(field, sizeof field) + "\r\n";
    }
    unit.Edit([&](UnitBlock* u) {
      EXPECT_EQ(u->capacity, capacity);
      ASSERT_EQ(FlushUnit(u), 0);
    });
    EXPECT_EQ(unit.text(), want);
  }
}

TEST(ListWriter, BufferTooSmallIsEnlarged) {
  FileUnit unit(42);
  unit.Edit([](UnitBlock* u) { u->capacity = 8; });
  EXPECT_EQ(Write(unit.number, {R(1), R(2), C("end")}, kErrStatusWanted), 0);
  EXPECT_EQ(unit.text(), "   1.000000       2.000000     end\r\n");
}

TEST(ListWriter, Failures) {
  struct Case {
    const char* name;
    int line_width;  // -1: the unit's own
    uint32_t unit_flags;
    uint64_t alloc_fault;  // fail this allocation (0: none)
    uint64_t write_fault;  // fail this write (0: none)
    std::vector<Item> items;
    int want;
  };
  const Case cases[] = {
      {"read-only unit", -1, kUnitReadOnly, 0, 0, {R(1)}, 47},
      {"unformatted unit", -1, kUnitUnformatted, 0, 0, {R(1)}, 257},
      {"direct-access unit", -1, kUnitDirect, 0, 0, {R(1)}, 259},
      {"write refused", -1, 0, 0, 1, {R(1), R(2)}, 38},
      {"character on a line of 1", 1, 0, 0, 0, {C("ab")}, 66},
      {"no items on a line of 1", 1, 0, 0, 0, {}, 66},
      {"character on a line of 0", 0, 0, 0, 0, {C("a")}, 66},
      {"buffer cannot grow", -1, 0, 1, 0, {R(1)}, 66},
  };
  int number = 50;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileUnit unit(number++);
    unit.Edit([&](UnitBlock* u) {
      u->flags |= c.unit_flags;
      if (c.line_width >= 0) u->line_width = static_cast<uint16_t>(c.line_width);
      if (c.alloc_fault) u->capacity = 8;
    });
    if (c.alloc_fault) Sys::SetFault(c.alloc_fault, ENOMEM, Sys::kCallAlloc);
    if (c.write_fault) Sys::SetFault(c.write_fault, EIO, Sys::kCallWrite);
    EXPECT_EQ(Write(unit.number, c.items, kErrStatusWanted), c.want);
    Sys::SetFault(0, 0);
    // A statement that failed has released its unit: put does nothing and
    // repeats the failure, and a new statement can acquire the unit.
    EXPECT_EQ(ListWriter::put(OutItem{kTypeChar, "z", 1}, false), c.want);
    UnitBlock* u = nullptr;
    EXPECT_EQ(AcquireUnit(unit.number, &u), 0);
    if (u) ReleaseUnit(u);
  }
}

TEST(ListWriter, StatementOnAUnitItAlreadyHoldsFails40) {
  FileUnit unit(60);
  const float one = 1.0f;
  const OutItem item{kTypeReal4, &one, 4};
  ASSERT_EQ(ListWriter::begin(unit.number, kErrStatusWanted, &item, true), 0);
  EXPECT_EQ(ListWriter::begin(unit.number, kErrStatusWanted, &item, false), 40);
  // The statement in progress is untouched and completes.
  EXPECT_EQ(ListWriter::put(item, false), 0);
  EXPECT_EQ(unit.text(), "   1.000000       1.000000    \r\n");
}

TEST(ListWriter, RecordWrittenBeforeAFailureStaysWritten) {
  FileUnit unit(61);
  Sys::SetFault(2, EIO, Sys::kCallWrite);
  EXPECT_EQ(Write(unit.number, {R(1), R(2), R(3), R(4), R(5), R(6)}, kErrStatusWanted), 38);
  Sys::SetFault(0, 0);
  EXPECT_EQ(unit.text(),
            "   1.000000       2.000000       3.000000       4.000000       5.000000    \r\n");
}

// Without a status request a failure ends the process with its number.
TEST(ListWriter, FailureWithoutStatusEndsTheRun) {
  TempDir dir;
  const auto result = RunInChild(dir.path(), [&] {
    FileUnit unit(62);
    unit.Edit([](UnitBlock* u) { u->flags |= kUnitReadOnly; });
    Write(unit.number, {R(1)});
    return 0;
  });
  EXPECT_EQ(result.status, 47);
  EXPECT_NE(result.err.find("write to READONLY file, unit 62"), std::string::npos) << result.err;
}

// The default output unit is connected at its first use and writes the
// console record to standard output.
TEST(ListWriter, DefaultUnitConnectsToStandardOutput) {
  TempDir dir;
  const auto result = RunInChild(dir.path(), [] {
    return Write(-1, {C("Cas programu:"), R(0.015625f), C("sekund")});
  });
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, " Cas programu:  1.5625000E-02 sekund\r\n");
}

// Any other unit not yet connected gets its default file at its first use.
TEST(ListWriter, UnconnectedUnitGetsItsDefaultFile) {
  TempDir dir;
  const auto result = RunInChild(dir.path(), [] { return Write(71, {R(2.5f)}); });
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(dir.read("unit71.txt"), "   2.500000    \r\n");
}

// The statements of write_real_pairs, and of write_formed_pairs with the
// records formed ahead, against the same statements made with begin and put:
// the same bytes on lines of every width (two fields to a record, one, or
// less than one), buffered or not, in runs of one record or many, with each
// terminator, and the same records and status when the Nth write fails.
TEST(ListWriter, PairsInOneCallWriteWhatStatementByStatementWrites) {
  const float specials[] = {0.0f,
                            -0.0f,
                            1.5f,
                            -2.25e-3f,
                            1e30f,
                            1e-40f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::quiet_NaN(),
                            123456.7f,
                            -1.0f};
  std::vector<float> first, second;
  for (int i = 0; i < 300; ++i) {
    first.push_back(specials[i % std::size(specials)] * static_cast<float>(i % 7 + 1));
    second.push_back(specials[(i * 3 + 1) % std::size(specials)] / static_cast<float>(i % 5 + 1));
  }
  struct Case {
    int line_width;  // 0: the unit's own
    bool buffered;
    uint64_t write_fault;  // 0: none
    int capacity;          // of a buffered unit: 256 writes every record, 1024 runs of 24
    uint8_t record_type;   // 0: the unit's own (CR LF)
  };
  const Case cases[] = {
      {0, false, 0, 0, 0},
      {0, true, 0, 256, 0},
      {30, false, 0, 0, 0},
      {29, true, 0, 256, 0},
      {15, false, 0, 0, 0},
      {14, true, 0, 256, 0},
      {2, false, 0, 0, 0},
      {0, false, 1, 0, 0},
      {0, false, 7, 0, 0},
      {16, false, 9, 0, 0},
      {0, true, 1, 256, 0},
      {0, true, 3, 256, 0},
      {0, true, 0, 1024, 0},
      {30, true, 0, 1024, 0},
      {0, true, 2, 1024, 0},
      {0, true, 0, 1024, kRecStreamLF},
      {0, true, 5, 1000, kRecStream},
  };
  int number = 700;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.line_width << (c.buffered ? " buffered " : " ") << c.capacity << " fault "
                 << c.write_fault << " type " << int{c.record_type});
    FileUnit one_by_one(number++, c.line_width), in_one_call(number++, c.line_width),
        formed(number++, c.line_width);
    for (FileUnit* unit : {&one_by_one, &in_one_call, &formed}) {
      unit->Edit([&](UnitBlock* u) {
        if (c.buffered) u->flags |= kUnitBuffered;
        if (c.buffered) u->capacity = std::min(u->capacity, c.capacity);
        if (c.record_type) u->record_type = c.record_type;
      });
    }
    int want = 0;
    if (c.write_fault) Sys::SetFault(c.write_fault, ENOSPC, Sys::kCallWrite);
    for (size_t j = 0; j < first.size() && want == 0; ++j)
      want = Write(one_by_one.number, {R(first[j]), R(second[j])}, kErrStatusWanted);
    Sys::SetFault(0, 0);
    if (c.write_fault) Sys::SetFault(c.write_fault, ENOSPC, Sys::kCallWrite);
    const int got = ListWriter::write_real_pairs(in_one_call.number, kErrStatusWanted, first.data(),
                                                 second.data(), static_cast<int64_t>(first.size()));
    Sys::SetFault(0, 0);
    EXPECT_EQ(got, want);
    EXPECT_EQ(c.write_fault == 0, want == 0);
    char term[2];
    bool buffered = false;
    const int term_length = ListWriter::formed_pair_terminator(formed.number, term, &buffered);
    EXPECT_EQ(term_length >= 0, c.line_width == 0 || c.line_width >= 30);
    if (term_length >= 0) {
      EXPECT_EQ(buffered, c.buffered);
    }
    if (term_length >= 0) {
      std::string text(first.size() * (PairText::kFieldsWidth + term_length), '?');
      PairText::form(first.data(), second.data(), static_cast<int64_t>(first.size()), term,
                     term_length, text.data());
      if (c.write_fault) Sys::SetFault(c.write_fault, ENOSPC, Sys::kCallWrite);
      EXPECT_EQ(ListWriter::write_formed_pairs(formed.number, kErrStatusWanted, first.data(),
                                               second.data(), text.data(), term_length,
                                               static_cast<int64_t>(first.size())),
                want);
      Sys::SetFault(0, 0);
    }
    for (FileUnit* unit : {&one_by_one, &in_one_call, &formed}) {
      UnitBlock* u = nullptr;
      ASSERT_EQ(AcquireUnit(unit->number, &u), 0);
      FlushUnit(u);
      ReleaseUnit(u);
    }
    EXPECT_EQ(in_one_call.text(), one_by_one.text());
    if (term_length >= 0) {
      EXPECT_EQ(formed.text(), one_by_one.text());
    }
  }
}

// A console event that arrives during the statements runs when the
// statement in progress ends, not after the last one.
std::string* g_text_at_event = nullptr;
testsupport::TempDir* g_event_dir = nullptr;
void RecordTextAtEvent() { *g_text_at_event = g_event_dir->read("out.txt"); }

TEST(ListWriter, PairsInOneCallGiveTheUnitUpForAWaitingEvent) {
  FileUnit unit(770);
  const float x[] = {1, 2, 3}, y[] = {4, 5, 6};
  std::string text_at_event;
  g_text_at_event = &text_at_event;
  g_event_dir = &unit.dir;
  SetPendingAction(RecordTextAtEvent);
  ASSERT_EQ(ListWriter::write_real_pairs(unit.number, kErrStatusWanted, x, y, 3), 0);
  EXPECT_EQ(text_at_event, "   1.000000       4.000000    \r\n");
  EXPECT_EQ(unit.text(),
            "   1.000000       4.000000    \r\n   2.000000       5.000000    \r\n"
            "   3.000000       6.000000    \r\n");
}

}  // namespace
