// Test helpers that read an SVG picture as text: a well-formedness check,
// elements by class, path coordinates and the data-to-picture map of the axes.
#pragma once
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace plottest {

struct Pt {
  double x = 0;
  double y = 0;
};

inline bool IsXmlNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == ':' || c == '.';
}

// Checks the XML structure: one root element, properly nested and closed
// tags, quoted attribute values without '<', known entities only, nothing
// but blanks outside the root. Returns "" when well formed, else the reason.
inline std::string XmlProblem(std::string_view s) {
  std::vector<std::string> open;
  bool root_seen = false;
  std::size_t i = 0;
  auto skip_blank = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  };
  while (i < s.size()) {
    if (s[i] != '<') {
      if (open.empty() && !(s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t'))
        return "text outside the root element at " + std::to_string(i);
      if (s[i] == '&') {
        std::size_t semi = s.find(';', i);
        if (semi == std::string_view::npos) return "unterminated entity";
        std::string_view ent = s.substr(i, semi - i + 1);
        if (ent != "&amp;" && ent != "&lt;" && ent != "&gt;" && ent != "&quot;" && ent != "&apos;")
          return "unknown entity " + std::string(ent);
      }
      ++i;
      continue;
    }
    if (s.substr(i, 5) == "<?xml") {
      if (i != 0) return "XML declaration not at the start";
      std::size_t end = s.find("?>", i);
      if (end == std::string_view::npos) return "unterminated declaration";
      i = end + 2;
      continue;
    }
    if (s.substr(i, 4) == "<!--") {
      std::size_t end = s.find("-->", i);
      if (end == std::string_view::npos) return "unterminated comment";
      i = end + 3;
      continue;
    }
    bool closing = i + 1 < s.size() && s[i + 1] == '/';
    i += closing ? 2 : 1;
    std::size_t name_start = i;
    while (i < s.size() && IsXmlNameChar(s[i])) ++i;
    std::string name(s.substr(name_start, i - name_start));
    if (name.empty()) return "tag without a name at " + std::to_string(name_start);
    if (closing) {
      skip_blank();
      if (i >= s.size() || s[i] != '>') return "bad closing tag " + name;
      ++i;
      if (open.empty() || open.back() != name) return "closing tag " + name + " does not match";
      open.pop_back();
      continue;
    }
    if (open.empty()) {
      if (root_seen) return "second root element " + name;
      root_seen = true;
    }
    for (;;) {
      skip_blank();
      if (i >= s.size()) return "unterminated tag " + name;
      if (s[i] == '>') {
        ++i;
        open.push_back(name);
        break;
      }
      if (s.substr(i, 2) == "/>") {
        i += 2;
        break;
      }
      std::size_t a = i;
      while (i < s.size() && IsXmlNameChar(s[i])) ++i;
      if (i == a) return "bad attribute in " + name;
      skip_blank();
      if (i >= s.size() || s[i] != '=') return "attribute without value in " + name;
      ++i;
      skip_blank();
      if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) return "unquoted attribute in " + name;
      char q = s[i++];
      std::size_t end = s.find(q, i);
      if (end == std::string_view::npos) return "unterminated attribute in " + name;
      if (s.substr(i, end - i).find('<') != std::string_view::npos) return "'<' in attribute";
      i = end + 1;
    }
  }
  if (!open.empty()) return "element " + open.back() + " not closed";
  if (!root_seen) return "no root element";
  return "";
}

// The start tags (from '<' to '>') of every element whose class is `cls`.
inline std::vector<std::string> TagsOfClass(std::string_view svg, std::string_view cls) {
  std::vector<std::string> tags;
  std::string needle = "class=\"" + std::string(cls) + "\"";
  for (std::size_t p = svg.find(needle); p != std::string_view::npos; p = svg.find(needle, p + 1)) {
    std::size_t start = svg.rfind('<', p);
    std::size_t end = svg.find('>', p);
    tags.emplace_back(svg.substr(start, end - start + 1));
  }
  return tags;
}

// The text content after each element of class `cls` (up to the next '<').
inline std::vector<std::string> TextsOfClass(std::string_view svg, std::string_view cls) {
  std::vector<std::string> texts;
  std::string needle = "class=\"" + std::string(cls) + "\"";
  for (std::size_t p = svg.find(needle); p != std::string_view::npos; p = svg.find(needle, p + 1)) {
    std::size_t gt = svg.find('>', p);
    std::size_t lt = svg.find('<', gt);
    texts.emplace_back(svg.substr(gt + 1, lt - gt - 1));
  }
  return texts;
}

// The value of attribute `name` in a start tag; "" when absent.
inline std::string Attr(std::string_view tag, std::string_view name) {
  std::string needle = " " + std::string(name) + "=\"";
  std::size_t p = tag.find(needle);
  if (p == std::string_view::npos) return "";
  p += needle.size();
  return std::string(tag.substr(p, tag.find('"', p) - p));
}

inline double Num(std::string_view text) {
  double v = NAN;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// The subpaths of a path made of "M x,y x,y ..." and "h0"; every "M" starts
// a new subpath and "h0" adds nothing.
inline std::vector<std::vector<Pt>> Subpaths(std::string_view d) {
  std::vector<std::vector<Pt>> out;
  std::size_t i = 0;
  while (i < d.size()) {
    char c = d[i];
    if (c == 'M') {
      out.emplace_back();
      ++i;
    } else if (c == 'h') {
      ++i;
      while (i < d.size() && (std::isdigit(static_cast<unsigned char>(d[i])) || d[i] == '.')) ++i;
    } else if (c == ' ') {
      ++i;
    } else {
      std::size_t comma = d.find(',', i);
      std::size_t end = d.find_first_of(" Mh", comma);
      if (end == std::string_view::npos) end = d.size();
      if (out.empty()) out.emplace_back();
      out.back().push_back(
          {Num(d.substr(i, comma - i)), Num(d.substr(comma + 1, end - comma - 1))});
      i = end;
    }
  }
  return out;
}

// A linear map value -> picture position read from the tick labels of one
// axis ("x-tick" or "y-tick", after `prefix` for another plot area):
// position = offset + scale * value.
struct AxisMap {
  double offset = 0;
  double scale = 0;
  double lo = 0;  // smallest and largest tick value
  double hi = 0;
  bool consistent = false;  // every tick lies on the map within 0.1
  double operator()(double v) const { return offset + scale * v; }
};

inline AxisMap ReadAxis(std::string_view svg, bool x_axis, const std::string& prefix = "") {
  std::string cls = prefix + (x_axis ? "x-tick" : "y-tick");
  std::vector<std::string> tags = TagsOfClass(svg, cls);
  std::vector<std::string> texts = TextsOfClass(svg, cls);
  AxisMap m;
  if (tags.size() < 2) return m;
  std::vector<double> value;
  std::vector<double> pos;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    value.push_back(Num(texts[i]));
    pos.push_back(Num(Attr(tags[i], x_axis ? "x" : "y")));
  }
  m.scale = (pos.back() - pos.front()) / (value.back() - value.front());
  m.offset = pos.front() - m.scale * value.front();
  m.lo = value.front();
  m.hi = value.back();
  m.consistent = true;
  for (std::size_t i = 0; i < value.size(); ++i)
    if (!(std::fabs(m(value[i]) - pos[i]) <= 0.1)) m.consistent = false;
  return m;
}

}  // namespace plottest
