// Reading and checking the rows of a loops file for the picture.
#include "plot/loopfile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace Plot {

namespace {

constexpr std::size_t kColumns = 14;
constexpr const char* kColumnNames[kColumns] = {"closing",
                                                "b",
                                                "c",
                                                "count",
                                                "strain_min",
                                                "strain_max",
                                                "stress_min",
                                                "stress_max",
                                                "strain_amplitude",
                                                "stress_amplitude",
                                                "mean_stress",
                                                "parameter",
                                                "cycles",
                                                "damage"};
enum Column : std::size_t {
  kClosing = 0,
  kB = 1,
  kC = 2,
  kCount = 3,
  kStrainMin = 4,
  kStrainMax = 5,
  kDamage = 13
};

// The strains of the loops file are those the path was computed with; the
// records of the path show them to 7 or 8 digits.
constexpr double kStrainTolerance = 1e-6;

// Splits `line` at its commas into `cols`; returns the number of columns
// (which may exceed kColumns, then only the first kColumns are kept).
std::size_t SplitColumns(std::string_view line, std::array<std::string_view, kColumns>& cols) {
  std::size_t n = 0;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = line.find(',', start);
    std::string_view col =
        line.substr(start, comma == std::string_view::npos ? line.size() - start : comma - start);
    if (n < kColumns) cols[n] = col;
    ++n;
    if (comma == std::string_view::npos) return n;
    start = comma + 1;
  }
}

// A number as the loops file writes it: decimal text, "inf", "-inf" or "nan".
bool ParseNumber(std::string_view text, double& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  return ec == std::errc() && ptr == end;
}

// A record number of the path: decimal digits only.
bool ParseEntry(std::string_view text, std::size_t& value) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

// True when the strain in the loops file is the path's strain, as far as the
// path's records show it.
bool SameStrain(double in_file, double in_path) {
  if (in_file == in_path) return true;  // also the infinities
  if (!std::isfinite(in_file) || !std::isfinite(in_path)) return false;
  return std::fabs(in_file - in_path) <=
         kStrainTolerance * std::max(std::fabs(in_file), std::fabs(in_path));
}

// Checks one row and converts it; returns "" or the reason it is bad.
std::string ParseRow(const std::array<std::string_view, kColumns>& cols, const History& history,
                     LoopRow& row) {
  std::size_t n = history.size();
  std::size_t* entries[3] = {&row.closing, &row.b, &row.c};
  for (std::size_t k = kClosing; k <= kC; ++k) {
    if (k == kClosing && cols[k].empty()) {
      row.closing = 0;
      continue;
    }
    if (!ParseEntry(cols[k], *entries[k]))
      return std::string(kColumnNames[k]) + " is not an entry number";
    if (*entries[k] < 1 || *entries[k] > n)
      return std::string(kColumnNames[k]) + " entry " + std::string(cols[k]) +
             " is outside the path (" + std::to_string(n) + (n == 1 ? " entry)" : " entries)");
  }
  double values[kColumns] = {};
  for (std::size_t k = kCount; k < kColumns; ++k)
    if (!ParseNumber(cols[k], values[k])) return std::string(kColumnNames[k]) + " is not a number";
  row.count = values[kCount];
  row.damage = values[kDamage];
  if (!(row.count == 1 && row.closing != 0) && !(row.count == 0.5 && row.closing == 0))
    return "count is neither 1 with a closing entry nor 0.5 without";
  if (!(std::isfinite(row.damage) && row.damage >= 0))
    return "damage is not a finite number of at least 0";
  // Where the path is NaN, its order of the two strains is undefined and
  // there is nothing to compare.
  double eb = history.strain[row.b - 1];
  double ec = history.strain[row.c - 1];
  if (std::isnan(eb) || std::isnan(ec)) return "";
  if (!SameStrain(values[kStrainMin], std::min(eb, ec)) ||
      !SameStrain(values[kStrainMax], std::max(eb, ec)))
    return "the strains are not those of entries " + std::to_string(row.b) + " and " +
           std::to_string(row.c) + " of the path";
  return "";
}

}  // namespace

bool ParseLoopsText(std::string_view text, const History& history, std::vector<LoopRow>& rows,
                    std::string& error) {
  rows.clear();
  std::size_t pos = 0;
  std::size_t line_number = 0;
  std::array<std::string_view, kColumns> cols;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = eol + 1;
    ++line_number;
    if (line_number == 1) {
      if (line != kLoopsHeader) {
        error = "line 1 is not the header of a loops file (" +
                std::string(kLoopsHeader.substr(0, 20)) + "...)";
        return false;
      }
      continue;
    }
    std::size_t columns = SplitColumns(line, cols);
    if (columns != kColumns) {
      error = "line " + std::to_string(line_number) + " has " + std::to_string(columns) +
              (columns == 1 ? " column" : " columns") + ", not 14";
      return false;
    }
    LoopRow row;
    std::string reason = ParseRow(cols, history, row);
    if (!reason.empty()) {
      error = "line " + std::to_string(line_number) + ": " + reason;
      return false;
    }
    rows.push_back(row);
  }
  if (line_number == 0) {
    error = "no header line";
    return false;
  }
  return true;
}

bool ReadLoopsFile(const std::string& path, const History& history, std::vector<LoopRow>& rows,
                   std::string& error) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    error = path + ": cannot be read";
    return false;
  }
  if (!ParseLoopsText(bytes, history, rows, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace Plot
