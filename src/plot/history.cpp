// Reading "output.txt" records and the backbone of "input.txt" for the plot.
#include "plot/history.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace Plot {

namespace {

constexpr std::size_t kFieldWidth = 15;
constexpr std::size_t kRecordWidth = 2 * kFieldWidth;
constexpr double kLargestField = 3.5e38;  // just above the largest single-precision value

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == 'E' || c == 'e' || c == '+' || c == '-';
}

// Converts decimal text that holds only digits, point, sign and exponent.
// Returns false for anything else, including "inf"/"nan" spellings, a leading
// '+' on the mantissa and values beyond the double range.
bool ParseDecimal(std::string_view text, double& value) {
  if (text.empty() || text.front() == '+') return false;
  for (char c : text)
    if (!IsNumberChar(c)) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  return ec == std::errc() && ptr == end;
}

}  // namespace

bool ParseField(std::string_view field, double& value) {
  // Every field the writer produces starts with a blank; a field that does
  // not is a sign of records that have slipped out of their columns.
  if (field.empty() || field.front() != ' ') return false;
  std::string_view t = TrimBlanks(field);
  if (t == "NaN") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (t == "Infinity" || t == "-Infinity") {
    value = t.front() == '-' ? -std::numeric_limits<double>::infinity()
                             : std::numeric_limits<double>::infinity();
    return true;
  }
  // The results are single-precision values; anything far beyond that range
  // is not a record of a run (and would overflow the picture's arithmetic).
  return ParseDecimal(t, value) && std::fabs(value) <= kLargestField;
}

