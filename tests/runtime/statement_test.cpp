// Tests of the statement's hold on its unit and its failure path: the
// statuses a statement takes instead of a report, the file text, and the
// report itself. Anything that may end the process runs in a child.
#include "runtime/statement.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/items.h"
#include "runtime/units.h"
#include "runtime/platform/file.h"
#include "support/run.h"

namespace {

using testsupport::RunInChild;
using testsupport::RunResult;
using testsupport::TempDir;

// A unit is held for the statement, refused with the statement's status, or
// left with the earlier statement of the thread that holds it.
TEST(StatementUnit, AcquiresOrTakesTheStatus) {
  {
    StatementUnit first(7, kErrStatusWanted);
    ASSERT_TRUE(first.held());
    StatementUnit again(7, kErrStatusWanted);
    EXPECT_FALSE(again.held());
    EXPECT_EQ(again.status(), 40);
    EXPECT_TRUE(first.held());
  }
  // Both are gone: the unit was handed back.
  StatementUnit later(7, kErrStatusWanted);
  EXPECT_TRUE(later.held());
  EXPECT_EQ(later.Done(), 0);
  EXPECT_FALSE(later.held());

  StatementUnit refused(-9, kErrStatusWanted);
  EXPECT_FALSE(refused.held());
  EXPECT_EQ(refused.status(), 32);
}

// A failure hands the unit back before it is reported or returned.
TEST(StatementUnit, FailReleasesTheUnit) {
  StatementUnit statement(8, kErrStatusWanted);
  ASSERT_TRUE(statement.held());
  EXPECT_EQ(statement.Fail(64), 64);
  EXPECT_FALSE(statement.held());
  EXPECT_EQ(statement.status(), 64);
  StatementUnit next(8, kErrStatusWanted);
  EXPECT_TRUE(next.held());
}

void NameUnit(UnitBlock& u, int number, const char* name) {
  u.number = number;
  u.name_len = static_cast<uint16_t>(std::strlen(name));
  std::memcpy(u.name, name, u.name_len);
}

TEST(StatementFailure, StatusesForTheStatementOptions) {
  struct Case {
    unsigned flags;
    int error;
    int status;
  };
  const Case cases[] = {
      {kErrStatusWanted, 64, 64},
      {kErrStatusWanted, 29, 29},
      {kErrStatusWanted | kEndStatusWanted, 59, 59},
      {kEndStatusWanted, 24, kStatusEndOfFile},
      {kEndStatusWanted, 27, kStatusEndOfFile},
      {kEndStatusWanted, 613, kStatusEndOfFile},
      {kErrStatusWanted | kEndStatusWanted, 24, kStatusEndOfFile},
      {kEorStatusWanted, 268, kStatusEndOfRecord},
      {kEorStatusWanted, 758, kStatusEndOfRecord},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    UnitBlock u;
    NameUnit(u, 2, "/d/deformacia.txt");
    EXPECT_EQ(FailUnitStatement(&u, c.error, c.flags, Disposal::kKeep), c.status);
  }
}

// The options that do not cover the error leave it to the report.
TEST(StatementFailure, UncoveredErrorsAreReported) {
  struct Case {
    unsigned flags;
    int error;
  };
  const Case cases[] = {{kErrStatusWanted, 24},
                        {kEndStatusWanted, 64},
                        {0, 24},
                        {kErrStatusWanted, 613},
                        {kEorStatusWanted, 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    TempDir dir;
    RunResult r = RunInChild(dir.path(), [&] {
      UnitBlock u;
      NameUnit(u, 2, "/d/deformacia.txt");
      FailUnitStatement(&u, c.error, c.flags, Disposal::kKeep);
      return 99;
    });
    EXPECT_EQ(r.status, c.error % 256);
    EXPECT_EQ(r.err.rfind("dravel: severe (", 0), 0u) << r.err;
  }
}

TEST(StatementFailure, FileTextWithRecordPosition) {
  UnitBlock u;
  NameUnit(u, 1, "/w/input.txt");
  char target[80];
  u.message_target = target;
  u.message_target_len = sizeof target;
  const FailPosition where{4, 7};
  EXPECT_EQ(FailUnitStatement(&u, 17, kErrStatusWanted, Disposal::kKeep, &where), 17);
  std::string expected =
      "syntax error in NAMELIST input, unit 1, file /w/input.txt, line 4, position 7";
  EXPECT_EQ(std::string(target, sizeof target), expected + std::string(80 - expected.size(), ' '));
  // Without a position; a short target is cut.
  u.message_target_len = 20;
  EXPECT_EQ(FailUnitStatement(&u, 64, kErrStatusWanted, Disposal::kKeep), 64);
  EXPECT_EQ(std::string(target, 20), "input conversion err");
}

TEST(StatementFailure, SevereReportShowsPositionAndUnknownName) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    UnitBlock u;
    NameUnit(u, 1, "/w/input.txt");
    const FailPosition where{0, 0};
    FailUnitStatement(&u, 24, 0, Disposal::kRelease, &where);
    return 99;
  });
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.err,
            "dravel: severe (24): end-of-file during read, unit 1, file /w/input.txt, line 0, "
            "position 0\r\n");

  r = RunInChild(dir.path(), [] {
    UnitBlock u;
    u.number = 7;
    FailUnitStatement(&u, 39, 0, Disposal::kRelease);
    return 99;
  });
  EXPECT_EQ(r.status, 39);
  EXPECT_EQ(r.err, "dravel: severe (39): error during read, unit 7, file \"Unknown\"\r\n");

  r = RunInChild(dir.path(), [] {
    FailUnitNumber(32, -9, 0);
    return 99;
  });
  EXPECT_EQ(r.status, 32);
  EXPECT_EQ(r.err,
            "dravel: severe (32): invalid logical unit number, unit -9, file \"Unknown\"\r\n");
}

TEST(StatementFailure, SystemErrorTextComesFirstOnItsOwnLine) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    UnitBlock u;
    NameUnit(u, 3, "/w/output.txt");
    u.last_error = ENOSPC;
    FailUnitStatement(&u, 38, 0, Disposal::kRelease);
    return 99;
  });
  char text[256];
  Sys::ErrorText(ENOSPC, text, sizeof text);
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err,
            std::string("dravel: ") + text +
                "\r\ndravel: severe (38): error during write, unit 3, file /w/output.txt\r\n");
}

}  // namespace
