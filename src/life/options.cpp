// hysteresis-life's command line: options as "--name value" or "--name=value".
#include "life/options.h"

#include <charconv>

namespace Life {

namespace {

bool ParseParameter(const std::string& v, DamageParameterKind& kind) {
  if (v == "swt") kind = DamageParameterKind::kSwt;
  else if (v == "morrow") kind = DamageParameterKind::kMorrow;
  else if (v == "strain") kind = DamageParameterKind::kStrain;
  else return false;
  return true;
}

bool ParseResidue(const std::string& v, ResidueMode& mode) {
  if (v == "half") mode = ResidueMode::kHalfCycles;
  else if (v == "repeat") mode = ResidueMode::kRepeat;
  else if (v == "none") mode = ResidueMode::kNone;
  else return false;
  return true;
}

bool ParseCount(const std::string& v, int& n) {
  const char* end = v.data() + v.size();
  auto [p, ec] = std::from_chars(v.data(), end, n);
  return ec == std::errc() && p == end && !v.empty() && n >= 0;
}

// Stores the value of option `name`; returns "" or the reason it is refused.
std::string TakeValue(const std::string& name, const std::string& v, Options& o) {
  if (v.empty()) return name + " takes a value that is not empty";
  if (name == "--parameter") {
    if (!ParseParameter(v, o.parameter)) return "--parameter takes swt, morrow or strain, not " + v;
  } else if (name == "--residue") {
    if (!ParseResidue(v, o.residue)) return "--residue takes half, repeat or none, not " + v;
  } else if (name == "--top") {
    if (!ParseCount(v, o.top)) return "--top takes a whole number of cycles, not " + v;
  } else if (name == "--path") {
    o.path = v;
  } else if (name == "--input") {
    o.input = v;
  } else {
    o.csv = v;  // -o, --output
  }
  return "";
}

bool TakesValue(const std::string& name) {
  return name == "--parameter" || name == "--residue" || name == "--top" || name == "--path" ||
         name == "--input" || name == "-o" || name == "--output";
}

}  // namespace

std::string ParseOptions(const std::vector<std::string>& args, Options& o) {
  bool input_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    const size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      o.help = true;
      return "";
    }
    if (!TakesValue(name)) return "unknown argument " + args[i];
    if (!has_value) {
      if (i + 1 == args.size()) return name + " needs a value";
      value = args[++i];
    }
    if (std::string why = TakeValue(name, value, o); !why.empty()) return why;
    input_given = input_given || name == "--input";
  }
  if (input_given && o.path.empty()) return "--input goes with --path (the job reads input.txt)";
  return "";
}

std::string UsageText() {
  return "Usage: hysteresis-life [--parameter swt|morrow|strain] [--residue half|repeat|none]\n"
         "                       [--path FILE [--input FILE]] [-o CSV] [--top K]\n"
         "Counts the closed hysteresis loops of a stress-strain path and sums their\n"
         "fatigue damage on the strain-life curve of the group &LIFE.\n"
         "\n"
         "Without --path it runs the job of hysteresis in the working directory\n"
         "(\"input.txt\", \"deformacia.txt\") without writing \"output.txt\".\n"
         "\n"
         "  --parameter P  damage parameter: swt (default), morrow or strain\n"
         "  --residue R    open turning points at the end: half cycles (half, the\n"
         "                 default), the residue run twice (repeat), or none\n"
         "  --path FILE    read the path from FILE, records of two 15-character\n"
         "                 fields as in \"output.txt\"\n"
         "  --input FILE   with --path: the file with the group &LIFE (default\n"
         "                 \"input.txt\")\n"
         "  -o, --output CSV  the table of counted cycles (default \"loops.csv\")\n"
         "  --top K        list the K most damaging cycles (default 10)\n"
         "\n"
         "The group: &LIFE E=206000, SF=1000, B=-0.08, EF=0.5, C=-0.6 /\n"
         "\n"
         "Exit status: 0 on success; the status of hysteresis for a job it would\n"
         "refuse; 1 for a bad path file, a bad group &LIFE or a CSV that cannot be\n"
         "written; 2 for a usage error.\n";
}

const char* ParameterName(DamageParameterKind kind) {
  switch (kind) {
    case DamageParameterKind::kSwt: return "swt";
    case DamageParameterKind::kMorrow: return "morrow";
    case DamageParameterKind::kStrain: return "strain";
  }
  return "";
}

const char* ResidueName(ResidueMode mode) {
  switch (mode) {
    case ResidueMode::kHalfCycles: return "half";
    case ResidueMode::kRepeat: return "repeat";
    case ResidueMode::kNone: return "none";
  }
  return "";
}

}  // namespace Life
