// Tests of the parameter-group reader through a real unit: finding the group,
// names, subscripts and sections, values, null values, repeat counts, the
// terminators, every refusal with its record position, and hostile input.
#include "textin/groupreader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "runtime/items.h"
#include "runtime/platform/fault.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "support/run.h"
#include "textin/groupscan.h"

namespace {

using testsupport::TempDir;

constexpr float U = -7.0f;    // an element that no value reached
constexpr int kStorage = 12;  // elements behind each object; the rest must stay U
constexpr int kEnd = -1;      // end of file, returned as a status

struct Outcome {
  int status = 0;
  std::vector<float> ey = std::vector<float>(kStorage, U);
  std::vector<float> sy = std::vector<float>(kStorage, U);
  uint64_t line = 0;     // record counter minus one after the statement
  int64_t position = 0;  // position shown in the failure's text
};

GroupObject RealArray(const char* name, float* storage, int32_t upper) {
  return RealArrayObject(name, storage, 0, upper);
}

bool Connect(int unit, const std::string& path) {
  return ConnectNamedFile(unit, kErrStatusWanted, path.c_str(),
                          static_cast<int32_t>(path.size())) == 0;
}

// A planned failure of the nth system call of some kinds during the read.
struct Fault {
  uint64_t nth = 0;
  int error = 0;
  unsigned kinds = Sys::kCallAll;
};

// Reads `group` from a file holding `bytes`, with failures returned.
int ReadFrom(const std::string& bytes, const GroupDescriptor& group, Outcome* out,
             const Fault& fault = {}) {
  TempDir dir;
  dir.write("input.txt", bytes);
  if (!Connect(1, dir.file("input.txt"))) {
    ADD_FAILURE() << "cannot connect unit 1";
    return -100;
  }
  // The failure's text, with its position when it has one, lands in the
  // statement's status-message variable.
  char text[512] = {};
  UnitBlock* unit = nullptr;
  if (AcquireUnit(1, &unit) == 0) {
    unit->message_target = text;
    unit->message_target_len = sizeof text - 1;
    ReleaseUnit(unit);
  }
  if (fault.nth != 0) Sys::SetFault(fault.nth, fault.error, fault.kinds);
  const int status = GroupReader::read(1, kErrStatusWanted | kEndStatusWanted, group);
  Sys::SetFault(0, 0);
  if (out != nullptr && AcquireUnit(1, &unit) == 0) {
    out->line = unit->record_counter - 1;
    const char* at = std::strstr(text, ", position ");
    out->position = at != nullptr ? std::atoll(at + std::strlen(", position ")) : 0;
    unit->message_target = nullptr;
    ReleaseUnit(unit);
  }
  CloseAllUnits();
  return status;
}

// PARAMETRE with EY and SY over 0..upper.
Outcome ReadParametre(const std::string& bytes, int32_t upper, const Fault& fault = {}) {
  Outcome out;
  const GroupObject objects[] = {RealArray("EY", out.ey.data(), upper),
                                 RealArray("SY", out.sy.data(), upper)};
  const GroupDescriptor group{"PARAMETRE", 9, objects, 2};
  out.status = ReadFrom(bytes, group, &out, fault);
  return out;
}

// The expected storage: the listed elements, U after them.
std::vector<float> Fill(std::initializer_list<float> head) {
  std::vector<float> v(head);
  v.resize(kStorage, U);
  return v;
}

struct Case {
  const char* name;
  std::string text;
  int32_t upper;  // last index of EY and SY (N + 1)
  int status;
  std::vector<float> ey;
  std::vector<float> sy;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = ReadParametre(c.text, c.upper);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(out.ey, c.ey);
    EXPECT_EQ(out.sy, c.sy);
  }
}

