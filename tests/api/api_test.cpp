// The library's stepping against the program: the same stresses to the bit
// on random backbones and histories cut into random pieces; the refused
// backbones; steppers in threads; the caller's floating-point mode.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/process.h"
#include "compute/driver.h"
#include "hysteresis/hysteresis.h"
#include "runtime/platform/fault.h"
#include "support/run.h"
#include "textout/realtext.h"

namespace {

using testsupport::TempDir;

struct Job {
  std::vector<float> ey, sy, strain;
  int32_t n() const { return static_cast<int32_t>(ey.size()) - 2; }
};

// A random sound backbone: 1..300 segments, some of them yield plateaus, and
// a history that wanders with reversals of every size, sometimes NaN.
Job RandomJob(std::mt19937& rng) {
  Job job;
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const int points = 2 + static_cast<int>(rng() % 300);
  job.ey = {0.0f};
  job.sy = {0.0f};
  for (int i = 1; i < points; ++i) {
    job.ey.push_back(job.ey.back() + 0.0005f + 0.01f * unit(rng));
    const bool plateau = i > 1 && rng() % 8 == 0;
    job.sy.push_back(job.sy.back() + (plateau ? 0.0f : 1.0f + 300.0f * unit(rng) / i));
  }
  const float reach = job.ey.back() * 1.3f;
  const int entries = 1 + static_cast<int>(rng() % 20000);
  float e = 0.0f;
  for (int i = 0; i < entries; ++i) {
    if (rng() % 5000 == 0) {
      // The program reads "nan" as the processor's default NaN, sign set.
      job.strain.push_back(std::bit_cast<float>(0xFFC00000u));
      continue;
    }
    e = std::fmod(e + (unit(rng) - 0.5f) * reach * (rng() % 3 == 0 ? 1.0f : 0.1f), reach);
    job.strain.push_back(e);
  }
  job.strain[0] = unit(rng);  // replaced by 0 on both sides
  return job;
}

std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

void WriteJob(const TempDir& dir, const Job& job) {
  std::string input = std::to_string(job.n()) + "\n&PARAMETRE EY =";
  for (float v : job.ey) input += " " + Number(v);
  input += ", SY =";
  for (float v : job.sy) input += " " + Number(v);
  dir.write("input.txt", input + " /\n");
  std::string history;
  for (float v : job.strain) history += Number(v) + "\n";
  dir.write("deformacia.txt", history);
}

// The stresses of the library, the job's history fed in random pieces.
std::vector<float> LibraryStresses(const Job& job, std::mt19937& rng) {
  hys_backbone* b = nullptr;
  EXPECT_EQ(hys_backbone_create(job.n(), job.ey.data(), job.sy.data(), &b), HYS_OK);
  hys_stepper* s = nullptr;
  EXPECT_EQ(hys_stepper_create(b, &s), HYS_OK);
  hys_backbone_free(b);
  std::vector<float> stress(job.strain.size());
  size_t done = 0;
  while (done < stress.size()) {
    size_t piece = rng() % 3 == 0 ? 1 : rng() % 5000;
    piece = std::min(piece, stress.size() - done);
    EXPECT_EQ(hys_stepper_feed(s, job.strain.data() + done, stress.data() + done, piece), HYS_OK);
    done += piece;
  }
  EXPECT_EQ(hys_stepper_entries(s), static_cast<int64_t>(stress.size()));
  hys_stepper_free(s);
  return stress;
}

// "output.txt" as the program writes it for these strains and stresses.
std::string OutputText(std::vector<float> strain, const std::vector<float>& stress) {
  strain[0] = 0.0f;
  std::string text;
  char field[RealText::kFieldWidth];
  for (size_t i = 0; i < strain.size(); ++i) {
    RealText::to_list_field(std::bit_cast<uint32_t>(strain[i]), field);
    text.append(field, sizeof field);
    RealText::to_list_field(std::bit_cast<uint32_t>(stress[i]), field);
    text.append(field, sizeof field);
    text += "\r\n";
  }
  return text;
}

// The bits of the program body's stresses, run in a child as the program
// runs: its start-up, its floating-point set-up, its tables.
std::vector<uint32_t> ProgramStressBits(const TempDir& dir, size_t entries) {
  const auto run = testsupport::RunInChild(dir.path(), [&] {
    const int status = RunProcess(RunProgram);
    std::FILE* f = std::fopen("sig.bin", "wb");
    std::fwrite(g_program.SIG, sizeof(float), entries, f);
    std::fclose(f);
    return status;
  });
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string bytes = dir.read("sig.bin");
  std::vector<uint32_t> bits(bytes.size() / 4);
  std::memcpy(bits.data(), bytes.data(), bits.size() * 4);
  return bits;
}

std::vector<uint32_t> Bits(const std::vector<float>& v) {
  std::vector<uint32_t> bits;
  for (float x : v) bits.push_back(std::bit_cast<uint32_t>(x));
  return bits;
}

TEST(Stepper, RandomJobsInRandomPiecesMatchTheProgramToTheBit) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    const Job job = RandomJob(rng);
    TempDir dir;
    WriteJob(dir, job);
    const std::vector<float> stress = LibraryStresses(job, rng);
    ASSERT_EQ(testsupport::RunHysteresis(dir.path()).status, 0);
    EXPECT_EQ(dir.read("output.txt"), OutputText(job.strain, stress));
    const std::vector<uint32_t> program = ProgramStressBits(dir, job.strain.size());
    const std::vector<uint32_t> library = Bits(stress);
    ASSERT_EQ(program.size(), library.size());
    for (size_t i = 0; i < program.size(); ++i)
      ASSERT_EQ(program[i], library[i]) << "entry " << i << " strain " << job.strain[i];
  }
}

