// Tests of the unit environment variables: the integer syntax of the size
// variables, their ranges and errors, and the terminator grammar.
#include "runtime/unitenv.h"

#include <gtest/gtest.h>

#include "runtime/units.h"
#include "support/run.h"

namespace {

TEST(UnitEnvTest, SizeSyntax) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"100", true, 100},
      {"  1 0 0  ", true, 100},
      {"", true, 0},
      {"   ", true, 0},
      {"+7", true, 7},
      {"-5", true, -5},
      {" - 5", true, -5},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"99999999999999", false, 0},
      {"12a", false, 0},
      {"\t12", false, 0},
      {"1-", false, 0},
      {"--1", false, 0},
      {"+-1", false, 0},
      {"-", false, 0},
      {"0x10", false, 0},
      {"1.5", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t v = 12345;
    EXPECT_EQ(c.ok, UnitEnv::ParseSize(c.text, &v));
    if (c.ok) {
      EXPECT_EQ(c.value, v);
    }
  }
}

TEST(UnitEnvTest, SizeRangesAndErrors) {
  struct Case {
    const char *recl, *block, *count;
    UnitEnv::Sizes want;
  } cases[] = {
      {nullptr, nullptr, nullptr, {0, 0, 0, 0, 0, 0}},
      {"100", "1000", "2", {100, 1024, 2, 0, 0, 0}},
      {"0", "0", "0", {0, 0, 0, 0, 0, 0}},
      {"-5", "1", "127", {0, 512, 127, 99, 0, 0}},
      {"abc", "2147467264", "128", {0, 2147467264, 0, 99, 0, 107}},
      {"1", "2147467265", "-1", {1, 0, 0, 0, 106, 107}},
      {"", "x", "200", {0, 0, 0, 0, 106, 107}},
      {nullptr, "-512", nullptr, {0, 0, 0, 0, 106, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.recl ? c.recl : "-") + "/" + (c.block ? c.block : "-") + "/" +
                 (c.count ? c.count : "-"));
    UnitEnv::Sizes s = UnitEnv::DecodeSizes(c.recl, c.block, c.count);
    EXPECT_EQ(c.want.fmt_recl, s.fmt_recl);
    EXPECT_EQ(c.want.block_size, s.block_size);
    EXPECT_EQ(c.want.buffer_count, s.buffer_count);
    EXPECT_EQ(c.want.fmt_recl_error, s.fmt_recl_error);
    EXPECT_EQ(c.want.block_size_error, s.block_size_error);
    EXPECT_EQ(c.want.buffer_count_error, s.buffer_count_error);
  }
}

TEST(UnitEnvTest, TerminatorGrammar) {
  constexpr uint8_t CR = kRecStreamCR, LF = kRecStreamLF, CRLF = kRecStreamCRLF, NO = 0;
  struct Case {
    const char* text;
    bool ok;
    // kinds for units -1, 1, 2, 3, 4, 7, 10
    uint8_t kinds[7];
  } cases[] = {
      {"CR", true, {CR, CR, CR, CR, CR, CR, CR}},
      {"LF", true, {LF, LF, LF, LF, LF, LF, LF}},
      {"CRLF", true, {CRLF, CRLF, CRLF, CRLF, CRLF, CRLF, CRLF}},
      {"CRLF;LF:3", true, {CRLF, CRLF, CRLF, LF, CRLF, CRLF, CRLF}},
      {"3", true, {NO, NO, NO, CR, NO, NO, NO}},
      {"LF:1,3-4,10", true, {NO, LF, NO, LF, LF, NO, LF}},
      {"LF;2", true, {LF, LF, CR, LF, LF, LF, LF}},
      {"CR;CRLF:2-3", true, {CR, CR, CRLF, CRLF, CR, CR, CR}},
      {"LF;LF:3", true, {LF, LF, LF, LF, LF, LF, LF}},
      {"4-4", true, {NO, NO, NO, NO, CR, NO, NO}},
      // Malformed: nothing changes.
      {"lf", false, {}},
      {"", false, {}},
      {"LF;", false, {}},
      {"LF:", false, {}},
      {"3,", false, {}},
      {"3-", false, {}},
      {"4-3", false, {}},
      {"-1", false, {}},
      {"1;LF:3", false, {}},
      {"LF:3;CR", false, {}},
      {"CR:LF:3", false, {}},
      {"LF; 3", false, {}},
      {"1,,2", false, {}},
      {"CRLF;LF;3", false, {}},
      {"x", false, {}},
      {"3 ", false, {}},
      {"99999999999", false, {}},
  };
  const int units[7] = {-1, 1, 2, 3, 4, 7, 10};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    UnitEnv::TerminatorRule rule;
    EXPECT_EQ(c.ok, UnitEnv::ParseTerminator(c.text, &rule));
    for (int i = 0; i < 7; ++i)
      EXPECT_EQ(c.kinds[i], UnitEnv::TerminatorKind(rule, units[i])) << units[i];
  }
}

TEST(UnitEnvTest, TerminatorListHoldsAtMost64Entries) {
  std::string list = "LF:";
  for (int i = 1; i <= 64; ++i) list += std::to_string(i) + (i < 64 ? "," : "");
  UnitEnv::TerminatorRule rule;
  ASSERT_TRUE(UnitEnv::ParseTerminator(list.c_str(), &rule));
  EXPECT_EQ(kRecStreamLF, UnitEnv::TerminatorKind(rule, 64));
  list += ",65";
  EXPECT_FALSE(UnitEnv::ParseTerminator(list.c_str(), &rule));
  EXPECT_EQ(0, UnitEnv::TerminatorKind(rule, 1));
}

TEST(UnitEnvTest, VariablesAreReadFromTheEnvironment) {
  testsupport::TempDir dir;
  auto r = testsupport::RunInChild(
      dir.path(),
      [] {
        UnitEnv::Forget();
        const UnitEnv::Sizes& s = UnitEnv::GetSizes();
        int bad = 0;
        if (s.fmt_recl != 100 || s.block_size != 1024 || s.buffer_count_error != 107) bad |= 1;
        if (!UnitEnv::BufferedByDefault()) bad |= 2;
        if (UnitEnv::UnitFileName(7) == nullptr || UnitEnv::UnitFileName(8) != nullptr) bad |= 4;
        if (UnitEnv::TerminatorForUnit(3) != kRecStreamLF || UnitEnv::TerminatorForUnit(2) != 0)
          bad |= 8;
        return bad;
      },
      {{"VELD_FMT_RECL", "100"},
       {"VELD_BLOCKSIZE", "1000"},
       {"VELD_BUFFERCOUNT", "200"},
       {"VELD_BUFFERED", "Yes"},
       {"VELD7", "seven.txt"},
       {"VELD8", "\x01"},
       {"VELD_FMT_TERMINATOR", "LF:3"}});
  EXPECT_EQ(0, r.status) << r.err;
}

}  // namespace
