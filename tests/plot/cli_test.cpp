// End-to-end tests of hysteresis-plot: the built command in a fresh
// directory, its failures, the picture rendered by a real SVG renderer, and
// the thinning of a history of a million entries.
#include "plot/cli.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <random>

#include "plot/example_loops.h"
#include "plot/svg_inspect.h"
#include "support/run.h"

namespace {

using testsupport::RunProgram;
using testsupport::RunResult;
using testsupport::TempDir;

RunResult RunPlot(const TempDir& dir, std::vector<std::string> args = {}) {
  args.insert(args.begin(), HYSTERESIS_PLOT_BINARY);
  return RunProgram(args, dir.path());
}

TEST(PlotCommand, DrawsTheWorkedExample) {
  TempDir dir;
  dir.write("input.txt", testsupport::kExampleInput);
  dir.write("output.txt", testsupport::kExampleOutput);
  RunResult r = RunPlot(dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::string svg = dir.read("output.svg");
  EXPECT_EQ(plottest::XmlProblem(svg), "");
  EXPECT_EQ(plottest::TagsOfClass(svg, "backbone").size(), 1u);
  EXPECT_FALSE(dir.exists("output.svg.tmp"));
}

TEST(PlotCommand, DrawsWhatARunOfHysteresisWrote) {
  TempDir dir;
  dir.write("input.txt", testsupport::kExampleInput);
  dir.write("deformacia.txt", testsupport::kExampleHistory);
  // The program keeps its tables to the end by design; a sanitized build
  // must not count them as leaks here.
  RunResult run = testsupport::RunHysteresis(dir.path(), {{"ASAN_OPTIONS", "detect_leaks=0"}});
  ASSERT_EQ(run.status, 0) << run.err;
  RunResult r = RunPlot(dir);
  ASSERT_EQ(r.status, 0) << r.err;
  std::string svg = dir.read("output.svg");
  auto line = plottest::TagsOfClass(svg, "history");
  ASSERT_EQ(line.size(), 1u);
  auto sub = plottest::Subpaths(plottest::Attr(line[0], "d"));
  ASSERT_EQ(sub.size(), 1u);
  EXPECT_EQ(sub[0].size(), 6u);
  EXPECT_EQ(plottest::TagsOfClass(svg, "backbone").size(), 1u);
}

TEST(PlotCommand, AnInputFileItCannotReadOnlyCostsTheReferenceLine) {
  struct Case {
    const char* name;
    const char* input;  // nullptr: no input.txt
  } cases[] = {
      {"no input.txt", nullptr},
      {"empty input.txt", ""},
      {"no group", "2\n"},
      {"garbage", "\x01\x02&&&$$$===///\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.input) dir.write("input.txt", c.input);
    dir.write("output.txt", testsupport::kExampleOutput);
    RunResult r = RunPlot(dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string svg = dir.read("output.svg");
    EXPECT_EQ(plottest::XmlProblem(svg), "");
    EXPECT_TRUE(plottest::TagsOfClass(svg, "backbone").empty());
    EXPECT_EQ(plottest::TagsOfClass(svg, "history").size(), 1u);
  }
}

TEST(PlotCommand, TakesOtherPathsAndFindsInputBesideTheOutputFile) {
  TempDir dir;
  ASSERT_EQ(RunProgram({"/bin/mkdir", "run"}, dir.path()).status, 0);
  dir.write("run/input.txt", testsupport::kExampleInput);
  dir.write("run/results.txt", testsupport::kExampleOutput);
  RunResult r = RunPlot(dir, {"run/results.txt", "loops.svg"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string svg = dir.read("loops.svg");
  EXPECT_EQ(plottest::XmlProblem(svg), "");
  EXPECT_EQ(plottest::TagsOfClass(svg, "backbone").size(), 1u);
  EXPECT_FALSE(dir.exists("output.svg"));
}

TEST(PlotCommand, HelpAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    bool usage_on_stdout;
  } cases[] = {
      {{"--help"}, Plot::kExitOk, true},
      {{"-h"}, Plot::kExitOk, true},
      {{"--frobnicate"}, Plot::kExitUsage, false},
      {{"a", "b", "c"}, Plot::kExitUsage, false},
      {{"output.txt", "./output.txt"}, Plot::kExitUsage, false},
      {{"--loops"}, Plot::kExitUsage, false},
      {{"--loops="}, Plot::kExitUsage, false},
      {{"--top", "5"}, Plot::kExitUsage, false},
      {{"--loops", "loops.csv", "--top"}, Plot::kExitUsage, false},
      {{"--loops", "loops.csv", "--top", "x"}, Plot::kExitUsage, false},
      {{"--loops=loops.csv", "--top=1001"}, Plot::kExitUsage, false},
      {{"--loops", "loops.csv", "--top", "-1"}, Plot::kExitUsage, false},
      {{"--loops", "output.svg"}, Plot::kExitUsage, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    TempDir dir;
    dir.write("output.txt", testsupport::kExampleOutput);
    RunResult r = RunPlot(dir, c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out.find("Usage: hysteresis-plot") != std::string::npos, c.usage_on_stdout);
    if (!c.usage_on_stdout) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_FALSE(dir.exists("output.svg"));
  }
}

TEST(PlotCommand, BadInputGetsOneLineAndNoPicture) {
  struct Case {
    const char* name;
    const char* output;  // nullptr: no file at all
    const char* message;
  } cases[] = {
      {"no file", nullptr, "output.txt: cannot be read"},
      {"empty file", "", "output.txt: no records"},
      {"short record", "   4.000000       160.0000\r\n", "record 1 is not two 15-character fields"},
      {"junk in a field", "   4.000000       160.0000    \r\n   4.000000       1x0.0000    \r\n",
       "record 2 is not two 15-character number fields"},
      {"three fields", "   4.000000       160.0000       4.000000    \r\n", "record 1 is not two"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.output) dir.write("output.txt", c.output);
    RunResult r = RunPlot(dir);
    EXPECT_EQ(r.status, Plot::kExitBadInput);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("hysteresis-plot: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(dir.exists("output.svg"));
    EXPECT_FALSE(dir.exists("output.svg.tmp"));
  }
}

TEST(PlotCommand, DrawsTheLoopLayerOfALoopsFile) {
  struct Case {
    std::vector<std::string> args;
    std::size_t loops;
  } cases[] = {
      {{"--loops", "loops.csv"}, 3},
      {{"--top=2", "--loops=loops.csv", "output.txt", "both.svg"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size());
    TempDir dir;
    dir.write("input.txt", testsupport::kExampleInput);
    dir.write("output.txt", testsupport::kExampleOutput);
    dir.write("loops.csv", plottest::kExampleLoops);
    RunResult r = RunPlot(dir, c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string svg = dir.read(c.args.back() == "both.svg" ? "both.svg" : "output.svg");
    EXPECT_EQ(plottest::XmlProblem(svg), "");
    EXPECT_EQ(plottest::TagsOfClass(svg, "loop").size(), c.loops);
    EXPECT_EQ(plottest::TagsOfClass(svg, "damage-sum").size(), 1u);
    EXPECT_EQ(dir.read("loops.csv"), plottest::kExampleLoops);
  }
}

TEST(PlotCommand, BadLoopsFileGetsOneLineAndLeavesTheOldPicture) {
  struct Case {
    const char* name;
    const char* loops;  // nullptr: no file at all
    const char* message;
  } cases[] = {
      {"no file", nullptr, "hysteresis-plot: loops.csv: cannot be read\n"},
      {"entry outside the path",
       "closing,b,c,count,strain_min,strain_max,stress_min,stress_max,strain_amplitude,"
       "stress_amplitude,mean_stress,parameter,cycles,damage\n"
       "9,3,4,1,-4,0,-160,90,2,125,-35,1,2500,0.0004\n",
       "hysteresis-plot: loops.csv: line 2: closing entry 9 is outside the path (6 entries)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("output.txt", testsupport::kExampleOutput);
    dir.write("output.svg", "the picture of an earlier run");
    if (c.loops) dir.write("loops.csv", c.loops);
    RunResult r = RunPlot(dir, {"--loops", "loops.csv"});
    EXPECT_EQ(r.status, Plot::kExitBadInput);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(dir.read("output.svg"), "the picture of an earlier run");
    EXPECT_FALSE(dir.exists("output.svg.tmp"));
  }
}

TEST(PlotCommand, UnwritablePictureFailsCleanly) {
  TempDir dir;
  dir.write("output.txt", testsupport::kExampleOutput);
  RunResult r = RunPlot(dir, {"output.txt", "no-such-dir/output.svg"});
  EXPECT_EQ(r.status, Plot::kExitBadInput);
  EXPECT_NE(r.err.find("no-such-dir/output.svg: cannot be written"), std::string::npos) << r.err;
}

// A minimal reader of the PNG files that the renderer writes: zlib inflate
// (stored, fixed and dynamic Huffman blocks) and the five scanline filters,
// 8-bit RGB or RGBA, not interlaced. Enough to look at the pixels without a
// library.
class Inflater {
 public:
  explicit Inflater(const std::vector<uint8_t>& in) : in_(in) {}

  // Returns false on malformed data.
  bool Run(std::vector<uint8_t>& out) {
    pos_ = 2;  // zlib header
    for (;;) {
      int last = Bits(1);
      int type = Bits(2);
      if (bad_) return false;
      if (type == 0) {
        bitbuf_ = 0;
        bitcnt_ = 0;
        if (pos_ + 4 > in_.size()) return false;
        unsigned len = in_[pos_] | (in_[pos_ + 1] << 8);
        pos_ += 4;
        if (pos_ + len > in_.size()) return false;
        out.insert(out.end(), in_.begin() + pos_, in_.begin() + pos_ + len);
        pos_ += len;
      } else if (type == 1) {
        uint8_t lengths[320];
        int i = 0;
        for (; i < 144; ++i) lengths[i] = 8;
        for (; i < 256; ++i) lengths[i] = 9;
        for (; i < 280; ++i) lengths[i] = 7;
        for (; i < 288; ++i) lengths[i] = 8;
        for (; i < 320; ++i) lengths[i] = 5;
        Huffman lit, dist;
        Build(lit, lengths, 288);
        Build(dist, lengths + 288, 30);
        if (!Codes(out, lit, dist)) return false;
      } else if (type == 2) {
        if (!Dynamic(out)) return false;
      } else {
        return false;
      }
      if (last) return !bad_;
    }
  }

 private:
  struct Huffman {
    uint16_t count[16] = {};
    uint16_t symbol[320] = {};
  };

  int Bits(int n) {
    uint32_t v = bitbuf_;
    while (bitcnt_ < n) {
      if (pos_ >= in_.size()) {
        bad_ = true;
        return 0;
      }
      v |= static_cast<uint32_t>(in_[pos_++]) << bitcnt_;
      bitcnt_ += 8;
    }
    bitbuf_ = v >> n;
    bitcnt_ -= n;
    return static_cast<int>(v & ((1u << n) - 1));
  }

  static void Build(Huffman& h, const uint8_t* lengths, int n) {
    uint16_t offs[16] = {};
    for (int s = 0; s < n; ++s) h.count[lengths[s]]++;
    h.count[0] = 0;
    for (int len = 1; len < 15; ++len) offs[len + 1] = offs[len] + h.count[len];
    for (int s = 0; s < n; ++s)
      if (lengths[s]) h.symbol[offs[lengths[s]]++] = static_cast<uint16_t>(s);
  }

  int Decode(const Huffman& h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      code |= Bits(1);
      if (bad_) return -1;
      int count = h.count[len];
      if (code - count < first) return h.symbol[index + (code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    bad_ = true;
    return -1;
  }

  bool Codes(std::vector<uint8_t>& out, const Huffman& lit, const Huffman& dist) {
    static const uint16_t kLenBase[] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                        15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                        67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint8_t kLenExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const uint16_t kDistBase[] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const uint8_t kDistExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      int sym = Decode(lit);
      if (sym < 0) return false;
      if (sym < 256) {
        out.push_back(static_cast<uint8_t>(sym));
      } else if (sym == 256) {
        return true;
      } else {
        sym -= 257;
        if (sym >= 29) return false;
        int len = kLenBase[sym] + Bits(kLenExtra[sym]);
        int ds = Decode(dist);
        if (ds < 0 || ds >= 30) return false;
        std::size_t d = kDistBase[ds] + static_cast<std::size_t>(Bits(kDistExtra[ds]));
        if (bad_ || d > out.size()) return false;
        for (int k = 0; k < len; ++k) out.push_back(out[out.size() - d]);
      }
    }
  }

  bool Dynamic(std::vector<uint8_t>& out) {
    static const uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
    int nlen = Bits(5) + 257, ndist = Bits(5) + 1, ncode = Bits(4) + 4;
    if (bad_ || nlen > 286 || ndist > 30) return false;
    uint8_t lengths[320] = {};
    for (int i = 0; i < ncode; ++i) lengths[kOrder[i]] = static_cast<uint8_t>(Bits(3));
    Huffman lencode;
    Build(lencode, lengths, 19);
    int index = 0;
    while (index < nlen + ndist) {
      int sym = Decode(lencode);
      if (sym < 0) return false;
      if (sym < 16) {
        lengths[index++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t len = 0;
      int rep;
      if (sym == 16) {
        if (index == 0) return false;
        len = lengths[index - 1];
        rep = 3 + Bits(2);
      } else if (sym == 17) {
        rep = 3 + Bits(3);
      } else {
        rep = 11 + Bits(7);
      }
      if (index + rep > nlen + ndist) return false;
      while (rep--) lengths[index++] = len;
    }
    Huffman lit, dist;
    Build(lit, lengths, nlen);
    Build(dist, lengths + nlen, ndist);
    return Codes(out, lit, dist);
  }

  const std::vector<uint8_t>& in_;
  std::size_t pos_ = 0;
  uint32_t bitbuf_ = 0;
  int bitcnt_ = 0;
  bool bad_ = false;
};

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes per pixel, alpha composed on white
};

uint32_t BigEndian32(const std::string& s, std::size_t at) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3]));
}

// Decodes a PNG; returns "" on success, else what is wrong with it.
std::string DecodePng(const std::string& png, Image& img) {
  if (png.size() < 8 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return "not a PNG";
  std::vector<uint8_t> idat;
  int color = -1;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    uint32_t len = BigEndian32(png, at);
    std::string type = png.substr(at + 4, 4);
    if (at + 12 + len > png.size()) return "truncated chunk";
    if (type == "IHDR") {
      img.width = BigEndian32(png, at + 8);
      img.height = BigEndian32(png, at + 12);
      if (png[at + 16] != 8) return "bit depth is not 8";
      color = png[at + 17];
      if (png[at + 20] != 0) return "interlaced";
    } else if (type == "IDAT") {
      idat.insert(idat.end(), png.begin() + at + 8, png.begin() + at + 8 + len);
    }
    at += 12 + len;
  }
  if (color != 2 && color != 6) return "colour type " + std::to_string(color);
  std::size_t bpp = color == 6 ? 4 : 3;
  std::vector<uint8_t> raw;
  if (!Inflater(idat).Run(raw)) return "bad compressed data";
  std::size_t stride = img.width * bpp;
  if (raw.size() < img.height * (stride + 1)) return "short image data";
  std::vector<uint8_t> prev(stride, 0), cur(stride);
  img.rgb.clear();
  for (uint32_t y = 0; y < img.height; ++y) {
    const uint8_t* row = &raw[y * (stride + 1)];
    int filter = row[0];
    for (std::size_t i = 0; i < stride; ++i) {
      int a = i >= bpp ? cur[i - bpp] : 0;
      int b = prev[i];
      int c = i >= bpp ? prev[i - bpp] : 0;
      int pred = 0;
      switch (filter) {
        case 0: pred = 0; break;
        case 1: pred = a; break;
        case 2: pred = b; break;
        case 3: pred = (a + b) / 2; break;
        case 4: {
          int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: return "bad filter";
      }
      cur[i] = static_cast<uint8_t>(row[1 + i] + pred);
    }
    for (std::size_t x = 0; x < img.width; ++x) {
      const uint8_t* p = &cur[x * bpp];
      int alpha = bpp == 4 ? p[3] : 255;
      for (int k = 0; k < 3; ++k)  // composed over white (premultiplied data is not used)
        img.rgb.push_back(static_cast<uint8_t>((p[k] * alpha + 255 * (255 - alpha)) / 255));
    }
    prev = cur;
  }
  return "";
}

// The renderer's path from $PATH; "" when it is not installed.
std::string FindRenderer() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/usr/local/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/rsvg-convert";
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

// The worked example, drawn by the command and rendered to a PNG by an
// independent renderer, must show the line (blue), the reversal markers
// (red) and dark text and axes on a white ground.
TEST(PlotCommand, RenderedExampleShowsLineMarkersAndAxes) {
  std::string renderer = FindRenderer();
  if (renderer.empty()) GTEST_SKIP() << "rsvg-convert is not installed";
  TempDir dir;
  dir.write("input.txt", testsupport::kExampleInput);
  dir.write("output.txt", testsupport::kExampleOutput);
  ASSERT_EQ(RunPlot(dir).status, 0);
  RunResult r = RunProgram({renderer, "-f", "png", "-o", "out.png", "output.svg"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  Image img;
  ASSERT_EQ(DecodePng(dir.read("out.png"), img), "");
  EXPECT_EQ(img.width, 960u);
  EXPECT_EQ(img.height, 640u);
  std::size_t white = 0, blue = 0, red = 0, dark = 0;
  for (std::size_t i = 0; i + 2 < img.rgb.size(); i += 3) {
    int R = img.rgb[i], G = img.rgb[i + 1], B = img.rgb[i + 2];
    if (R > 245 && G > 245 && B > 245) ++white;
    if (B > R + 60 && B > G + 20) ++blue;
    if (R > G + 80 && R > B + 80) ++red;
    if (R < 80 && G < 80 && B < 80) ++dark;
  }
  std::size_t total = static_cast<std::size_t>(img.width) * img.height;
  EXPECT_GT(white, total / 2);  // the ground is white...
  EXPECT_GT(blue, 2000u);       // ...the line is long and visible
  EXPECT_GT(red, 3u * 20);      // three markers of a few pixels each
  EXPECT_GT(dark, 800u);        // frame, ticks and labels
  // The marker at strain 4, stress 160 sits at the top right of the frame.
  std::string svg = dir.read("output.svg");
  plottest::AxisMap xm = plottest::ReadAxis(svg, true);
  plottest::AxisMap ym = plottest::ReadAxis(svg, false);
  auto at = [&](double x, double y) {
    std::size_t i = (static_cast<std::size_t>(std::lround(y)) * img.width +
                     static_cast<std::size_t>(std::lround(x))) *
                    3;
    return std::array<int, 3>{img.rgb[i], img.rgb[i + 1], img.rgb[i + 2]};
  };
  auto marker = at(xm(-4), ym(-160));
  EXPECT_GT(marker[0], marker[2] + 80) << "no red marker at (-4, -160)";
}

// Formats a value in 15 columns the way the results are written (the exact
// digits do not matter here, only the record shape).
void AppendField(std::string& out, double v) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 7);
  std::string text(buf, res.ptr);
  for (char& c : text)
    if (c == 'e') c = 'E';
  out.append(15 - text.size(), ' ');
  out += text;
}

// A million entries: ramps of random length and amplitude between
// reversals, every tenth of them a wiggle far below one pixel.
TEST(PlotCommand, MillionEntriesThinToUnderTwoMegabytesKeepingEveryReversal) {
  const std::size_t n = 1000000;
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> ramp(20, 600);
  std::uniform_real_distribution<double> amp(0.0005, 0.01);
  std::vector<double> strain(n), stress(n);
  std::vector<std::size_t> turns;
  double e = 0, s = 0, offset = 0;
  int dir = 1;
  std::size_t j = 1;
  while (j < n) {
    bool wiggle = turns.size() % 10 == 9;
    std::size_t len = wiggle ? 2 : static_cast<std::size_t>(ramp(rng));
    // Ramps swing about zero so that the strain keeps all its digits.
    double target = dir * amp(rng);
    if (dir * (target - e) <= 0) target = e + dir * amp(rng);
    double de = wiggle ? 5e-8 : std::fabs(target - e) / static_cast<double>(len);
    for (std::size_t k = 0; k < len && j < n; ++k, ++j) {
      e += dir * de;
      // A wiggle leaves the loop offset alone, so it stays within a pixel.
      if (!wiggle) offset = 40 * dir * std::min(1.0, static_cast<double>(k) / 50.0);
      s = 300 * std::tanh(e / 0.004) + offset;
      strain[j] = e;
      stress[j] = s;
    }
    if (j < n) turns.push_back(j - 1);
    dir = -dir;
  }
  std::string text;
  text.reserve(n * 32);
  for (std::size_t i = 0; i < n; ++i) {
    AppendField(text, strain[i]);
    AppendField(text, stress[i]);
    text += "\r\n";
  }
  TempDir dir_;
  dir_.write("output.txt", text);
  text.clear();
  RunResult r = RunPlot(dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  std::string svg = dir_.read("output.svg");
  EXPECT_LT(svg.size(), 2000000u);
  EXPECT_EQ(plottest::XmlProblem(svg), "");
  EXPECT_NE(svg.find("Stress-strain history: 1,000,000 entries"), std::string::npos);

  plottest::AxisMap xm = plottest::ReadAxis(svg, true);
  plottest::AxisMap ym = plottest::ReadAxis(svg, false);
  ASSERT_TRUE(xm.consistent && ym.consistent);
  auto line = plottest::TagsOfClass(svg, "history");
  ASSERT_EQ(line.size(), 1u);
  auto sub = plottest::Subpaths(plottest::Attr(line[0], "d"));
  ASSERT_EQ(sub.size(), 1u);
  const std::vector<plottest::Pt>& pts = sub[0];
  EXPECT_LT(pts.size(), n / 10);  // it did thin

  // Every turning point appears in the line, in order. Values in the file
  // have 8 digits, so allow a little more than the 0.05 of the coordinates.
  std::size_t k = 0;
  for (std::size_t t : turns) {
    double x = xm(strain[t]);
    double y = ym(stress[t]);
    while (k < pts.size() && !(std::fabs(pts[k].x - x) <= 0.08 && std::fabs(pts[k].y - y) <= 0.08))
      ++k;
    ASSERT_LT(k, pts.size()) << "reversal at entry " << t << " missing from the line";
    ++k;
  }
  // The first and last entries are the ends of the line.
  EXPECT_NEAR(pts.front().x, xm(0), 0.08);
  EXPECT_NEAR(pts.back().x, xm(strain[n - 1]), 0.08);
}

}  // namespace