TEST(Stepper, WorkedExampleInPlaceAndAfterReset) {
  const float ey[] = {0, 1, 3, 6}, sy[] = {0, 100, 150, 180};
  const std::vector<float> want = {0, 160, -160, 90, -135, -170};
  hys_backbone* b = nullptr;
  ASSERT_EQ(hys_backbone_create(2, ey, sy, &b), HYS_OK);
  hys_stepper* s = nullptr;
  ASSERT_EQ(hys_stepper_create(b, &s), HYS_OK);
  hys_backbone_free(b);  // the stepper keeps it
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<float> path = {9, 4, -4, 0, -3, -5};
    ASSERT_EQ(hys_stepper_feed(s, path.data(), path.data(), 2), HYS_OK);
    ASSERT_EQ(hys_stepper_feed(s, path.data() + 2, path.data() + 2, 4), HYS_OK);
    EXPECT_EQ(path, want);
    hys_stepper_reset(s);
    EXPECT_EQ(hys_stepper_entries(s), 0);
  }
  hys_stepper_free(s);
}

TEST(Backbone, RefusedInputs) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    int32_t n;
    std::vector<float> ey, sy;
    int status;
  };
  const Case cases[] = {
      {"negative N", -1, {0, 1}, {0, 1}, HYS_E_COUNT},
      {"N beyond 32 bits", INT32_MAX, {0, 1}, {0, 1}, HYS_E_COUNT},
      {"NaN strain", 1, {0, nan, 2}, {0, 1, 2}, HYS_E_NOT_FINITE},
      {"infinite stress", 1, {0, 1, 2}, {0, 1, inf}, HYS_E_NOT_FINITE},
      {"strain off the origin", 1, {0.5f, 1, 2}, {0, 1, 2}, HYS_E_ORIGIN},
      {"stress off the origin", 1, {0, 1, 2}, {-1, 1, 2}, HYS_E_ORIGIN},
      {"repeated strain", 1, {0, 1, 1}, {0, 1, 2}, HYS_E_STRAIN_ORDER},
      {"falling strain", 2, {0, 2, 1, 3}, {0, 1, 2, 3}, HYS_E_STRAIN_ORDER},
      {"no elastic rise", 1, {0, 1, 2}, {0, 0, 2}, HYS_E_STRESS_ORDER},
      {"falling stress", 2, {0, 1, 2, 3}, {0, 2, 1, 3}, HYS_E_STRESS_ORDER},
      {"negative elastic slope", 1, {0, 1, 2}, {0, -1, 2}, HYS_E_STRESS_ORDER},
      {"strain step flushed to zero", 1, {0, 1e-38f, 1.1e-38f}, {0, 1, 2}, HYS_E_RANGE},
      {"doubled stress overflows", 1, {0, 1, 2}, {0, 1, 3e38f}, HYS_E_RANGE},
      {"doubled strain overflows", 1, {0, 1, 3e38f}, {0, 1, 2}, HYS_E_RANGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hys_backbone* b = nullptr;
    EXPECT_EQ(hys_backbone_create(c.n, c.ey.data(), c.sy.data(), &b), c.status);
    EXPECT_EQ(b, nullptr);
    float stress = 1.0f;
    const float strain = 0.0f;
    EXPECT_EQ(hys_stress(c.n, c.ey.data(), c.sy.data(), &strain, &stress, 1), c.status);
    EXPECT_EQ(stress, 1.0f);
    EXPECT_STRNE(hys_status_text(c.status), "unknown status");
  }
  // Sound, though the program's rules call them unusual: one segment, and a
  // yield plateau after the elastic segment.
  hys_backbone* b = nullptr;
  const float one_ey[] = {0, 1}, one_sy[] = {0, 100};
  EXPECT_EQ(hys_backbone_create(0, one_ey, one_sy, &b), HYS_OK);
  hys_backbone_free(b);
  const float flat_ey[] = {0, 1, 2}, flat_sy[] = {0, 100, 100};
  EXPECT_EQ(hys_backbone_create(1, flat_ey, flat_sy, &b), HYS_OK);
  hys_backbone_free(b);
}

