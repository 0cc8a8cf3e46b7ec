// Tests of reading "output.txt" records and the backbone of "input.txt".
#include "plot/history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace Plot {
namespace {

TEST(ParseField, AcceptsEveryFormTheWriterProduces) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* field;
    double value;
  } cases[] = {
      {"  0.0000000E+00", 0.0},       {"   4.000000    ", 4.0},
      {"  -4.000000    ", -4.0},      {"   160.0000    ", 160.0},
      {"   1234568.    ", 1234568.0}, {"  9.9999994E-02", 9.9999994e-02},
      {" -1.0000000E-30", -1e-30},    {"  3.4028235E+38", 3.4028235e+38},
      {" Infinity      ", inf},       {" -Infinity     ", -inf},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    double v = 0;
    ASSERT_TRUE(ParseField(c.field, v));
    EXPECT_EQ(v, c.value);
  }
  double v = 0;
  ASSERT_TRUE(ParseField(" NaN           ", v));
  EXPECT_TRUE(std::isnan(v));
}

TEST(ParseField, RejectsAnythingElse) {
  const char* cases[] = {
      "               ", "   4.0x       ",  "   4.0  5.0    ", "  inf          ", "  nan          ",
      "   +4.0       ",  "  1.0E+999     ", "   abc        ",  "  -            ", "  NaNa         ",
      "4.000000       ", "NaN            ", "  3.5000001E+38", "  1.0E+300     ",
  };
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    double v = 0;
    EXPECT_FALSE(ParseField(c, v));
  }
}

TEST(ParseOutputText, ReadsRecordsWithAnyLineEnd) {
  struct Case {
    const char* text;
    std::size_t count;
  } cases[] = {
      {"   4.000000       160.0000    \r\n  -4.000000      -160.0000    \r\n", 2},
      {"   4.000000       160.0000    \n  -4.000000      -160.0000    \n", 2},
      {"   4.000000       160.0000    \r\n  -4.000000      -160.0000    ", 2},
      {"   4.000000       160.0000    ", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    History h;
    std::string error;
    ASSERT_TRUE(ParseOutputText(c.text, h, error)) << error;
    ASSERT_EQ(h.size(), c.count);
    EXPECT_EQ(h.strain[0], 4.0);
    EXPECT_EQ(h.stress[0], 160.0);
  }
}

TEST(ParseOutputText, NamesTheFirstBadRecord) {
  struct Case {
    const char* text;
    const char* reason;  // expected part of the message
  } cases[] = {
      {"", "no records"},
      {"   4.000000       160.0000    \r\n\r\n", "record 2 "},
      {"   4.000000       160.0000   \r\n", "record 1 "},
      {"   4.000000       160.0000     \r\n", "record 1 "},
      {"   4.000000       160.0000    \r\n   4.0000000000000160.0000    \r\n", "record 2 "},
      {"   4.000000       160.0000    \r\r\n", "record 1 "},
      {"   4.000000       160.0000    \r\n   4.000000       16x.0000    \r\n", "record 2 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    History h;
    std::string error;
    EXPECT_FALSE(ParseOutputText(c.text, h, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(ParseBackbone, ReadsTheGroupInItsUsualForms) {
  struct Case {
    const char* text;
    std::vector<double> ey;
    std::vector<double> sy;
  } cases[] = {
      {"2\n&PARAMETRE EY = 0 1 3 6, SY = 0 100 150 180 /\n", {0, 1, 3, 6}, {0, 100, 150, 180}},
      {"2\n$parametre\n ey=0,1,3,6\n sy=0,100,150,180\n$end\n", {0, 1, 3, 6}, {0, 100, 150, 180}},
      {"  2.0 ! count\n&PARAMETRE EY = 2*0 1D0 ! comment\n SY = 0 0 +5 /", {0, 0, 1}, {0, 0, 5}},
      // More values than N+2: only N+2 points are kept.
      {"1\n&PARAMETRE EY = 0 1 3 6, SY = 0 100 150 180 /\n", {0, 1, 3}, {0, 100, 150}},
      // Fewer SY than EY: the common prefix.
      {"2\n&PARAMETRE EY = 0 1 3 6, SY = 0 100 /\n", {0, 1}, {0, 100}},
      // Another group first is passed over.
      {"2\n&OTHER A = 1 /\n&PARAMETRE EY = 0 1, SY = 0 10 /\n", {0, 1}, {0, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<Point> bb = ParseBackbone(c.text);
    ASSERT_EQ(bb.size(), c.ey.size());
    for (std::size_t i = 0; i < bb.size(); ++i) {
      EXPECT_EQ(bb[i].x, c.ey[i]);
      EXPECT_EQ(bb[i].y, c.sy[i]);
    }
  }
}

TEST(ParseBackbone, GivesUpQuietlyOnWhatItDoesNotUnderstand) {
  const char* cases[] = {
      "",
      "2\n",
      "x\n&PARAMETRE EY = 0 1, SY = 0 10 /\n",
      "2\n&PARAMETRE EY(1) = 0 1, SY = 0 10 /\n",
      "2\n&PARAMETRE EY = 0 1, SY = 0 10\n",  // never closed
      "2\n&PARAMETRE EY = 0 1, XX = 0 10 /\n",
      "2\n&PARAMETRE EY = 0 abc, SY = 0 10 /\n",
      "2\n&PARAMETRE EY = 0, SY = 0 /\n",  // a single point is no line
      "-3\n&PARAMETRE EY = 0 1, SY = 0 10 /\n",
  };
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(ParseBackbone(c).empty());
  }
}

}  // namespace
}  // namespace Plot
