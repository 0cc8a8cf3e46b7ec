// The command of hysteresis-plot: arguments, reading, writing the SVG safely.
#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace Plot {

// Exit statuses of the command.
enum ExitCode : int {
  kExitOk = 0,
  kExitBadInput = 1,  // missing or malformed output or loops file, SVG not writable
  kExitUsage = 2,     // unknown option, bad option value or too many arguments
};

// The usage text shown by --help.
std::string UsageText();

// Runs the command with `args` (without the program name): reads the output
// file (default "output.txt"), beside it "input.txt" for the backbone and,
// with --loops, the loops file for the loop layer, and writes the SVG
// (default "output.svg") through a temporary file that is renamed into
// place, so a failure never leaves a partial picture. Messages go to `err`
// as one line; returns an ExitCode.
int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace Plot