TEST(Backbone, NullPointersAndMemory) {
  const float ey[] = {0, 1, 3, 6}, sy[] = {0, 100, 150, 180};
  hys_backbone* b = nullptr;
  hys_stepper* s = nullptr;
  float x = 0.0f;
  EXPECT_EQ(hys_backbone_create(2, nullptr, sy, &b), HYS_E_NULL);
  EXPECT_EQ(hys_backbone_create(2, ey, sy, nullptr), HYS_E_NULL);
  EXPECT_EQ(hys_stepper_create(nullptr, &s), HYS_E_NULL);
  EXPECT_EQ(hys_stepper_feed(nullptr, &x, &x, 1), HYS_E_NULL);
  // Every allocation of the creation in turn fails: the status, nothing kept.
  for (uint64_t nth = 1; nth <= 5; ++nth) {
    SCOPED_TRACE(nth);
    Sys::SetFault(nth, ENOMEM, Sys::kCallAlloc);
    const int made = hys_backbone_create(2, ey, sy, &b);
    const int stepped = made == HYS_OK ? hys_stepper_create(b, &s) : HYS_E_MEMORY;
    Sys::SetFault(0, 0);
    EXPECT_EQ(made == HYS_OK ? stepped : made, nth <= 5 ? HYS_E_MEMORY : HYS_OK);
    if (made == HYS_OK) hys_backbone_free(b);
    if (stepped == HYS_OK) hys_stepper_free(s);
  }
}

// The worked example's stresses, computed with `word` as the caller's mode.
std::vector<float> ExampleUnderMode(hys_backbone* b, uint32_t word, uint32_t* after) {
  hys_stepper* s = nullptr;
  EXPECT_EQ(hys_stepper_create(b, &s), HYS_OK);
  std::vector<float> path = {9, 4, -4, 0, -3, -5};
  const uint32_t saved = _mm_getcsr();
  _mm_setcsr(word);
  for (int rep = 0; rep < 2000; ++rep) {
    hys_stepper_reset(s);
    std::vector<float> strain = {9, 4, -4, 0, -3, -5};
    EXPECT_EQ(hys_stepper_feed(s, strain.data(), path.data(), strain.size()), HYS_OK);
  }
  *after = _mm_getcsr();
  _mm_setcsr(saved);
  hys_stepper_free(s);
  return path;
}

TEST(Stepper, TwoThreadsOnOneBackboneKeepTheirOwnModes) {
  const float ey[] = {0, 1, 3, 6}, sy[] = {0, 100, 150, 180};
  hys_backbone* b = nullptr;
  ASSERT_EQ(hys_backbone_create(2, ey, sy, &b), HYS_OK);
  const std::vector<float> want = {0, 160, -160, 90, -135, -170};
  // Round toward zero with every exception masked, and the default mode.
  const uint32_t modes[2] = {0x7F80, 0x1F80};
  std::vector<float> got[2];
  uint32_t after[2] = {};
  std::thread threads[2];
  for (int i = 0; i < 2; ++i)
    threads[i] = std::thread([&, i] { got[i] = ExampleUnderMode(b, modes[i], &after[i]); });
  for (auto& t : threads) t.join();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(got[i], want);
    EXPECT_EQ(after[i] & ~0x3Fu, modes[i]) << "the caller's mode comes back";
  }
  hys_backbone_free(b);
}

}  // namespace
