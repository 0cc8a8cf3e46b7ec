// hysteresis-life's command line: the options, their defaults and the usage.
#pragma once
#include <string>
#include <vector>

#include "fatigue/loops.h"
#include "fatigue/strainlife.h"

namespace Life {

// Exit statuses of the program's own failures. Failures in reading the job
// end with the diagnostics and statuses of hysteresis instead.
enum ExitCode : int {
  kExitOk = 0,
  kExitBadInput = 1,  // a path file, the group LIFE or the CSV file failed
  kExitUsage = 2,     // an unknown option or a bad option value
};

struct Options {
  DamageParameterKind parameter = DamageParameterKind::kSwt;
  ResidueMode residue = ResidueMode::kHalfCycles;
  std::string path;                 // --path: a path file instead of the job
  std::string input = "input.txt";  // --input: the file with the group LIFE
  std::string csv = "loops.csv";    // -o: the table of the counted cycles
  int top = 10;                     // --top: cycles listed on standard output
  bool help = false;
};

// Reads the arguments (without the program name) into `o`. Returns "" or a
// one-line reason for a usage error.
std::string ParseOptions(const std::vector<std::string>& args, Options& o);

// The text shown by --help.
std::string UsageText();

// "swt", "morrow", "strain" and "half", "repeat", "none".
const char* ParameterName(DamageParameterKind kind);
const char* ResidueName(ResidueMode mode);

}  // namespace Life