TEST(GroupReader, FindsTheGroup) {
  RunCases({
      {"second record of the example", "&PARAMETRE EY = 0.0 0.001 0.002, SY = 0.0 200.0 250.0 /\n",
       2, 0, Fill({0.0f, 0.001f, 0.002f}), Fill({0.0f, 200.0f, 250.0f})},
      {"names in lower case, &end", "&parametre ey=1 2 3 sy=4 5 6 &end\n", 2, 0, Fill({1, 2, 3}),
       Fill({4, 5, 6})},
      {"dollar forms", "$PARAMETRE EY=1 2 3 SY=4 5 6 $END\n", 2, 0, Fill({1, 2, 3}),
       Fill({4, 5, 6})},
      {"blanks before the delimiter", "    &PARAMETRE EY=1 /\n", 2, 0, Fill({1}), Fill({})},
      {"text records before", "title line\n\n12.5 kN, test 3\n&PARAMETRE EY=1 /\n", 2, 0, Fill({1}),
       Fill({})},
      {"blank after the delimiter", "& PARAMETRE EY=1 /\n", 2, 0, Fill({1}), Fill({})},
      {"name on the next record", "&\nPARAMETRE EY=1 /\n", 2, kEnd, Fill({}), Fill({})},
      {"another group skipped", "&OTHER X=1 /\n&PARAMETRE EY=1 2 /\n", 2, 0, Fill({1, 2}),
       Fill({})},
      {"another group spanning records", "$OTHER\n X = 'a', Y = 2\n$END\n$PARAMETRE SY=3 $END\n", 2,
       0, Fill({}), Fill({3})},
      // A digit while seeking drops the rest of its record, so a group behind
      // another group's values on the same record is not seen.
      {"group behind values on one record", "&OTHER X=1 / &PARAMETRE EY=1 /\n", 2, kEnd, Fill({}),
       Fill({})},
      {"a longer name is another group", "&PARAMETRES EY=1 /\n&PARAMETRE EY=2 /\n", 2, 0, Fill({2}),
       Fill({})},
      {"name with $ is another group", "&PARAMETRE$ EY=1 /\n&PARAMETRE EY=2 /\n", 2, 0, Fill({2}),
       Fill({})},
      {"carriage returns while seeking", "junk\r\r\nx\r y\n&PARAMETRE EY=1 /\n", 2, 0, Fill({1}),
       Fill({})},
      {"comment before", "! &PARAMETRE EY=9 /\n&PARAMETRE EY=1 /\n", 2, 0, Fill({1}), Fill({})},
      {"query tokens while seeking", "? =? &PARAMETRE EY=1 /\n", 2, 0, Fill({1}), Fill({})},
      {"bytes above 0x7F while seeking", "\xEF\xBB\xBF&PARAMETRE EY=1 /\n&PARAMETRE EY=2 /\n", 2, 0,
       Fill({2}), Fill({})},
      {"empty file", "", 2, kEnd, Fill({}), Fill({})},
      {"no group", "1\n2\n3\n", 2, kEnd, Fill({}), Fill({})},
  });
}

TEST(GroupReader, ValuesNullsAndRepeats) {
  RunCases({
      {"fewer values", "&PARAMETRE EY=1 2 /\n", 3, 0, Fill({1, 2}), Fill({})},
      {"more values", "&PARAMETRE EY=1 2 3 4 /\n", 2, 18, Fill({1, 2, 3}), Fill({})},
      {"leading comma", "&PARAMETRE EY = , 2.0 /\n", 2, 0, Fill({U, 2}), Fill({})},
      {"two commas", "&PARAMETRE EY = 1,,3 /\n", 2, 0, Fill({1, U, 3}), Fill({})},
      {"comma blank comma", "&PARAMETRE EY = 1, ,3 /\n", 2, 0, Fill({1, U, 3}), Fill({})},
      {"comma at record end, comma", "&PARAMETRE EY = 1.0,\n,2.0 /\n", 2, 0, Fill({1, U, 2}),
       Fill({})},
      {"record end then comma", "&PARAMETRE EY = 1.0\n,2.0 /\n", 2, 0, Fill({1, 2}), Fill({})},
      {"null repeat", "&PARAMETRE EY = 3* 4 /\n", 3, 0, Fill({U, U, U, 4}), Fill({})},
      {"null repeat then comma", "&PARAMETRE EY = 2*, 4 /\n", 3, 0, Fill({U, U, 4}), Fill({})},
      {"value repeat", "&PARAMETRE EY = 3*1.5 /\n", 3, 0, Fill({1.5f, 1.5f, 1.5f}), Fill({})},
      {"repeat runs past the end", "&PARAMETRE EY = 1 5*2 /\n", 2, 18, Fill({1, 2, 2}), Fill({})},
      {"null repeat runs past the end", "&PARAMETRE EY = 4* /\n", 2, 18, Fill({}), Fill({})},
      {"repeat count zero hands out once", "&PARAMETRE EY = 0*7 8 /\n", 2, 0, Fill({7, 8}),
       Fill({})},
      {"commas after the last element", "&PARAMETRE EY = 1 2 3,,, /\n", 2, 0, Fill({1, 2, 3}),
       Fill({})},
      {"repeat of a string", "&PARAMETRE EY = 2*'ab' /\n", 2, 64, Fill({}), Fill({})},
      {"number forms", "&PARAMETRE EY = .5 5. -.5 1E 1.5D3 1.5q3 1.5-3 +2 /\n", 7, 0,
       Fill({0.5f, 5, -0.5f, 1, 1500, 1500, 0.0015f, 2}), Fill({})},
      {"values over records", "&PARAMETRE\nEY\n=\n1\n\n2\n/\n", 2, 0, Fill({1, 2}), Fill({})},
      {"named twice", "&PARAMETRE EY=1 2 3 SY=4 EY=9 /\n", 2, 0, Fill({9, 2, 3}), Fill({4})},
      {"values stay after a failure", "&PARAMETRE EY=1 2 SY=3 XX=4 /\n", 2, 19, Fill({1, 2}),
       Fill({3})},
      {"group without its end", "&PARAMETRE EY=1 2\n", 2, kEnd, Fill({1, 2}), Fill({})},
      {"comment in the group", "&PARAMETRE EY = 1.0 ! note 7 8 /\n 2.0 /\n", 2, 0, Fill({1, 2}),
       Fill({})},
      {"empty object", "&PARAMETRE EY = /\n", 2, 0, Fill({}), Fill({})},
      {"empty group", "&PARAMETRE /\n", 2, 0, Fill({}), Fill({})},
      {"zero-size objects", "&PARAMETRE EY = 1 /\n", -1, 18, Fill({}), Fill({})},
      {"zero-size objects, no value", "&PARAMETRE EY = /\n", -1, 0, Fill({}), Fill({})},
  });
}

