// What hysteresis-life reports: the rows of "loops.csv", the file they go to,
// and the tally of cycles and damage behind the summary on standard output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fatigue/loops.h"
#include "fatigue/strainlife.h"

namespace Life {

// The header line of the CSV file, with its LF.
extern const char kCsvHeader[];

// Longest row that FormatCsvRow writes.
constexpr size_t kCsvRowMax = 512;

// Writes the row of one counted cycle, LF included, to `out` (at least
// kCsvRowMax bytes) and returns its length. Numbers are the shortest text
// that reads back to the same double; `closing` is empty for a half cycle.
size_t FormatCsvRow(const Loop& loop, const LoopDamage& d, char* out);

// The CSV file, written by way of a temporary beside it that replaces the
// file only when complete, so a failed run leaves an older table as it was.
struct CsvFile {
  std::string path;
  std::string temp;
  int fd = -1;
  std::vector<char> buffer;
  size_t used = 0;
  int error = 0;  // the first failed write, errno
};

// Creates the temporary. Returns "" or a one-line reason.
std::string OpenCsv(CsvFile& f, const std::string& path);
void WriteCsvRow(CsvFile& f, const Loop& loop, const LoopDamage& d);
// Appends rows already formatted (FormatCsvRow) after those written so far.
void WriteCsvText(CsvFile& f, const char* text, size_t length);
// Writes what is held, closes and renames into place. Returns "" or a
// one-line reason; the temporary is then removed.
std::string CommitCsv(CsvFile& f);
// Closes and removes the temporary.
void AbandonCsv(CsvFile& f);

struct RankedCycle {
  Loop loop;
  LoopDamage damage;
};

// The count so far: cycles, the damage sum and the most damaging cycles.
struct Tally {
  int64_t closed = 0;
  int64_t half = 0;
  double sum = 0.0;    // Palmgren-Miner damage sum D (compensated)
  double carry = 0.0;  // the low-order part of the sum that rounding lost
  size_t top_max = 10;
  std::vector<RankedCycle> top;  // most damaging first; equal damage: found first
};

void CountCycle(Tally& t, const Loop& loop, const LoopDamage& d);
double DamageSum(const Tally& t);

// The summary on standard output: the counts, D, the life 1/D and the most
// damaging cycles; `entries` is the length of the path, `setting` names the
// parameter and the residue option.
std::string SummaryText(const Tally& t, int64_t entries, const std::string& setting);

}  // namespace Life
