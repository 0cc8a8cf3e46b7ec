// Tests of the list-directed reader on files: values, separators, null
// values, repeat counts, slash, complex and quoted values, errors, statuses.
#include "textin/listreader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "runtime/platform/fault.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "support/run.h"
#include "textin/number.h"

namespace {

constexpr unsigned kBoth = kErrStatusWanted | kEndStatusWanted;
constexpr float kUnset = -99.0f;  // what an element holds when left unchanged

// Connects a fresh unit number to `path` and returns the number.
int Connect(const std::string& path) {
  static int next_unit = 400;
  int number = next_unit++;
  EXPECT_EQ(
      ConnectNamedFile(number, kErrStatusWanted, path.c_str(), static_cast<int32_t>(path.size())),
      0);
  return number;
}

// A temporary file connected to a fresh unit.
struct UnitFile {
  testsupport::TempDir dir;
  int number;
  explicit UnitFile(const std::string& bytes) {
    dir.write("in.txt", bytes);
    number = Connect(dir.file("in.txt"));
  }
};

int ReadReal(int unit, float* x, unsigned flags = kBoth) {
  InItem items[] = {{kTypeReal4, 0, x, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  return ListReader::read(unit, flags, items);
}

int ReadInt(int unit, int32_t* x, unsigned flags = kBoth) {
  InItem items[] = {{kTypeInt32, 0, x, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  return ListReader::read(unit, flags, items);
}

// Reads a whole array the way the program does: rank 1, lower bound 1.
int ReadRealArray(int unit, std::vector<float>* a, unsigned flags = kBoth) {
  ArrayDim dim{1, static_cast<int64_t>(a->size()), 4};
  InItem items[] = {{kTypeReal4, 1, a->data(), &dim}, {kTypeEnd, 0, nullptr, nullptr}};
  return ListReader::read(unit, flags, items);
}

// One statement of a scalar sequence: the status and the value afterwards.
struct Step {
  int status;
  float value;
};

struct ScalarCase {
  const char* text;
  std::vector<Step> steps;  // one single-precision statement each
};

void RunScalarCases(const std::vector<ScalarCase>& cases) {
  for (const ScalarCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    UnitFile file(c.text);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE(i);
      float x = kUnset;
      EXPECT_EQ(ReadReal(file.number, &x), c.steps[i].status);
      EXPECT_EQ(x, c.steps[i].value);
    }
  }
}

TEST(ListReader, ScalarStatementsTakeOneValuePerRecord) {
  RunScalarCases({
      {"1.5 2.5\n3.5\n", {{0, 1.5f}, {0, 3.5f}, {-1, kUnset}}},
      {"\n  \t\r\n\r\n4.5\n \n\t\n", {{0, 4.5f}, {-1, kUnset}}},
      {"1\n2", {{0, 1}, {0, 2}, {-1, kUnset}, {-1, kUnset}}},
      {"1.25\r\n2.5\r\n", {{0, 1.25f}, {0, 2.5f}, {-1, kUnset}}},
      {"1.25\r\r\n", {{0, 1.25f}}},
      {",2.5\n7\n", {{0, kUnset}, {0, 7}}},
      {"  ,2.5\n", {{0, kUnset}}},
      {"/\n8\n", {{0, kUnset}, {0, 8}}},
      {"3*2.5 7\n9\n", {{0, 2.5f}, {0, 9}}},
      // One scalar: the 3 is read and the rest of the record never examined.
      {"3 * 2.5\n", {{0, 3}}},
      {"3*\n9\n", {{0, kUnset}, {0, 9}}},
      {"(1.5, 2.5)\n", {{0, 1.5f}}},
      {"( 1.5 ,\n\n -2.5E3 )\n4\n", {{0, 1.5f}, {0, 4}}},
      {"(1.5,-inf) (2,nan)\n", {{0, 1.5f}}},
      {"2*(3,4)\n", {{0, 3}}},
      {"1. .5 -.5 1E 15 1.5d3 1.5+3\n", {{0, 1}}},
      {".5\n-.5\n1E\n15\n1.5q3\n1.5-3\n",
       {{0, .5f}, {0, -.5f}, {0, 1}, {0, 15}, {0, 1500}, {0, 1.5e-3f}}},
      {"1.5,2\n1.5/\n1.5)\n", {{0, 1.5f}, {0, 1.5f}, {0, 1.5f}}},
      {"inf\n-Infinity\n", {{0, INFINITY}, {0, -INFINITY}}},
      {"3.5E38\n", {{64, INFINITY}}},
      {"1+2+3\n", {{64, 0}}},
  });
}

TEST(ListReader, PlainDecimalsMatchTheGeneralConversion) {
  // Short [sign] digits [. digits] [E [sign] digits] tokens take a direct
  // route; the value must be the one TextToSingle gives, bit for bit, also
  // for long digit strings and for results near the ends of the range.
  std::mt19937 rng(99);
  std::vector<std::string> tokens;
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    std::string t = i % 3 == 0 ? "-" : i % 3 == 1 ? "+" : "";
    size_t whole = rng() % 12, fraction = rng() % 14;
    for (size_t k = 0; k < whole; ++k) t += static_cast<char>('0' + rng() % 10);
    if (fraction > 0 || whole == 0) t += '.';
    for (size_t k = 0; k < fraction || (t.back() == '.' && whole == 0); ++k)
      t += static_cast<char>('0' + rng() % 10);
    if (i % 4 == 3) {
      // An exponent that keeps every value finite: at most 10^37.
      const int e = static_cast<int>(rng() % 56) - 30;
      t += (rng() % 2 ? "E" : "e") +
           std::string(e < 0       ? "-"
                       : rng() % 2 ? "+"
                                   : "") +
           std::string(rng() % 2 ? "0" : "") + std::to_string(e < 0 ? -e : e);
    }
    tokens.push_back(t);
    text += t + (i % 5 ? "\n" : " ");
  }
  UnitFile file(text);
  std::vector<float> values(tokens.size());
  ASSERT_EQ(ReadRealArray(file.number, &values), 0);
  for (size_t i = 0; i < tokens.size(); ++i) {
    float expected = 0;
    int digits = tokens[i].find('.') != std::string::npos ? 7 : 0;
    ASSERT_EQ(TextToSingle(tokens[i].data(), static_cast<int64_t>(tokens[i].size()), 0, digits,
                           kListRealOptions, &expected),
              kRealOk)
        << tokens[i];
    uint32_t got_bits, want_bits;
    std::memcpy(&got_bits, &values[i], 4);
    std::memcpy(&want_bits, &expected, 4);
    EXPECT_EQ(got_bits, want_bits) << tokens[i];
  }
}

// The value TextToSingle gives for `token`, as bits.
uint32_t GeneralBits(const std::string& token) {
  float value = 0;
  const int digits = token.find('.') != std::string::npos ? 7 : 0;
  EXPECT_EQ(TextToSingle(token.data(), static_cast<int64_t>(token.size()), 0, digits,
                         kListRealOptions, &value),
            kRealOk)
      << token;
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

// Plain decimals of every length up to past the longest one the direct route
// takes, with each kind of value end after them: every read gets the value
// TextToSingle gives, bit for bit, and statements with and without storage
// take one record each. Bad tokens of every length fail with 59 whatever
// their storage.
TEST(ListReader, PlainDecimalsOfEveryLength) {
  std::vector<std::string> tokens;
  for (size_t len = 1; len <= 24; ++len) {
    const std::string digits = std::string(len - 1, '0') + "7";
    tokens.push_back(digits);
    if (len >= 2) {
      tokens.push_back("-" + digits.substr(1));
      tokens.push_back("+" + digits.substr(1));
      tokens.push_back(digits.substr(1) + ".");
      tokens.push_back("." + digits.substr(1));
    }
    if (len >= 4) tokens.push_back("-" + digits.substr(3) + "e-1");
    if (len >= 5) tokens.push_back("+1." + digits.substr(4) + "E+1");
    if (len >= 6) tokens.push_back("-." + digits.substr(5) + "E+05");
  }
  const char* const separators[] = {"\n", " \n", ",\n", "\t\n", "\r\n", " , \n"};
  const char* const scalar_ends[] = {"\n", "/\n", ")\n", "\r\r\n"};
  std::string array_text, scalar_text;
  for (size_t i = 0; i < tokens.size(); ++i) {
    array_text += tokens[i] + separators[i % 6];
    scalar_text += tokens[i] + scalar_ends[i % 4];
  }
  UnitFile array_file(array_text);
  std::vector<float> values(tokens.size(), kUnset);
  ASSERT_EQ(ReadRealArray(array_file.number, &values), 0);
  UnitFile scalar_file(scalar_text);
  for (size_t i = 0; i < tokens.size(); ++i) {
    SCOPED_TRACE(tokens[i]);
    const uint32_t want = GeneralBits(tokens[i]);
    uint32_t got;
    std::memcpy(&got, &values[i], 4);
    EXPECT_EQ(got, want);
    float x = kUnset;
    ASSERT_EQ(ReadReal(scalar_file.number, &x), 0);
    std::memcpy(&got, &x, 4);
    EXPECT_EQ(got, want);
  }
  ASSERT_EQ(RewindUnit(scalar_file.number, 0), 0);
  InItem unstored[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  size_t records = 0;
  while (ListReader::read(scalar_file.number, kBoth, unstored) == 0) ++records;
  EXPECT_EQ(records, tokens.size());

  for (size_t len = 2; len <= 24; ++len) {
    const std::string digits(len - 1, '3');
    for (const std::string& bad :
         {digits + "x", "+-" + digits, digits.substr(1) + ".1.", "1.5e" + digits + "e"}) {
      SCOPED_TRACE(bad);
      UnitFile bad_file(bad + "\n9\n");
      EXPECT_EQ(ListReader::read(bad_file.number, kBoth, unstored), 59);
      float x = kUnset;
      EXPECT_EQ(ReadReal(bad_file.number, &x), 0);
      EXPECT_EQ(x, 9.0f);
      ASSERT_EQ(RewindUnit(bad_file.number, 0), 0);
      x = kUnset;
      EXPECT_EQ(ReadReal(bad_file.number, &x), 59);
      EXPECT_EQ(x, kUnset);
    }
  }
}

TEST(ListReader, ItemWithoutStorageIsScannedButNotConverted) {
  // A scalar item with a null base: the syntax of the value is checked, the
  // value is neither converted nor stored, and the statement consumes the
  // same records as with storage.
  struct Case {
    const char* text;
    int status;
  };
  const Case cases[] = {
      {"1.5\n", 0},      {"  -1.222025E-03  \r\n", 0},
      {"\n\n 7 8\n", 0}, {"3.5E38\n", 0},
      {"1e99999\n", 0},  {",\n", 0},
      {"2*\n", 0},       {"/\n", 0},
      {"(1.5, 2)\n", 0}, {"abc\n", 59},
      {"1E+\n", 59},     {"'12'\n", 64},
      {"T\n", 64},       {"\n  \n", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    UnitFile file(std::string(c.text) + (c.status == -1 ? "" : "9\n"));
    InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
    EXPECT_EQ(ListReader::read(file.number, kBoth, items), c.status);
    if (c.status == -1) continue;
    float next = kUnset;
    EXPECT_EQ(ReadReal(file.number, &next), 0);
    EXPECT_EQ(next, 9.0f);
  }
}

TEST(ListReader, BadTextFailsAndTheNextStatementGoesOn) {
  // Each bad record leaves the value unchanged (or as the conversion stored
  // it) and the following statement reads the next record.
  struct Bad {
    const char* text;
    int status;
  };
  const Bad cases[] = {
      {"abc", 59},
      {"1.5x", 59},
      {"+-1", 59},
      {"1.2.3", 59},
      {"1E5E5", 59},
      {"E5", 59},
      {"-", 59},
      {".", 59},
      {"+", 59},
      {"1E+", 59},
      {"1-", 59},
      {"1.5\r2.5", 59},
      {"\xef\xbb\xbf"
       "1.5",
       59},
      {"\x80", 59},
      {"1\xff", 59},
      {"*3", 59},
      {")", 59},
      {"((1,2)", 59},
      {"(1.5 2.5)", 59},
      {"(1.5, 2.5x)", 59},
      {"(1.5, .5)", 59},
      {"(1.5, 2E+3)", 59},
      {"(1.5, inx)", 59},
      {"(, 2)", 59},
      {"(1.5; 2)", 59},
      {"2*3*4", 59},
      {"i5", 64},
      {"1i", 59},
      {"true", 64},
      {"T", 64},
      {".t", 64},
      {"F", 64},
      {"'12'", 64},
      {"\"1\"\"2\"", 64},
      {"2.5*3", 64},
      {"x*3", 59},
      {"1e*3", 64},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.text);
    UnitFile file(std::string(c.text) + "\n9\n");
    float x = kUnset;
    EXPECT_EQ(ReadReal(file.number, &x), c.status);
    if (c.status == 59) {
      EXPECT_EQ(x, kUnset);
    }
    float next = kUnset;
    EXPECT_EQ(ReadReal(file.number, &next), 0);
    EXPECT_EQ(next, 9.0f);
  }
}

TEST(ListReader, NulByteInsideAToken) {
  UnitFile file(std::string("1\0\n9\n", 5));
  float x = kUnset;
  EXPECT_EQ(ReadReal(file.number, &x), 59);
  EXPECT_EQ(x, kUnset);
}

TEST(ListReader, QuotedStrings) {
  std::string long_text(2049, 'q'), too_long(2050, 'q');
  RunScalarCases({
      {"'ab\ncd'\n9\n", {{64, kUnset}, {0, 9}}},
      {"'it''s'\n", {{64, kUnset}}},
      {"'never closed\n\n", {{-1, kUnset}}},
      {("'" + long_text + "'\n").c_str(), {{64, kUnset}}},
      {("'" + too_long + "'\n").c_str(), {{59, kUnset}}},
      {("'" + long_text.substr(10) + "\n" + std::string(10, 'q') + "'\n").c_str(), {{64, kUnset}}},
  });
}

TEST(ListReader, IntegerItems) {
  struct IntCase {
    const char* text;
    int status;
    int32_t value;
  };
  const IntCase cases[] = {
      {"7.9", 0, 7},
      {"-7.9", 0, -7},
      {"5.0", 0, 5},
      {"3.0", 0, 3},
      {"+5", 0, 5},
      {"1e10", 0, INT32_MIN},
      {"-1e10", 0, INT32_MIN},
      {"nan", 64, 0},
      {"1E0", 0, 1},
      {"2147483647", 0, 2147483647},
      {"-2147483648", 0, INT32_MIN},
      {"2147483648", 64, 0},
      {"-0.99", 0, 0},
      {"2147483647.9", 0, 2147483647},
      {"2147483648.0", 0, INT32_MIN},
      {"1e400", 64, 77},
      {"T", 64, 77},
      {"12abc", 59, 77},
      {",", 0, 77},
      {"2*6", 0, 6},
      {"(4.5, 1)", 0, 4},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.text);
    UnitFile file(std::string(c.text) + "\n");
    int32_t x = 77;
    EXPECT_EQ(ReadInt(file.number, &x), c.status);
    EXPECT_EQ(x, c.value);
  }
}

struct ArrayCase {
  const char* text;
  int status;
  std::vector<float> values;  // kUnset: left unchanged
};

TEST(ListReader, ArraySeparatorsNullsRepeatsAndSlash) {
  const ArrayCase cases[] = {
      {"1/\n", 0, {1, kUnset, kUnset}},
      {"1.0\n,2.0\n", 0, {1, 2}},
      {"1.0,\n,2.0\n", 0, {1, kUnset, 2}},
      {"1.0 \n , 2.0\n", 0, {1, 2}},
      {"1.0\n\n\n,2.0\n", 0, {1, 2}},
      {"1.0,,3.0\n", 0, {1, kUnset, 3}},
      {"1.0, ,3.0\n", 0, {1, kUnset, 3}},
      {"1.0 , , 3.0\n", 0, {1, kUnset, 3}},
      {"1.0,,\n,2.0\n", 0, {1, kUnset, kUnset, 2}},
      {",,\n5\n", 0, {kUnset, kUnset, 5}},
      {",\n5\n", 0, {kUnset, 5}},
      {"1 2\n3\n", 0, {1, 2, 3}},
      {"1,2,3,4\n", 0, {1, 2}},
      {"1\t2\r\n\r\n 3\n", 0, {1, 2, 3}},
      {"3*2.5 4 5\n", 0, {2.5f, 2.5f, 2.5f, 4, 5}},
      {"3* 4 5\n", 0, {kUnset, kUnset, kUnset, 4, 5}},
      {"3*,4\n", 0, {kUnset, kUnset, kUnset, 4}},
      {"2*\n7\n", 0, {kUnset, kUnset, 7}},
      {"0*5 6\n", 0, {5, 6}},
      {"-1*5 6\n", 0, {5, 6}},
      {"2*/ 5\n", 0, {kUnset, kUnset}},
      {"1 2 /\n", 0, {1, 2, kUnset, kUnset}},
      {"1\n/\n3\n", 0, {1, kUnset, kUnset}},
      {"2*(1,0) 3\n", 0, {1, 1, 3}},
      {"3 * 2.5\n", 59, {3, kUnset, kUnset}},
      {"1 abc 3\n", 59, {1, kUnset, kUnset}},
      {"1 2)\n", 59, {1, 2, kUnset}},
      {"1 2 T\n", 64, {1, 2, kUnset}},
      {"1 3.5E38\n", 64, {1, INFINITY}},
      {"5\n,\n", -1, {5, kUnset}},
      {"1 2\n", -1, {1, 2, kUnset}},
      {"\n \n", -1, {kUnset}},
      {"", -1, {kUnset}},
  };
  for (const ArrayCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    UnitFile file(c.text);
    std::vector<float> a(c.values.size(), kUnset);
    EXPECT_EQ(ReadRealArray(file.number, &a), c.status);
    EXPECT_EQ(a, c.values);
    // After a record of its own, the first record is fetched within the
    // statement, where a plain decimal at its start is taken in one step:
    // what follows it must go on alike. (A comma that starts the record
    // would then be the separator after that value.)
    if (c.text[0] == ',') continue;
    UnitFile after_record(std::string("9\n") + c.text);
    std::vector<float> b(c.values.size() + 1, kUnset), want = {9};
    want.insert(want.end(), c.values.begin(), c.values.end());
    EXPECT_EQ(ReadRealArray(after_record.number, &b), c.status);
    EXPECT_EQ(b, want);
  }
}

TEST(ListReader, RepeatCountCarriesAcrossItems) {
  UnitFile file("2*1 3*2\n4\n");
  float a[3] = {kUnset, kUnset, kUnset};
  float x = kUnset, y = kUnset;
  int32_t k = 0;
  ArrayDim dim{1, 3, 4};
  InItem items[] = {{kTypeReal4, 1, a, &dim},
                    {kTypeInt32, 0, &k, nullptr},
                    {kTypeReal4, 0, &x, nullptr},
                    {kTypeReal4, 0, &y, nullptr},
                    {kTypeEnd, 0, nullptr, nullptr}};
  EXPECT_EQ(ListReader::read(file.number, kBoth, items), 0);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[1], 1);
  EXPECT_EQ(a[2], 2);
  EXPECT_EQ(k, 2);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 4);
}

TEST(ListReader, ArraysOfHigherRankInStorageOrder) {
  // A 2 x 3 section of a 4 x 3 table (every other row), first index fastest.
  UnitFile file("1 2 3 4 5 6\n");
  float t[3][4];
  for (auto& row : t)
    for (float& v : row) v = kUnset;
  ArrayDim dims[] = {{1, 2, 8}, {1, 3, 16}};
  InItem items[] = {{kTypeReal4, 2, &t[0][0], dims}, {kTypeEnd, 0, nullptr, nullptr}};
  EXPECT_EQ(ListReader::read(file.number, kBoth, items), 0);
  const float expected[3][4] = {
      {1, kUnset, 2, kUnset}, {3, kUnset, 4, kUnset}, {5, kUnset, 6, kUnset}};
  EXPECT_EQ(std::memcmp(t, expected, sizeof t), 0);
  // An empty dimension makes an array of no elements: nothing is read.
  ArrayDim empty[] = {{1, 0, 4}};
  InItem none[] = {{kTypeReal4, 1, &t[0][0], empty}, {kTypeEnd, 0, nullptr, nullptr}};
  EXPECT_EQ(ListReader::read(file.number, kBoth, none), -1);
}

TEST(ListReader, StatusFlagsSelectWhatComesBack) {
  // Both options: end of file -1, errors their number.
  UnitFile file("abc\n");
  float x = kUnset;
  EXPECT_EQ(ReadReal(file.number, &x, kErrStatusWanted), 59);
  EXPECT_EQ(ReadReal(file.number, &x, kEndStatusWanted), -1);
  // The unit is released after a returned failure: a further statement works.
  EXPECT_EQ(ReadReal(file.number, &x, kBoth), -1);
}

TEST(ListReader, FailedReadGives39) {
  UnitFile file("1\n");
  Sys::SetFault(1, EIO, Sys::kCallRead);
  float x = kUnset;
  EXPECT_EQ(ReadReal(file.number, &x), 39);
  Sys::SetFault(0, 0);
  EXPECT_EQ(ReadReal(file.number, &x), 0);
  EXPECT_EQ(x, 1.0f);
}

TEST(ListReader, UnitsThatCannotTakeListInput) {
  testsupport::TempDir dir;
  dir.write("in.txt", "1\n");
  std::string path = dir.file("in.txt");
  struct Case {
    OpenAttr access;
    OpenAttr form;
    int status;
  };
  const Case cases[] = {
      {{kTypeChar, kFormText, kAttrAccess, 0, "SEQUENTIAL", 10},
       {kTypeChar, kFormText, kAttrForm, 0, "UNFORMATTED", 11},
       257},
      {{kTypeChar, kFormText, kAttrAccess, 0, "DIRECT", 6},
       {kTypeChar, kFormText, kAttrForm, 0, "FORMATTED", 9},
       259},
  };
  int number = 480;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    OpenAttr attrs[] = {
        {kTypeChar, kFormText, kAttrFile, 0, path.c_str(), static_cast<int32_t>(path.size())},
        c.access,
        c.form,
        {kTypeInt32, kFormValue, kAttrRecl, 4, nullptr, 0},
        {kTypeEnd, 0, 0, 0, nullptr, 0}};
    ASSERT_EQ(ConnectUnit(++number, kErrStatusWanted, attrs), 0);
    float x = kUnset;
    EXPECT_EQ(ReadReal(number, &x), c.status);
    EXPECT_EQ(x, kUnset);
  }
}

// Arbitrary bytes never crash the reader, never hang it and never give a
// status outside the reader's set.
TEST(ListReader, ArbitraryBytes) {
  std::mt19937 rng(12345);
  const char alphabet[] = "0123456789+-.eEdDqQiInN*,/()'\" \t\r\n\n\ntTfF\x00\x80\xef\xbb\xbf\xff";
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    std::string bytes;
    size_t length = rng() % 400;
    for (size_t i = 0; i < length; ++i)
      bytes +=
          round % 2 ? static_cast<char>(rng() & 0xFF) : alphabet[rng() % (sizeof alphabet - 1)];
    UnitFile file(bytes);
    int statements = 0;
    for (;;) {
      float x = 0;
      int status = ReadReal(file.number, &x);
      ASSERT_TRUE(status == 0 || status == -1 || status == 59 || status == 64) << status;
      if (status == -1) break;
      ASSERT_LE(++statements, static_cast<int>(bytes.size()));
    }
    ASSERT_EQ(RewindUnit(file.number, 0), 0);
    std::vector<float> a(64, 0);
    int status = ReadRealArray(file.number, &a);
    EXPECT_TRUE(status == 0 || status == -1 || status == 59 || status == 64) << status;
  }
}