TEST(GroupReader, Subscripts) {
  RunCases({
      {"one element", "&PARAMETRE EY(2)=5.0 /\n", 3, 0, Fill({U, U, 5}), Fill({})},
      {"element and the next", "&PARAMETRE EY(2)=5.0 6.0 /\n", 3, 0, Fill({U, U, 5, 6}), Fill({})},
      {"element at the end, two values", "&PARAMETRE EY(2)=5.0 6.0 /\n", 2, 18, Fill({U, U, 5}),
       Fill({})},
      {"one-element section, two values", "&PARAMETRE EY(2:2)=5.0 6.0 /\n", 9, 18, Fill({U, U, 5}),
       Fill({})},
      {"section", "&PARAMETRE EY(1:2)=1 2 /\n", 2, 0, Fill({U, 1, 2}), Fill({})},
      {"section cut to the bound", "&PARAMETRE EY(0:100)=1 2 3 /\n", 2, 0, Fill({1, 2, 3}),
       Fill({})},
      {"beyond the bound", "&PARAMETRE EY(3)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"below the bound", "&PARAMETRE EY(-1)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"two subscripts for rank 1", "&PARAMETRE EY(1,1)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"zero stride", "&PARAMETRE EY(0:2:0)=1 /\n", 2, 17, Fill({}), Fill({})},
      {"end below start", "&PARAMETRE EY(2:0)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"negative stride", "&PARAMETRE EY(2:0:-1)=1 2 3 /\n", 2, 0, Fill({3, 2, 1}), Fill({})},
      {"end above start, negative stride", "&PARAMETRE EY(0:2:-1)=1 /\n", 2, 19, Fill({}),
       Fill({})},
      {"end below the lower bound", "&PARAMETRE EY(2:-1:-1)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"stride two", "&PARAMETRE EY(0:3:2)=1 2 3 /\n", 3, 18, Fill({1, U, 2}), Fill({})},
      {"whole dimension", "&PARAMETRE EY(:)=1 2 3 /\n", 2, 0, Fill({1, 2, 3}), Fill({})},
      {"missing start", "&PARAMETRE EY(:1)=1 2 3 /\n", 2, 18, Fill({1, 2}), Fill({})},
      {"missing end", "&PARAMETRE EY(1:)=1 2 /\n", 2, 0, Fill({U, 1, 2}), Fill({})},
      {"stride only", "&PARAMETRE EY(::2)=1 2 /\n", 2, 0, Fill({1, U, 2}), Fill({})},
      {"blanks around parts", "&PARAMETRE EY( 1 : 2 )=1 2 /\n", 2, 0, Fill({U, 1, 2}), Fill({})},
      {"list over records", "&PARAMETRE EY(1 ! first\n :2\n)=1 2 /\n", 2, 0, Fill({U, 1, 2}),
       Fill({})},
      {"signs", "&PARAMETRE EY(+1:+2:+1)=1 2 /\n", 2, 0, Fill({U, 1, 2}), Fill({})},
      {"blank inside a number", "&PARAMETRE EY(1 0)=1 /\n", 10, 17, Fill({}), Fill({})},
      {"blank after a sign", "&PARAMETRE EY(- 1)=1 /\n", 2, 17, Fill({}), Fill({})},
      {"lone sign", "&PARAMETRE EY(-)=1 /\n", 2, 17, Fill({}), Fill({})},
      {"empty list", "&PARAMETRE EY()=1 /\n", 2, 17, Fill({}), Fill({})},
      {"empty second subscript", "&PARAMETRE EY(1,)=1 /\n", 2, 17, Fill({}), Fill({})},
      {"empty stride", "&PARAMETRE EY(0:2:)=1 /\n", 2, 17, Fill({}), Fill({})},
      {"letter in the list", "&PARAMETRE EY(a)=1 /\n", 2, 17, Fill({}), Fill({})},
      {"seven subscripts", "&PARAMETRE EY(1,1,1,1,1,1,1)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"eight subscripts", "&PARAMETRE EY(1,1,1,1,1,1,1,1)=1 /\n", 2, 17, Fill({}), Fill({})},
      {"huge subscript", "&PARAMETRE EY(99999999999999999999999)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"huge stride", "&PARAMETRE EY(0:2:99999999999999999999999)=1 2 /\n", 2, 18, Fill({1}),
       Fill({})},
      {"substring on a real", "&PARAMETRE EY(1)(1:2)=1 /\n", 2, 19, Fill({}), Fill({})},
      {"list never closed", "&PARAMETRE EY(1\n", 2, kEnd, Fill({}), Fill({})},
      {"component", "&PARAMETRE EY%SY=1 /\n", 2, 19, Fill({}), Fill({})},
      {"component after subscripts", "&PARAMETRE EY(1).X=1 /\n", 2, 19, Fill({}), Fill({})},
  });
}

TEST(GroupReader, SyntaxAndConversionRefusals) {
  RunCases({
      {"comma after the group name", "&PARAMETRE, EY = 1 /\n", 2, 17, Fill({}), Fill({})},
      {"comma between objects", "&PARAMETRE EY = 1, SY = 2 /\n", 2, 0, Fill({1}), Fill({2})},
      {"unknown object", "&PARAMETRE XX = 1 /\n", 2, 19, Fill({}), Fill({})},
      {"unknown object after values", "&PARAMETRE EY = 1 2 XX = 1 /\n", 2, 19, Fill({1, 2}),
       Fill({})},
      {"no equals", "&PARAMETRE EY 1.0 /\n", 2, 17, Fill({}), Fill({})},
      {"quoted string", "&PARAMETRE EY = 'abc' /\n", 2, 64, Fill({}), Fill({})},
      {"quoted string over records", "&PARAMETRE EY = 1 \"a\nb\" /\n", 2, 64, Fill({1}), Fill({})},
      {"quoted string never closed", "&PARAMETRE EY = 'abc\n", 2, kEnd, Fill({}), Fill({})},
      {"logical value", "&PARAMETRE EY = 1 T /\n", 2, 64, Fill({1}), Fill({})},
      {"logical value with point", "&PARAMETRE EY = .true. /\n", 2, 64, Fill({}), Fill({})},
      {"trailing letter", "&PARAMETRE EY = 1.5x /\n", 2, 17, Fill({}), Fill({})},
      {"two signs", "&PARAMETRE EY = +-1 /\n", 2, 17, Fill({}), Fill({})},
      {"two points", "&PARAMETRE EY = 1.2.3 /\n", 2, 17, Fill({}), Fill({})},
      {"two exponents", "&PARAMETRE EY = 1E5E5 /\n", 2, 17, Fill({}), Fill({})},
      {"lone sign", "&PARAMETRE EY = - /\n", 2, 17, Fill({}), Fill({})},
      {"lone point", "&PARAMETRE EY = . /\n", 2, 17, Fill({}), Fill({})},
      {"overflow", "&PARAMETRE EY = 1 3.5E38 /\n", 2, 17, Fill({1}), Fill({})},
      {"conversion rejects", "&PARAMETRE EY = 1+2+3 /\n", 2, 17, Fill({}), Fill({})},
      {"blanks around the star", "&PARAMETRE EY = 3 * 1.5 /\n", 2, 17, Fill({3}), Fill({})},
      {"decimal repeat count", "&PARAMETRE EY = 2.5*3 /\n", 2, 17, Fill({}), Fill({})},
      {"star without count", "&PARAMETRE EY = *3 /\n", 2, 17, Fill({}), Fill({})},
      {"second star", "&PARAMETRE EY = 2*3*4 /\n", 2, 17, Fill({}), Fill({})},
      {"parenthesis as value", "&PARAMETRE EY = (1.5, 2.5) /\n", 2, 17, Fill({}), Fill({})},
      {"equals after equals", "&PARAMETRE EY = = 1 /\n", 2, 17, Fill({}), Fill({})},
      {"name after equals", "&PARAMETRE EY = SY = 1 /\n", 2, 17, Fill({}), Fill({})},
      {"value after the group name", "&PARAMETRE 1 /\n", 2, 17, Fill({}), Fill({})},
      {"delimiter after a name", "&PARAMETRE EY /\n", 2, 17, Fill({}), Fill({})},
      {"carriage return in the group", "&PARAMETRE EY=1 2\r\r\n SY=3 /\n", 2, 17, Fill({1}),
       Fill({})},
      {"carriage return after the group name", "&PARAMETRE\r\r\nEY=1 /\n", 2, 17, Fill({}),
       Fill({})},
      {"control byte between values", "&PARAMETRE EY=1\x01 2 /\n", 2, 17, Fill({}), Fill({})},
      {"special spellings", "&PARAMETRE EY=inf -Infinity 1 /\n", 2, 0,
       Fill({INFINITY, -INFINITY, 1}), Fill({})},
  });
}

TEST(GroupReader, TerminatorsAndQueries) {
  RunCases({
      {"slash right after a value", "&PARAMETRE EY=1/\n", 2, 0, Fill({1}), Fill({})},
      {"ampersand right after a value", "&PARAMETRE EY=1&\n", 2, 0, Fill({1}), Fill({})},
      {"dollar right after a value", "&PARAMETRE EY=1$END\n", 2, 0, Fill({1}), Fill({})},
      {"text after the end not examined", "&PARAMETRE EY=1 / 2 3 'x\n", 2, 0, Fill({1}), Fill({})},
      {"end on its own record", "&PARAMETRE EY=1\n\n&END\n", 2, 0, Fill({1}), Fill({})},
      {"last record without line feed", "&PARAMETRE EY=1 /", 2, 0, Fill({1}), Fill({})},
      {"query after the group name", "&PARAMETRE ? EY=1 /\n", 2, 0, Fill({1}), Fill({})},
      {"equals-query after the group name", "&PARAMETRE =? EY=1 /\n", 2, 0, Fill({1}), Fill({})},
      {"query after a value, then a name", "&PARAMETRE EY=1 ? SY=2 /\n", 2, 0, Fill({1}),
       Fill({2})},
      {"query after a value, then a value", "&PARAMETRE EY=1 ? 2 /\n", 2, 17, Fill({1}), Fill({})},
      {"equals-query after an object name", "&PARAMETRE EY=? /\n", 2, 17, Fill({}), Fill({})},
  });
}

// The same backbone written the ways people write such files.
TEST(GroupReader, HandWrittenFilesReadTheSameBackbone) {
  const std::vector<float> ey = Fill({0, 1, 3, 6});
  const std::vector<float> sy = Fill({0, 100, 150, 180});
  const char* const files[] = {
      "&PARAMETRE EY = 0 1 3 6, SY = 0 100 150 180 /\n",
      "&PARAMETRE\n EY = 0 1\n      3 6\n SY = 0\n 100 150\n 180\n/\n",
      "&PARAMETRE\nEY = 0,\n1,\n3,\n6,\nSY = 0,\n100,\n150,\n180\n/\n",
      "! backbone of the test bar\n&PARAMETRE   ! strains, then stresses\n"
      "  EY = 0 1 3 6        ! strain\n  SY = 0 100 150 180  ! MPa\n/\n",
      "&PARAMETRE\tEY=\t0\t1\t3\t6\n\tSY=0\t100\t150\t180\t/\n",
      "&PARAMETRE EY = 0 1 3 6,\r\n SY = 0 100 150 180 /\r\n",
      "$parametre\r\n ey = 0.0, 1.0, 3.0, 6.0\r\n sy = 0.0, 1.0e2, 1.5E+02, 1.8d2\r\n$end\r\n",
      "&PARAMETRE\nEY(0)=0 EY(1)=1 EY(2)=3 EY(3)=6\nSY(0:3)=0 100 150 180 /\n",
      "Backbone, steel S235\nunits: MPa\n&PARAMETRE EY=0 1 3 6 SY=0 100 150 180/\n",
      "&PARAMETRE SY=0 100 150 180 EY=0 1 3 6 /",
      "&PARAMETRE EY=9 9 9 9 SY=0 100 150 180 EY=0 1 3 6 &END\n",
      "&PARAMETRE\n  EY = 0, 1, 3, 6\n  SY = 0, 2*100\n  SY(2) = 150, 180\n&END\n",
      "\n\n   &PARAMETRE\n\n EY = 0 1 3 6\n\n SY = 0 100 150 180\n\n /\n\n",
  };
  for (const char* text : files) {
    SCOPED_TRACE(text);
    const Outcome out = ReadParametre(text, 3);
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.ey, ey);
    EXPECT_EQ(out.sy, sy);
  }
}

// The unit keeps the line (record counter minus one); the failure's text
// shows the characters of the record consumed when the statement failed.
TEST(GroupReader, FailurePosition) {
  struct PositionCase {
    const char* name;
    std::string text;
    int32_t upper;
    int status;
    uint64_t line;
    int64_t position;
  };
  const PositionCase cases[] = {
      {"unknown object", "&PARAMETRE EY = 1 XX = 2 /\n", 2, 19, 1, 20},
      {"too many values", "title\n&PARAMETRE EY=1 2 3 4 /\n", 2, 18, 2, 21},
      {"subscript out of bounds", "&PARAMETRE EY(3)=1 /\n", 2, 19, 1, 16},
      {"carriage return in a value", "&PARAMETRE EY=1\r\r\n", 2, 17, 1, 16},
      {"quoted string", "x\n\n&PARAMETRE EY='abc' /\n", 2, 64, 3, 19},
      {"end of file inside the group", "&PARAMETRE EY=1\n", 2, kEnd, 2, 0},
      {"end of file, no group", "x\ny\n", 2, kEnd, 3, 0},
  };
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = ReadParametre(c.text, c.upper);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(out.line, c.line);
    EXPECT_EQ(out.position, c.position);
  }
}

TEST(GroupReader, LongTokensAndRecords) {
  const std::string mega(1000000, 'x');
  const std::string blanks(1000000, ' ');
  const std::string name2001 = "E" + std::string(2000, 'Y');
  const std::string value2000 = std::string(1997, '0') + "1.5";
  RunCases({
      {"million-character record while seeking", mega + "\n&PARAMETRE EY=1 /\n", 2, 0, Fill({1}),
       Fill({})},
      {"million blanks in the group", "&PARAMETRE EY=" + blanks + "1" + blanks + "/\n", 2, 0,
       Fill({1}), Fill({})},
      {"million-character comment", "&PARAMETRE EY=1 !" + mega + "\n2 /\n", 2, 0, Fill({1, 2}),
       Fill({})},
      {"million-character value", "&PARAMETRE EY=" + std::string(1000000, '1') + " /\n", 2, 17,
       Fill({}), Fill({})},
      {"million-character name while seeking", "&" + mega + " EY=1 /\n", 2, kEnd, Fill({}),
       Fill({})},
      {"name over the token buffer", "&PARAMETRE " + name2001 + "=1 /\n", 2, 17, Fill({}),
       Fill({})},
      {"value filling the token buffer", "&PARAMETRE EY=" + value2000 + " /\n", 2, 0, Fill({1.5f}),
       Fill({})},
      {"value over the token buffer", "&PARAMETRE EY=0" + value2000 + " /\n", 2, 17, Fill({}),
       Fill({})},
      {"string over the token buffer", "&PARAMETRE EY='" + std::string(2001, 'a') + "' /\n", 2, 17,
       Fill({}), Fill({})},
      {"repeat count over the token buffer", "&PARAMETRE EY=" + std::string(2001, '1') + "*1 /\n",
       2, 17, Fill({}), Fill({})},
  });
}

// Failed system calls: the token buffer, the first record, and records
// inside the group that cannot be read (a syntax error there).
TEST(GroupReader, FailedSystemCalls) {
  struct FaultCase {
    const char* name;
    std::string text;
    Fault fault;
    int status;
    std::vector<float> ey;
  };
  const std::string long_record = "&PARAMETRE EY=1\n" + std::string(10000, 'x') + "\n";
  const FaultCase cases[] = {
      {"token buffer", "&PARAMETRE EY=1 /\n", {1, ENOMEM, Sys::kCallAlloc}, 41, Fill({})},
      {"first record", "&PARAMETRE EY=1 /\n", {1, EIO, Sys::kCallRead}, 39, Fill({})},
      {"record inside the group", "&PARAMETRE EY=1\n", {2, EIO, Sys::kCallRead}, 17, Fill({1})},
      {"record buffer cannot grow in the group",
       long_record,
       {2, ENOMEM, Sys::kCallAlloc},
       17,
       Fill({1})},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = ReadParametre(c.text, 2, c.fault);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(out.ey, c.ey);
  }
}

// Arbitrary text made of the group's own characters never crashes, never
// writes outside the objects, and ends with one of the reader's statuses.
TEST(GroupReader, ArbitraryBytes) {
  static const char kAlphabet[] =
      "&&$/PARAMETREYSY==,,()*:!?'\"\r\t\n\n    0123456789.+-eE%x\x80\xFF";
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 2);
  std::uniform_int_distribution<int> any(0, 255);
  for (int round = 0; round < 300; ++round) {
    std::string text = round % 2 ? "&PARAMETRE " : "";
    for (int i = 0; i < 60; ++i) {
      text += round % 7 == 0 ? static_cast<char>(any(rng)) : kAlphabet[pick(rng)];
    }
    SCOPED_TRACE(testing::PrintToString(text));
    const Outcome out = ReadParametre(text, 4);
    EXPECT_TRUE(out.status == 0 || out.status == kEnd || out.status == 17 || out.status == 18 ||
                out.status == 19 || out.status == 64)
        << out.status;
    for (int i = 5; i < kStorage; ++i) {
      EXPECT_EQ(out.ey[i], U);
      EXPECT_EQ(out.sy[i], U);
    }
  }
}

// Objects of rank 2 fill in storage order; a 32-bit integer scalar takes
// integer text and truncates decimal text.
// Z and z are the ends of the letter range: group and object names holding
// them are matched in either case.
TEST(GroupReader, NamesWithZAreMatched) {
  const char* const texts[] = {
      "&ZONEZ ZZ = 1 2, AZ = 3 /\n",
      "&zonez zz=1 2 az=3 /\n",
      "&ZoneZ zZ = 1 2 Az = 3 &end\n",
      "&ZONE ZZ = 9 /\n&ZONEZ ZZ = 1 2, AZ = 3 /\n",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    Outcome out;
    const GroupObject objects[] = {RealArray("ZZ", out.ey.data(), 2),
                                   RealArray("AZ", out.sy.data(), 2)};
    const GroupDescriptor group{"ZONEZ", 5, objects, 2};
    EXPECT_EQ(ReadFrom(text, group, nullptr), 0);
    EXPECT_EQ(out.ey, Fill({1, 2}));
    EXPECT_EQ(out.sy, Fill({3}));
  }
}

TEST(GroupReader, OtherShapesAndTypes) {
  struct ShapeCase {
    const char* name;
    const char* text;
    int status;
    std::vector<float> a;  // A(1:2, 1:3), first index fastest
    int32_t k;
  };
  const ShapeCase cases[] = {
      {"storage order", "&G A = 1 2 3 4 5 6 /", 0, {1, 2, 3, 4, 5, 6}, -5},
      {"single element goes on in storage order", "&G A(2,1) = 7 8 /", 0, {U, 7, 8, U, U, U}, -5},
      {"section of a column", "&G A(1:2,2) = 5 6 /", 0, {U, U, 5, 6, U, U}, -5},
      {"section of a row with stride", "&G A(1,1:3:2) = 1 2 /", 0, {1, U, U, U, 2, U}, -5},
      {"two-dimensional section", "&G A(2:1:-1, 2:3) = 1 2 3 4 /", 0, {U, U, 2, 1, 4, 3}, -5},
      {"section exhausted", "&G A(:,3) = 1 2 3 /", 18, {U, U, U, U, 1, 2}, -5},
      {"one subscript for rank 2", "&G A(1) = 1 /", 19, {U, U, U, U, U, U}, -5},
      {"integer", "&G K = 42 /", 0, {U, U, U, U, U, U}, 42},
      {"integer from decimal text", "&G K = -7.9 /", 0, {U, U, U, U, U, U}, -7},
      {"integer out of range from decimal text", "&G K = 1e10 /", 0, {U, U, U, U, U, U}, INT32_MIN},
      {"integer out of range", "&G K = 2147483648 /", 17, {U, U, U, U, U, U}, -5},
      {"scalar takes one value", "&G K = 1 2 /", 18, {U, U, U, U, U, U}, 1},
      {"substring on an integer", "&G K(1:2) = 1 /", 19, {U, U, U, U, U, U}, -5},
      {"component of a scalar", "&G K%X = 1 /", 19, {U, U, U, U, U, U}, -5},
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> a(6, U);
    int32_t k = -5;
    GroupObject objects[2] = {};
    objects[0].name = "A";
    objects[0].name_len = 1;
    objects[0].type = kTypeReal4;
    objects[0].rank = 2;
    objects[0].lower[0] = 1;
    objects[0].upper[0] = 2;
    objects[0].stride[0] = 4;
    objects[0].lower[1] = 1;
    objects[0].upper[1] = 3;
    objects[0].stride[1] = 8;
    objects[0].storage = a.data();
    objects[1].name = "K";
    objects[1].name_len = 1;
    objects[1].type = kTypeInt32;
    objects[1].storage = &k;
    const GroupDescriptor group{"G", 1, objects, 2};
    EXPECT_EQ(ReadFrom(c.text, group, nullptr), c.status);
    EXPECT_EQ(a, c.a);
    EXPECT_EQ(k, c.k);
  }
}

TEST(GroupReader, DoubleScalars) {
  struct Case {
    const char* text;
    int status;
    double x;  // -5 when no value reached it
  } cases[] = {
      {"&G X = 475.4 /", 0, 475.4},  // not the single-precision 475.399994
      {"&G x=-6.2D-1 /", 0, -0.62}, {"&G X = 1e300 /", 0, 1e300}, {"&G X = 1 2 /", 18, 1},
      {"&G X = abc /", 17, -5},     {"&G X = 'a' /", 64, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double x = -5;
    const GroupObject objects[] = {DoubleScalarObject("X", &x)};
    const GroupDescriptor group{"G", 1, objects, 1};
    EXPECT_EQ(ReadFrom(c.text, group, nullptr), c.status);
    EXPECT_EQ(x, c.x);
  }
}

// Without a status request a failure is reported with the file, the line and
// the position, and ends the process with the message number.
TEST(GroupReader, DiagnosticShowsLineAndPosition) {
  struct ReportCase {
    const char* name;
    const char* text;
    int status;
    const char* message;
    const char* file_tail;  // what follows the file name
  };
  const ReportCase cases[] = {
      {"syntax", "&PARAMETRE EY 1 /\n", 17, "syntax error in NAMELIST input, unit 1, file ",
       ", line 1, position 15\r\n"},
      {"too many", "n\n&PARAMETRE EY=1 2 3 4\n", 18,
       "too many values for NAMELIST variable, unit 1, file ", ", line 2, position 21\r\n"},
      {"reference", "&PARAMETRE XX=1\n", 19,
       "invalid reference to variable in NAMELIST input, unit 1, file ",
       ", line 1, position 13\r\n"},
      {"conversion", "&PARAMETRE EY='a'\n", 64, "input conversion error, unit 1, file ",
       ", line 1, position 17\r\n"},
      {"end of file in the group", "&PARAMETRE EY=1\n", 24,
       "end-of-file during read, unit 1, file ", ", line 2, position 0\r\n"},
      {"end of file at the first record", "", 24, "end-of-file during read, unit 1, file ",
       "input.txt\r\n"},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", c.text);
    const auto r = testsupport::RunInChild(
        dir.path(),
        [] {
          float ey[3], sy[3];
          const GroupObject objects[] = {RealArray("EY", ey, 2), RealArray("SY", sy, 2)};
          const GroupDescriptor group{"PARAMETRE", 9, objects, 2};
          if (!Connect(1, "input.txt")) return 100;
          return GroupReader::read(1, 0, group);
        },
        {{"VELD_DISABLE_STACK_TRACE", "1"}});
    EXPECT_EQ(r.status, c.status);
    const std::string first_line = r.err.substr(0, r.err.find('\n') + 1);
    EXPECT_NE(first_line.find(std::string("dravel: severe (") + std::to_string(c.status) +
                              "): " + c.message),
              std::string::npos)
        << first_line;
    EXPECT_NE(first_line.find("/input.txt"), std::string::npos) << first_line;
    const std::string tail = c.file_tail;
    EXPECT_TRUE(first_line.size() >= tail.size() &&
                first_line.compare(first_line.size() - tail.size(), tail.size(), tail) == 0)
        << first_line;
  }
}

}  // namespace
