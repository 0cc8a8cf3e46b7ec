// Path files in the layout of output.txt: the fields and the record shapes.
#include "life/pathfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/run.h"

namespace {

using testsupport::TempDir;

TEST(PathField, WhatTheProgramWritesAndNothingElse) {
  struct Case {
    const char* field;
    bool ok;
    double value;
  } cases[] = {
      {"   4.000000    ", true, 4.0},
      {"  -160.0000    ", true, -160.0},
      {"  0.0000000E+00", true, 0.0},
      {"  1.2345678E-03", true, 1.2345678e-3},
      {" -Infinity     ", true, -INFINITY},
      {"4.000000       ", false, 0},  // every written field begins with a blank
      {"               ", false, 0},
      {"   4.0000 x    ", false, 0},
      {"   +4.00000    ", false, 0},
      {"   4.000000   ", false, 0},  // 14 characters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    double v = 0;
    EXPECT_EQ(Life::ParsePathField(c.field, v), c.ok);
    if (c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
  double v = 0;
  EXPECT_TRUE(Life::ParsePathField(" NaN           ", v));
  EXPECT_TRUE(std::isnan(v));
}

struct Taken {
  std::vector<double> strain, stress;
};

void Take(double strain, double stress, void* context) {
  static_cast<Taken*>(context)->strain.push_back(strain);
  static_cast<Taken*>(context)->stress.push_back(stress);
}

TEST(PathFile, RecordShapes) {
  const std::string r1 = "   4.000000       160.0000    ";
  const std::string r2 = "  -4.000000      -160.0000    ";
  struct Case {
    const char* name;
    std::string text;
    int64_t records;  // -1: refused
    const char* error;
  } cases[] = {
      {"LF", r1 + "\n" + r2 + "\n", 2, ""},
      {"CR LF, last without line end", r1 + "\r\n" + r2, 2, ""},
      {"empty", "", -1, "path.txt: holds no record"},
      {"short record", r1 + "\n" + r2.substr(1) + "\n", -1,
       "path.txt, record 2: is not two 15-character fields (29 characters)"},
      {"blank line", r1 + "\n\n", -1,
       "path.txt, record 2: is not two 15-character fields (0 characters)"},
      {"junk stress", r1.substr(0, 15) + "   abc         \n", -1,
       "path.txt, record 1: has no stress in columns 16-30"},
      {"no line end in sight", std::string(100, ' '), -1,
       "path.txt, record 1: is not two 15-character fields (no line end within 64 characters)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("path.txt", c.text);
    Taken taken;
    std::string error;
    const std::string path = dir.file("path.txt");
    EXPECT_EQ(Life::ReadPathFile(path, Take, &taken, error), c.records);
    if (c.records >= 0) {
      EXPECT_EQ(taken.stress, (std::vector<double>{160, -160}));
    } else {
      EXPECT_EQ(error, dir.path() + "/" + c.error);
    }
  }
  std::string error;
  Taken taken;
  EXPECT_EQ(Life::ReadPathFile("/nonexistent/path.txt", Take, &taken, error), -1);
  EXPECT_EQ(error, "/nonexistent/path.txt: cannot be opened (No such file or directory)");
}

TEST(PathFile, RecordsAcrossTheReadChunks) {
  // 3.2 MB: records are cut by several 1 MiB reads.
  std::string text;
  const int n = 100000;
  for (int i = 0; i < n; ++i) {
    char rec[40];
    std::snprintf(rec, sizeof rec, "%15.6f%15.4f%s", i * 1e-3, -i * 0.5, i % 3 ? "\n" : "\r\n");
    text += rec;
  }
  TempDir dir;
  dir.write("path.txt", text);
  Taken taken;
  std::string error;
  ASSERT_EQ(Life::ReadPathFile(dir.file("path.txt"), Take, &taken, error), n) << error;
  for (int i = 0; i < n; i += 997) EXPECT_EQ(taken.stress[i], -i * 0.5) << i;
}

}  // namespace
