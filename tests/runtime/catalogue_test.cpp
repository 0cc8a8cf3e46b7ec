// Tests of the message catalogue rows, prefixes and the message formatter.
#include "runtime/catalogue.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/diagnostics.h"

namespace {

std::string Format(const char* format, std::initializer_list<MsgArg> args, size_t cap = 512) {
  char out[512];
  size_t n = FormatText(out, cap, format, args.begin(), args.size());
  return std::string(out, n);
}

TEST(Catalogue, RowsAscendAndAreFoundByNumber) {
  const MessageRow* rows = MessageCatalogue::Rows();
  for (size_t i = 0; i < MessageCatalogue::RowCount(); ++i) {
    SCOPED_TRACE(rows[i].number);
    if (i > 0) {
      EXPECT_LT(rows[i - 1].number, rows[i].number);
    }
    EXPECT_LE(rows[i].severity, 4);
    EXPECT_EQ(MessageCatalogue::Find(rows[i].number), &rows[i]);
  }
}

TEST(Catalogue, UnknownNumbersHaveNoRowAndNumbersWrapAt65536) {
  for (unsigned n : {0u, 1u, 23u, 25u, 501u, 999u, 65535u}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(MessageCatalogue::Find(n), nullptr);
  }
  EXPECT_EQ(MessageCatalogue::Find(65536u + 24u), MessageCatalogue::Find(24));
}

// The binding rows: number, severity and text exactly.
TEST(Catalogue, BindingRows) {
  struct Row {
    unsigned number;
    int severity;
    const char* text;
  };
  const Row rows[] = {
      {8, 4, "internal consistency check failure, file %s, line %d"},
      {9, 4, "permission to access file denied, unit %d, file %s"},
      {10, 4, "cannot overwrite existing file, unit %d, file %s"},
      {17, 4, "syntax error in NAMELIST input, unit %d, file %s"},
      {18, 4, "too many values for NAMELIST variable, unit %d, file %s"},
      {19, 4, "invalid reference to variable in NAMELIST input, unit %d, file %s"},
      {20, 4, "REWIND error, unit %d, file %s"},
      {24, 4, "end-of-file during read, unit %d, file %s"},
      {28, 4, "CLOSE error, unit %d, file %s"},
      {29, 4, "file not found, unit %d, file %s"},
      {30, 4, "open failure, unit %d, file %s"},
      {32, 4, "invalid logical unit number, unit %d, file %s"},
      {38, 4, "error during write, unit %d, file %s"},
      {39, 4, "error during read, unit %d, file %s"},
      {40, 4, "recursive I/O operation, unit %d, file %s"},
      {41, 4, "insufficient virtual memory"},
      {42, 4, "no such device, unit %d, file %s"},
      {43, 4, "file name specification error, unit %d, file %s"},
      {45, 4, "keyword value error in OPEN statement, unit %d, file %s"},
      {47, 4, "write to READONLY file, unit %d, file %s"},
      {59, 4, "list-directed I/O syntax error, unit %d, file %s"},
      {64, 4, "input conversion error, unit %d, file %s"},
      {65, 3, "floating invalid"},
      {66, 4, "output statement overflows record, unit %d, file %s"},
      {72, 3, "floating overflow"},
      {73, 3, "floating divide by zero"},
      {74, 3, "floating underflow"},
      {98, 4, "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
      {99, 4, "VELD_FMT_RECL environment variable has erroneous syntax"},
      {106, 4, "VELD_BLOCKSIZE environment variable has erroneous syntax"},
      {107, 4, "VELD_BUFFERCOUNT environment variable has erroneous syntax"},
      {140, 3, "floating inexact"},
      {151, 4, "allocatable array is already allocated"},
      {157, 4, "Program Exception - access violation"},
      {158, 4, "Program Exception - datatype misalignment"},
      {159, 4, "Program Exception - breakpoint"},
      {160, 4, "Program Exception - single step"},
      {161, 4, "Program Exception - array bounds exceeded"},
      {162, 4, "Program Exception - denormal floating-point operand"},
      {163, 4, "Program Exception - floating stack check"},
      {164, 4, "Program Exception - integer divide by zero"},
      {165, 4, "Program Exception - integer overflow"},
      {166, 4, "Program Exception - privileged instruction"},
      {167, 4, "Program Exception - in page error"},
      {168, 4, "Program Exception - illegal instruction"},
      {169, 4, "Program Exception - noncontinuable exception"},
      {170, 4, "Program Exception - stack overflow"},
      {171, 4, "Program Exception - invalid disposition"},
      {172, 4, "Program Exception - exception code = 0x%lx (%ld)"},
      {179, 4, "Cannot allocate array - overflow on array size calculation."},
      {200, 3, "program aborting due to %s event"},
      {257, 4, "formatted I/O to unit open for unformatted transfers, unit %d, file %s"},
      {259, 4, "sequential-access I/O to unit open for direct access, unit %d, file %s"},
      {296, 1, "%d floating inexact traps"},
      {297, 1, "%d floating invalid traps"},
      {298, 1, "%d floating overflow traps"},
      {299, 1, "%d floating divide-by-zero traps"},
      {300, 1, "%d floating underflow traps"},
      {455, 0, "dravel"},
      {500, 4, "Message not found"},
      {513, 0, "Unknown"},
      {514, 0, ", line %s, position %d"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.number);
    const MessageRow* row = MessageCatalogue::Find(r.number);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->severity, r.severity);
    EXPECT_STREQ(row->text, r.text);
  }
  // Rows whose wording is ours still exist with their severity.
  for (unsigned n : {48u, 96u, 502u, 505u}) {
    SCOPED_TRACE(n);
    ASSERT_NE(MessageCatalogue::Find(n), nullptr);
  }
  EXPECT_EQ(MessageCatalogue::Find(96)->severity, kSevWarning);
}

TEST(Catalogue, PrefixesTakeTheNumber) {
  const char* expected[] = {"dravel: ", "dravel: info (24): ", "dravel: warning (24): ",
                            "dravel: error (24): ", "dravel: severe (24): "};
  for (int s = 0; s <= 4; ++s) {
    SCOPED_TRACE(s);
    EXPECT_EQ(Format(MessageCatalogue::Prefix(s), {24}), expected[s]);
  }
  EXPECT_STREQ(MessageCatalogue::Prefix(9), MessageCatalogue::Prefix(4));
  EXPECT_STREQ(MessageCatalogue::PrefixWord(), "dravel");
  EXPECT_NE(std::string(MessageCatalogue::Caption()).find("dravel"), std::string::npos);
}

TEST(FormatText, Conversions) {
  struct Case {
    const char* format;
    std::initializer_list<MsgArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {"unit %d, file %s", {1, "in.txt"}, "unit 1, file in.txt"},
      {"%d %i %u", {-5, -2147483647 - 1, 4294967295u}, "-5 -2147483648 4294967295"},
      {"%d", {4294967296LL + 7}, "7"},  // %d is 32 bits wide
      {"%ld %lld", {-9000000000LL, 9000000000LL}, "-9000000000 9000000000"},
      {"0x%lx (%ld)", {31ul, 31L}, "0x1f (31)"},
      {"%8.8lX|%8.8X", {0x555EE9D0265Eul, 0xABCul}, "555EE9D0265E|00000ABC"},
      {"%-19.19s|", {"Image"}, "Image              |"},
      {"%-17.17s|", {"a-very-long-module-name.so"}, "a-very-long-modul|"},
      {"%10.10s|", {"Unknown"}, "   Unknown|"},
      {"%05d|%-4d|%4d", {42, 7, -3}, "00042|7   |  -3"},
      {"%s|%s", {MsgArg("abcdef", 3), MsgArg("xyz", 0)}, "abc|"},
      {"100%% %q", {}, "100% %q"},
      {"%d and %s", {}, "0 and "},  // missing arguments
      {"%s", {12}, "12"},           // integer for a text
      {"%d", {"text"}, "0"},        // text for an integer
      {"end %", {}, "end %"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(Format(c.format, c.args), c.expected);
  }
}

TEST(FormatText, CutsAtCapacity) {
  EXPECT_EQ(Format("unit %d, file %s", {123, "name"}, 8), "unit 123");
  EXPECT_EQ(Format("%s", {"abcdef"}, 0), "");
  EXPECT_EQ(Format("%-10s", {"ab"}, 5), "ab   ");
}

}  // namespace
