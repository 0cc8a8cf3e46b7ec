// Reading the counted cycles of a loops file ("loops.csv" of hysteresis-life)
// for the picture, checked against the path that the picture draws.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "plot/history.h"

namespace Plot {

// The header line that every loops file begins with.
inline constexpr std::string_view kLoopsHeader =
    "closing,b,c,count,strain_min,strain_max,stress_min,stress_max,strain_amplitude,"
    "stress_amplitude,mean_stress,parameter,cycles,damage";

// One counted cycle: a closed loop between the turning points at entries b
// and c, closed by entry `closing` (count 1), or a half cycle of the residue
// from b to c (count 0.5, `closing` 0). Entries are 1-based record numbers.
struct LoopRow {
  std::size_t closing = 0;
  std::size_t b = 0;
  std::size_t c = 0;
  double count = 1;
  double damage = 0;
};

// Parses the text of a loops file for the path `history`: the header line,
// then one row of 14 comma-separated columns per cycle, lines ended by LF
// (or CR LF). Returns false with `error` set to a one-line reason naming the
// line when the header is missing, a row has another number of columns, a
// column is not a number, an entry lies outside the path, the count is not
// 1 (with a closing entry) or 0.5 (without), the damage is negative or not
// finite, or a row's strains are not those of the path at b and c (where the
// path is not NaN).
bool ParseLoopsText(std::string_view text, const History& history, std::vector<LoopRow>& rows,
                    std::string& error);

// Reads and parses the file at `path`; the reason then includes the path.
bool ReadLoopsFile(const std::string& path, const History& history, std::vector<LoopRow>& rows,
                   std::string& error);

}  // namespace Plot
