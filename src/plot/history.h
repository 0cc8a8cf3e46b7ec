// Reading the results of a run for the plot: the strain/stress records of
// "output.txt" and, leniently, the backbone of "input.txt".
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Plot {

// One (strain, stress) pair; also used for backbone points.
struct Point {
  double x = 0;
  double y = 0;
};

// The whole history as read: entry j is (strain[j], stress[j]). Entries may be
// NaN or infinite, exactly as the records show them.
struct History {
  std::vector<double> strain;
  std::vector<double> stress;
  std::size_t size() const { return strain.size(); }
};

// Converts one 15-character field of a record ("   4.000000    ",
// "  1.2345678E-03", " NaN", " Infinity", " -Infinity", blank padded).
// Returns false when the field holds anything else (blank, junk, trailing
// text), does not begin with a blank, as every written field does, or holds
// a finite value beyond the single-precision range.
bool ParseField(std::string_view field, double& value);

// Parses the text of an output file: records of exactly two 15-character
// fields, each ended by CR LF or a bare LF; the last record may lack its line
// end. Returns false with `error` set to a one-line reason naming the record
// (counted from 1) when a record does not have that shape or the text holds
// no record at all.
bool ParseOutputText(std::string_view text, History& history, std::string& error);

// Reads and parses the file at `path`. Returns false with a one-line reason
// (including the path) when the file cannot be read or does not parse.
bool ReadOutputFile(const std::string& path, History& history, std::string& error);

// Finds the backbone in the text of an input file: the count N on the first
// value-holding record, then the group "&PARAMETRE EY = ..., SY = ... /"
// (also "$" and case-insensitive names, repeat counts "r*v", "!" comments).
// Returns the points (EY(i), SY(i)) for i = 0..min(count EY, count SY, N+2)-1,
// or an empty vector whenever the text is not understood; the plot then
// simply goes without its reference line.
std::vector<Point> ParseBackbone(std::string_view text);

// Reads the file at `path` with ParseBackbone; empty when missing or unreadable.
std::vector<Point> ReadBackboneFile(const std::string& path);

// Reads a whole file into `bytes`; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace Plot
