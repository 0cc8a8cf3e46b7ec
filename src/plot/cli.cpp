// hysteresis-plot's command: argument handling and the safe write of the SVG.
#include "plot/cli.h"

#include <filesystem>
#include <fstream>

#include "plot/history.h"
#include "plot/svg.h"

namespace Plot {

namespace {

constexpr const char* kProgram = "hysteresis-plot";

// "dir/output.txt" -> "dir/input.txt"; "output.txt" -> "input.txt".
std::string InputBeside(const std::string& output_path) {
  std::filesystem::path p(output_path);
  return (p.parent_path() / "input.txt").string();
}

// Writes `bytes` to `path` by way of a temporary file in the same directory.
// Returns false with a reason when any step fails; the temporary is removed.
bool WriteAtomically(const std::string& path, const std::string& bytes, std::string& error) {
  std::string temp = path + ".tmp";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    if (f) f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (f) f.close();
    if (!f) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      error = path + ": cannot be written";
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    error = path + ": cannot be written (" + ec.message() + ")";
    return false;
  }
  return true;
}

}  // namespace

std::string UsageText() {
  return "Usage: hysteresis-plot [OUTPUT [SVG]]\n"
         "Draws the stress-strain history written by hysteresis as an SVG picture.\n"
         "\n"
         "  OUTPUT  the results to draw (default \"output.txt\"): one record per\n"
         "          entry, strain and stress in two 15-character fields\n"
         "  SVG     the picture to write (default \"output.svg\")\n"
         "\n"
         "When \"input.txt\" stands beside OUTPUT, its backbone and the mirror of it\n"
         "are drawn as a thin dashed reference line. Reversal points are marked;\n"
         "NaN or infinite entries break the line. Long histories are thinned: points\n"
         "that change no pixel are dropped, reversal points are always kept.\n"
         "\n"
         "Exit status: 0 on success, 1 when OUTPUT is missing or malformed or the\n"
         "SVG cannot be written (then no SVG is written), 2 for a usage error.\n";
}

int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> names;
  bool options_done = false;  // after "--" every argument is a path
  for (const std::string& a : args) {
    if (options_done || a.size() < 2 || a[0] != '-') {
      names.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      out << UsageText();
      return kExitOk;
    } else {
      err << kProgram << ": unknown option " << a << " (try --help)\n";
      return kExitUsage;
    }
  }
  if (names.size() > 2) {
    err << kProgram << ": too many arguments (try --help)\n";
    return kExitUsage;
  }
  std::string output_path = names.size() > 0 ? names[0] : "output.txt";
  std::string svg_path = names.size() > 1 ? names[1] : "output.svg";
  std::error_code ec;
  if (svg_path == output_path || std::filesystem::equivalent(svg_path, output_path, ec)) {
    err << kProgram << ": the picture " << svg_path << " would replace the results it draws\n";
    return kExitUsage;
  }

  History history;
  std::string error;
  if (!ReadOutputFile(output_path, history, error)) {
    err << kProgram << ": " << error << "\n";
    return kExitBadInput;
  }
  std::vector<Point> backbone = ReadBackboneFile(InputBeside(output_path));
  std::string svg = RenderSvg(history, backbone);
  if (!WriteAtomically(svg_path, svg, error)) {
    err << kProgram << ": " << error << "\n";
    return kExitBadInput;
  }
  return kExitOk;
}

}  // namespace Plot