#ifdef HYSTERESIS_EXHAUSTIVE
constexpr size_t kLongLine = size_t{100} << 20;
#else
constexpr size_t kLongLine = size_t{20} << 20;
#endif

TEST(ListReader, VeryLongLines) {
  struct Case {
    std::string line;
    int status;
    float value;
  };
  const Case cases[] = {
      {std::string(kLongLine, ' ') + "2.5", 0, 2.5f},
      {std::string(kLongLine, '\t') + "\r\n\r\n 3.5", 0, 3.5f},
      {"1" + std::string(kLongLine, 'x'), 59, kUnset},
      {"4.5 " + std::string(kLongLine, '\x80'), 0, 4.5f},
      {"'" + std::string(kLongLine, 'a') + "'", 59, kUnset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    UnitFile file(c.line + "\n6\n");
    float x = kUnset;
    EXPECT_EQ(ReadReal(file.number, &x), c.status);
    EXPECT_EQ(x, c.value);
    EXPECT_EQ(ReadReal(file.number, &x), 0);
    EXPECT_EQ(x, 6.0f);
  }
}

// Where a count ends: statements counted, record counter, file position.
struct CountEnd {
  int64_t count;
  uint64_t records;
  int64_t position;
  bool operator==(const CountEnd&) const = default;
};

void PrintTo(const CountEnd& e, std::ostream* os) {
  *os << "{count " << e.count << ", records " << e.records << ", position " << e.position << "}";
}

CountEnd UnitEnd(int number, int64_t count) {
  UnitBlock* unit = nullptr;
  EXPECT_EQ(AcquireUnit(number, &unit), 0);
  CountEnd end{count, unit->record_counter, unit->file_position};
  ReleaseUnit(unit);
  return end;
}

// Connects `path` to a fresh unit whose records end with `terminator`.
int ConnectWithTerminator(const std::string& path, char terminator) {
  int number = Connect(path);
  UnitBlock* unit = nullptr;
  EXPECT_EQ(AcquireUnit(number, &unit), 0);
  unit->terminator = static_cast<uint8_t>(terminator);
  ReleaseUnit(unit);
  return number;
}

// Where the count of the file at `path` ends, run statement by statement
// and in one call, each on a fresh unit.
struct CountBoth {
  CountEnd one_by_one, in_one_call;
};

CountBoth CountBothWays(const std::string& path, char terminator, const InItem* items) {
  const int one_by_one = ConnectWithTerminator(path, terminator);
  int64_t statements = 0;
  while (ListReader::read(one_by_one, kBoth, items) != -1) ++statements;
  const int in_one_call = ConnectWithTerminator(path, terminator);
  const int64_t counted = ListReader::count_reads(in_one_call, kBoth, items);
  return {UnitEnd(one_by_one, statements), UnitEnd(in_one_call, counted)};
}

// A random history built from records of every kind the count meets:
// plain decimals with and without blanks, tabs and carriage returns, values
// that other routes take, blank records, values over two records, bad text.
std::string MixedHistory(std::mt19937& rng, size_t records, char terminator) {
  static const char* const kPlain[] = {"1.5",
                                       "-0.001234",
                                       "+7",
                                       ".5",
                                       "-.5",
                                       "1.",
                                       "1e5",
                                       "1.5E-03",
                                       "-2.25e+10",
                                       "0",
                                       "123456789012345",
                                       "1234567890123456789",
                                       "1.000000000000001",
                                       "+1.5e3"};
  static const std::string kOther[] = {"",
                                       "   ",
                                       "\t",
                                       ",",
                                       ",,",
                                       "/",
                                       "1.5/",
                                       "abc",
                                       "T",
                                       ".true.",
                                       "'x'",
                                       "\"q\"",
                                       "(1.5, 2)",
                                       "(1.5,",
                                       "2*1.5",
                                       "3*",
                                       "*3",
                                       "1.5d3",
                                       "1.5x",
                                       "1E+",
                                       "inf",
                                       "-nan",
                                       "1.5\r2",
                                       "\r",
                                       "\r\r",
                                       std::string("1\0", 2),
                                       "\x80",
                                       "1.5,2.5",
                                       "1.5 abc",
                                       "1.5)",
                                       "12345678901234567890123",
                                       "'a",
                                       "b'",
                                       std::string(70, ' ') + "5",
                                       "5" + std::string(130, ' ') + "x",
                                       std::string(150, ' '),
                                       std::string(90, ' ') + "'",
                                       "'" + std::string(100, 'q') + "'"};
  const std::string blanks[] = {"", " ", "  ", "\t", " \t ", "               "};
  std::string text;
  for (size_t i = 0; i < records; ++i) {
    std::string record;
    if (rng() % 4 != 0) {
      record = blanks[rng() % 6] + kPlain[rng() % std::size(kPlain)];
      if (rng() % 3 == 0) record += blanks[rng() % 6] + (rng() % 2 ? "junk" : ",x");
    } else {
      record = kOther[rng() % std::size(kOther)];
    }
    if (rng() % 5 == 0) record += rng() % 2 ? "\r" : "\r\r";
    text += record;
    if (i + 1 < records || rng() % 2) text += terminator;
  }
  return text;
}

TEST(ListReader, CountInOneCallEndsWhereStatementByStatementEnds) {
  // The count's statement run record by record and in one call must count
  // alike and leave the record counter and file position alike, for every
  // kind of record, over buffer refills, for either item type and for a
  // terminator other than line feed.
  std::mt19937 rng(2026);
  for (int round = 0; round < 120; ++round) {
    SCOPED_TRACE(round);
    const char terminator = round % 5 == 4 ? ';' : '\n';
    const uint8_t type = round % 3 == 2 ? kTypeInt32 : kTypeReal4;
    const size_t records = round % 4 == 0 ? 3000 + rng() % 3000 : rng() % 60;
    testsupport::TempDir dir;
    dir.write("h.txt", MixedHistory(rng, records, terminator));
    const InItem items[] = {{type, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
    const CountBoth ends = CountBothWays(dir.file("h.txt"), terminator, items);
    EXPECT_EQ(ends.in_one_call, ends.one_by_one);
  }
}

// A history of values that each start their record, as the program's own
// files hold them, with a rare other record among them: the count then
// takes whole 64-byte blocks at once, and must still stop or go record by
// record where the rare one stands.
TEST(ListReader, CountOverBlocksOfValueRecordsEndsWhereStatementByStatementEnds) {
  const char* const rare[] = {"",  " ",   "\r", " 5", "5 ",  "5\r", ",",
                              "/", "'q'", "'a", "b'", "(1,", "2)",  "x"};
  std::mt19937 rng(64);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const char terminator = round % 4 == 3 ? ';' : '\n';
    std::string text;
    for (int i = 0; i < 400; ++i) {
      text += rng() % 30 == 0 ? rare[rng() % std::size(rare)]
                              : std::to_string(static_cast<int>(rng() % 200000) - 100000) + "E-08";
      text += terminator;
    }
    testsupport::TempDir dir;
    dir.write("h.txt", text);
    const InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
    const CountBoth ends = CountBothWays(dir.file("h.txt"), terminator, items);
    EXPECT_EQ(ends.in_one_call, ends.one_by_one);
  }
}

// An array read takes runs of records that each hold one plain decimal in
// a tight loop and sets the unit once per run. The same statement with one
// scalar item per element takes every element alone: both must store the
// same bits, end with the same status, record counter and position, and
// leave the next statement the same place, wherever a rare record breaks a
// run, across buffer refills, and for a terminator other than line feed.
TEST(ListReader, ArrayReadInRunsEndsWhereElementByElementEnds) {
  const char* const rare[] = {"",        " 5",    "5 ", "5\r", "5\r\r", "1.5 2.5",
                              "1.5,2.5", "2*3.5", "3*", ",",   "/",     "x",
                              "1.5x",    "'q'",   "1e", "+.5", "-0.",   "1E+400"};
  std::mt19937 rng(1209);
  for (int round = 0; round < 48; ++round) {
    SCOPED_TRACE(round);
    const char terminator = round % 4 == 3 ? ';' : '\n';
    const int records = round % 3 == 0 ? 12000 : 300;
    std::string text;
    for (int i = 0; i < records; ++i) {
      text += rng() % 40 == 0 ? rare[rng() % std::size(rare)]
                              : std::to_string(static_cast<int>(rng() % 200000) - 100000) + "E-0" +
                                    std::to_string(rng() % 10);
      text += terminator;
    }
    testsupport::TempDir dir;
    dir.write("h.txt", text);
    const size_t n = static_cast<size_t>(records) - rng() % 50;

    std::vector<float> in_runs(n, kUnset);
    const int array_unit = ConnectWithTerminator(dir.file("h.txt"), terminator);
    const int array_status = ReadRealArray(array_unit, &in_runs);
    float after_array = kUnset;
    const int array_next = ReadReal(array_unit, &after_array);

    std::vector<float> alone(n, kUnset);
    std::vector<InItem> items;
    for (float& x : alone) items.push_back({kTypeReal4, 0, &x, nullptr});
    items.push_back({kTypeEnd, 0, nullptr, nullptr});
    const int scalar_unit = ConnectWithTerminator(dir.file("h.txt"), terminator);
    const int scalar_status = ListReader::read(scalar_unit, kBoth, items.data());
    float after_scalars = kUnset;
    const int scalar_next = ReadReal(scalar_unit, &after_scalars);

    EXPECT_EQ(array_status, scalar_status);
    EXPECT_EQ(array_next, scalar_next);
    EXPECT_EQ(std::memcmp(in_runs.data(), alone.data(), n * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(&after_array, &after_scalars, sizeof(float)), 0);
    EXPECT_EQ(UnitEnd(array_unit, 0), UnitEnd(scalar_unit, 0));
  }
}

TEST(ListReader, CountEndsAtEndOfFileAndAfterEveryValueError) {
  struct Case {
    const char* text;
    int64_t count;
  };
  const Case cases[] = {
      {"", 0},           {"\n  \n\t\n", 0},       {"1\n2\n3", 3},
      {"1\n\n\n2\n", 2}, {"abc\n'q'\nT\n1\n", 4}, {"(1,\n2)\n3\n", 2},
      {"'a\nb'\n", 1},   {"1\n,\n/\n", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    UnitFile file(c.text);
    const InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
    EXPECT_EQ(ListReader::count_reads(file.number, kBoth, items), c.count);
  }
}

TEST(ListReader, CountWithoutErrorStatusReportsABadValue) {
  // Among plain records, a record whose value fails ends the count without
  // the error status with that value's diagnostic.
  struct Case {
    const char* record;
    int status;
  };
  const Case cases[] = {
      {"1.5x", 59}, {"  1.5\r2.5", 59}, {"1-", 59},   {"1E5E5", 59}, {"+-1", 59}, {"1.2.3", 59},
      {"1i", 59},   {"\t-2e+", 59},     {"1.5'", 59}, {"7 T", 0},    {"T", 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    UnitFile file("1\n 2\n-3.5\r\n" + std::string(c.record) + "\n4\n");
    const InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
    auto r = testsupport::RunInChild(
        file.dir.path(),
        [&] {
          return static_cast<int>(ListReader::count_reads(file.number, kEndStatusWanted, items));
        },
        {{"VELD_DISABLE_STACK_TRACE", "1"}});
    EXPECT_EQ(r.status, c.status == 0 ? 5 : c.status) << r.err;
  }
}

TEST(ListReader, CountStopsAtAFailedRead) {
  // A read that fails would fail again (or skip a record) at the next
  // statement: the count reports it, with or without the error status.
  UnitFile file("1\n2\n");
  const InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  auto r = testsupport::RunInChild(file.dir.path(),
                                   [&] {
                                     Sys::SetFault(1, EIO, Sys::kCallRead, true);
                                     ListReader::count_reads(file.number, kBoth, items);
                                     return 0;
                                   },
                                   {{"VELD_DISABLE_STACK_TRACE", "1"}});
  EXPECT_EQ(r.status, 39) << r.err;
  EXPECT_NE(r.err.find("severe (39)"), std::string::npos) << r.err;
}

}  // namespace
