// Tests of reading a loops file against the path it was counted on.
#include "plot/loopfile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/run.h"

namespace Plot {
namespace {

History ExampleHistory() {
  History h;
  std::string error;
  EXPECT_TRUE(ParseOutputText(testsupport::kExampleOutput, h, error)) << error;
  return h;
}

const std::string kHeader = std::string(kLoopsHeader) + "\n";

TEST(ParseLoopsText, AcceptsWhatTheCountWrites) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t rows;
  } cases[] = {
      {"header without its line end", std::string(kLoopsHeader), 0},
      {"no damage: infinite cycles", kHeader + "6,3,4,1,-4,0,-160,90,2,125,-35,0,inf,0\n", 1},
      {"CR LF line ends", std::string(kLoopsHeader) + "\r\n,1,2,0.5,0,4,0,160,2,80,80,1,2,0.25\r\n",
       1},
      {"strains as the count's doubles", kHeader + ",1,2,0.5,0,4.0000001,0,160,2,80,80,1,2,0.25\n",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<LoopRow> rows;
    std::string error;
    EXPECT_TRUE(ParseLoopsText(c.text, ExampleHistory(), rows, error)) << error;
    EXPECT_EQ(rows.size(), c.rows);
  }
}

TEST(ParseLoopsText, BadFilesNameTheLineAndTheFault) {
  const std::string good_tail = ",-4,0,-160,90,2,125,-35,1,2500,0.0004\n";
  struct Case {
    const char* name;
    std::string text;
    const char* message;
  } cases[] = {
      {"empty", "", "no header line"},
      {"no header", "6,3,4,1" + good_tail, "line 1 is not the header of a loops file"},
      {"blank row", kHeader + "\n", "line 2 has 1 column, not 14"},
      {"13 columns", kHeader + "6,3,4,1,-4,0,-160,90,2,125,-35,2500,0.0004\n",
       "line 2 has 13 columns, not 14"},
      {"damage not a number", kHeader + "6,3,4,1,-4,0,-160,90,2,125,-35,1,2500,x\n",
       "line 2: damage is not a number"},
      {"entry with a sign", kHeader + "6,+3,4,1" + good_tail, "line 2: b is not an entry number"},
      {"entry past the path", kHeader + "7,3,4,1" + good_tail,
       "line 2: closing entry 7 is outside the path (6 entries)"},
      {"huge entry", kHeader + "6,3,99999999999999999999999,1" + good_tail,
       "line 2: c is not an entry number"},
      {"count 2", kHeader + "6,3,4,2" + good_tail, "line 2: count is neither 1"},
      {"closed loop without closing", kHeader + ",3,4,1" + good_tail, "line 2: count is neither 1"},
      {"negative damage", kHeader + "6,3,4,1,-4,0,-160,90,2,125,-35,1,2500,-0.1\n",
       "line 2: damage is not a finite number of at least 0"},
      {"another path's strains", kHeader + "6,3,4,1,-4,0.5,-160,90,2,125,-35,1,2500,0.0004\n",
       "line 2: the strains are not those of entries 3 and 4 of the path"},
      {"fault on a later line", kHeader + "6,3,4,1" + good_tail + ",1,2,half" + good_tail,
       "line 3: count is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<LoopRow> rows;
    std::string error;
    EXPECT_FALSE(ParseLoopsText(c.text, ExampleHistory(), rows, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace Plot
