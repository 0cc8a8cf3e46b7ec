// hysteresis-plot's command: argument handling and the safe write of the SVG.
#include "plot/cli.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>

#include "plot/history.h"
#include "plot/loopfile.h"
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

// The value of the option `name` in `args` at `i`, given as "--name=VALUE"
// or as "--name VALUE" (then `i` moves past the value); nullopt when `args[i]`
// is not that option. `missing` is set when the value is absent.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                       const std::string& name, bool& missing) {
  const std::string& a = args[i];
  if (a.compare(0, name.size() + 1, name + "=") == 0) return a.substr(name.size() + 1);
  if (a != name) return std::nullopt;
  if (i + 1 >= args.size()) {
    missing = true;
    return std::string();
  }
  return args[++i];
}

// A count of loops for --top: decimal digits only, at most kMaxTop.
bool ParseTop(const std::string& text, std::size_t& top) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), top);
  return ec == std::errc() && top <= kMaxTop;
}

// True when `a` and `b` name the same file (or the same path).
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return a == b || std::filesystem::equivalent(a, b, ec);
}

}  // namespace

std::string UsageText() {
  return "Usage: hysteresis-plot [--loops LOOPS [--top K]] [OUTPUT [SVG]]\n"
         "Draws the stress-strain history written by hysteresis as an SVG picture.\n"
         "\n"
         "  OUTPUT  the results to draw (default \"output.txt\"): one record per\n"
         "          entry, strain and stress in two 15-character fields\n"
         "  SVG     the picture to write (default \"output.svg\")\n"
         "  --loops LOOPS  the cycles counted on this history by hysteresis-life\n"
         "          (\"loops.csv\"): the most damaging are drawn over the line,\n"
         "          coloured by their damage and labelled with their entries, and\n"
         "          a strip under the plot shows the damage sum against the entry\n"
         "  --top K the number of cycles drawn, 0 to 1000 (default 10)\n"
         "\n"
         "When \"input.txt\" stands beside OUTPUT, its backbone and the mirror of it\n"
         "are drawn as a thin dashed reference line. Reversal points are marked;\n"
         "NaN or infinite entries break the line. Long histories are thinned: points\n"
         "that change no pixel are dropped, reversal points are always kept.\n"
         "\n"
         "Exit status: 0 on success, 1 when OUTPUT or LOOPS is missing or malformed\n"
         "or the SVG cannot be written (then no SVG is written), 2 for a usage error.\n";
}

int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> names;
  std::optional<std::string> loops_path;
  std::optional<std::string> top_text;
  bool options_done = false;  // after "--" every argument is a path
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool missing = false;
    if (options_done || a.size() < 2 || a[0] != '-') {
      names.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      out << UsageText();
      return kExitOk;
    } else if (auto v = OptionValue(args, i, "--loops", missing)) {
      if (missing || v->empty()) {
        err << kProgram << ": --loops needs the name of a loops file (try --help)\n";
        return kExitUsage;
      }
      loops_path = *v;
    } else if (auto v = OptionValue(args, i, "--top", missing)) {
      if (missing) {
        err << kProgram << ": --top needs a number (try --help)\n";
        return kExitUsage;
      }
      top_text = *v;
    } else {
      err << kProgram << ": unknown option " << a << " (try --help)\n";
      return kExitUsage;
    }
  }
  LoopLayer layer;
  if (top_text && !loops_path) {
    err << kProgram << ": --top only counts with --loops (try --help)\n";
    return kExitUsage;
  }
  if (top_text && !ParseTop(*top_text, layer.top)) {
    err << kProgram << ": --top " << *top_text << " is not a whole number from 0 to " << kMaxTop
        << "\n";
    return kExitUsage;
  }
  if (names.size() > 2) {
    err << kProgram << ": too many arguments (try --help)\n";
    return kExitUsage;
  }
  std::string output_path = names.size() > 0 ? names[0] : "output.txt";
  std::string svg_path = names.size() > 1 ? names[1] : "output.svg";
  if (SameFile(svg_path, output_path)) {
    err << kProgram << ": the picture " << svg_path << " would replace the results it draws\n";
    return kExitUsage;
  }
  if (loops_path && SameFile(svg_path, *loops_path)) {
    err << kProgram << ": the picture " << svg_path << " would replace the loops it draws\n";
    return kExitUsage;
  }

  History history;
  std::string error;
  if (!ReadOutputFile(output_path, history, error)) {
    err << kProgram << ": " << error << "\n";
    return kExitBadInput;
  }
  if (loops_path && !ReadLoopsFile(*loops_path, history, layer.rows, error)) {
    err << kProgram << ": " << error << "\n";
    return kExitBadInput;
  }
  std::vector<Point> backbone = ReadBackboneFile(InputBeside(output_path));
  std::string svg = RenderSvg(history, backbone, nullptr, loops_path ? &layer : nullptr);
  if (!WriteAtomically(svg_path, svg, error)) {
    err << kProgram << ": " << error << "\n";
    return kExitBadInput;
  }
  return kExitOk;
}

}  // namespace Plot