bool ParseOutputText(std::string_view text, History& history, std::string& error) {
  history = History{};
  std::size_t pos = 0;
  std::size_t record = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::size_t next = eol == std::string_view::npos ? text.size() : eol + 1;
    std::string_view line =
        text.substr(pos, (eol == std::string_view::npos ? text.size() : eol) - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = next;
    ++record;
    double strain = 0;
    double stress = 0;
    if (line.size() != kRecordWidth) {
      error = "record " + std::to_string(record) + " is not two 15-character fields (it has " +
              std::to_string(line.size()) + " characters)";
      return false;
    }
    if (!ParseField(line.substr(0, kFieldWidth), strain) ||
        !ParseField(line.substr(kFieldWidth, kFieldWidth), stress)) {
      error = "record " + std::to_string(record) + " is not two 15-character number fields";
      return false;
    }
    history.strain.push_back(strain);
    history.stress.push_back(stress);
  }
  if (record == 0) {
    error = "no records";
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  bytes = std::move(ss).str();
  return true;
}

bool ReadOutputFile(const std::string& path, History& history, std::string& error) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    error = path + ": cannot be read";
    return false;
  }
  if (!ParseOutputText(bytes, history, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

namespace {

// A lenient scanner over the whole input text, for the backbone only.
struct GroupScan {
  std::string_view text;
  std::size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
  char Peek() const { return text[pos]; }
  // Skips blanks, tabs, line ends, commas and "!" comments.
  void SkipSeparators() {
    while (!AtEnd()) {
      char c = Peek();
      if (c == '!') {
        while (!AtEnd() && Peek() != '\n') ++pos;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
        ++pos;
      } else {
        return;
      }
    }
  }
  std::string_view TakeWhile(bool (*keep)(char)) {
    std::size_t start = pos;
    while (!AtEnd() && keep(Peek())) ++pos;
    return text.substr(start, pos - start);
  }
};

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsValueChar(char c) {
  return c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != ',' && c != '/' && c != '&' &&
         c != '$' && c != '!';
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

// Reads a value as the input reader would take it: an optional '+', and the
// exponent letters D and Q besides E. Returns false when it is not a plain number.
bool ParseLenientNumber(std::string_view token, double& value) {
  std::string t(token);
  if (!t.empty() && t.front() == '+') t.erase(0, 1);
  for (char& c : t)
    if (c == 'D' || c == 'd' || c == 'Q' || c == 'q') c = 'E';
  return ParseDecimal(t, value);
}

// One array of the group with a flag per element for "assigned".
struct GroupArray {
  std::vector<double> values;
  std::vector<bool> assigned;
  std::size_t next = 0;
  void Put(double v) {
    if (next >= values.size()) {
      values.resize(next + 1, 0.0);
      assigned.resize(next + 1, false);
    }
    values[next] = v;
    assigned[next] = true;
    ++next;
  }
  void Skip(std::size_t count) { next += count; }
  // Number of leading elements that hold a value.
  std::size_t AssignedPrefix() const {
    std::size_t n = 0;
    while (n < assigned.size() && assigned[n]) ++n;
    return n;
  }
};

// Reads the count from the first record that holds a value; the position
// moves past that record. Returns false when that record does not start
// with a number.
bool ReadCount(GroupScan& scan, long long& count) {
  scan.SkipSeparators();
  std::string_view token = scan.TakeWhile(IsValueChar);
  double value = 0;
  if (!ParseLenientNumber(token, value) || !std::isfinite(value) || std::fabs(value) > 1e9)
    return false;
  count = static_cast<long long>(value);  // truncated toward zero
  while (!scan.AtEnd() && scan.Peek() != '\n') ++scan.pos;
  return true;
}

// Moves to just after "&PARAMETRE" (or "$PARAMETRE"); false when absent.
bool FindGroupStart(GroupScan& scan) {
  while (!scan.AtEnd()) {
    char c = scan.Peek();
    ++scan.pos;
    if (c != '&' && c != '$') continue;
    while (!scan.AtEnd() && (scan.Peek() == ' ' || scan.Peek() == '\t')) ++scan.pos;
    if (SameNameIgnoringCase(scan.TakeWhile(IsNameChar), "PARAMETRE")) return true;
  }
  return false;
}

// Reads "name = values ..." items up to the closing '/', '&' or '$'.
// Returns false for anything the lenient reader does not understand.
bool ReadGroupBody(GroupScan& scan, GroupArray& ey, GroupArray& sy) {
  GroupArray* current = nullptr;
  for (;;) {
    scan.SkipSeparators();
    if (scan.AtEnd()) return false;  // the group never ends
    char c = scan.Peek();
    if (c == '/' || c == '&' || c == '$') return true;
    if (IsLetter(c)) {
      std::string_view name = scan.TakeWhile(IsNameChar);
      while (!scan.AtEnd() && (scan.Peek() == ' ' || scan.Peek() == '\t')) ++scan.pos;
      if (scan.AtEnd() || scan.Peek() != '=') return false;  // subscripts and the like
      ++scan.pos;
      if (SameNameIgnoringCase(name, "EY")) current = &ey;
      else if (SameNameIgnoringCase(name, "SY")) current = &sy;
      else return false;
      current->next = 0;
      continue;
    }
    std::string_view token = scan.TakeWhile(IsValueChar);
    if (current == nullptr || token.empty()) return false;
    std::size_t star = token.find('*');
    double repeat = 1;
    if (star != std::string_view::npos) {
      if (!ParseLenientNumber(token.substr(0, star), repeat) || repeat < 1 || repeat > 1e6 ||
          repeat != std::floor(repeat))
        return false;
      token = token.substr(star + 1);
    }
    double value = 0;
    if (token.empty()) {
      current->Skip(static_cast<std::size_t>(repeat));  // null values keep the elements
      continue;
    }
    if (!ParseLenientNumber(token, value)) return false;
    for (int r = 0; r < static_cast<int>(repeat); ++r) current->Put(value);
  }
}

}  // namespace

std::vector<Point> ParseBackbone(std::string_view text) {
  GroupScan scan{text};
  long long count = 0;
  if (!ReadCount(scan, count) || count < 0) return {};
  if (!FindGroupStart(scan)) return {};
  GroupArray ey;
  GroupArray sy;
  if (!ReadGroupBody(scan, ey, sy)) return {};
  std::size_t n = std::min(ey.AssignedPrefix(), sy.AssignedPrefix());
  n = std::min<std::size_t>(n, static_cast<std::size_t>(count) + 2);
  if (n < 2) return {};
  std::vector<Point> points;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(ey.values[i]) || !std::isfinite(sy.values[i])) return {};
    points.push_back({ey.values[i], sy.values[i]});
  }
  return points;
}

std::vector<Point> ReadBackboneFile(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return {};
  return ParseBackbone(bytes);
}

}  // namespace Plot
