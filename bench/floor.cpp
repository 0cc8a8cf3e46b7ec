// The floor of the benchmarks: only the work that the file formats demand of
// any implementation. It reads "deformacia.txt" twice (count the records that
// hold a value, then parse every value), formats two 15-character fields per
// entry and writes the records of "output.txt". It converts with the standard
// library alone (std::from_chars, std::to_chars with a precision), never with
// the program's own conversions, so that a faster program does not move it.
//
//   hysteresis_floor record   one write per 32-byte record
//   hysteresis_floor block    8 KiB blocks
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Magnitudes written in the fixed form: 0.1 up to 9999999.0 as floats.
constexpr uint32_t kFixedLow = 0x3DCCCCCDu;
constexpr uint32_t kFixedHigh = 0x4B18967Fu;

// The 15-character field of a float: 7 significant digits in the fixed form
// (right-justified in 11, 4 blanks behind), 8 in the exponent form, digits
// from std::to_chars with a precision.
void LibraryField(float value, char* out) {
  std::memset(out, ' ', 15);
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint32_t magnitude = bits & 0x7FFFFFFFu;
  const bool negative = bits >> 31;
  if (magnitude >= 0x7F800000u) {
    const char* text = magnitude > 0x7F800000u ? "NaN" : negative ? "-Infinity" : "Infinity";
    std::memcpy(out + 1, text, std::strlen(text));
    return;
  }
  if (magnitude == 0) {
    std::memcpy(out + 2, "0.0000000E+00", 13);
    return;
  }
  const bool fixed = magnitude >= kFixedLow && magnitude <= kFixedHigh;
  const int digits = fixed ? 7 : 8;
  char text[32];  // d.ddddddde-XX
  const char* end = std::to_chars(text, text + sizeof text, std::bit_cast<float>(magnitude),
                                  std::chars_format::scientific, digits - 1)
                        .ptr;
  int e = 0;
  for (const char* q = text + digits + 3; q < end; ++q) e = e * 10 + (*q - '0');
  if (text[digits + 2] == '-') e = -e;
  if (!fixed) {
    out[1] = negative ? '-' : ' ';
    std::memcpy(out + 2, text, 9);
    const int a = e < 0 ? -e : e;
    out[11] = 'E';
    out[12] = e < 0 ? '-' : '+';
    out[13] = static_cast<char>('0' + a / 10);
    out[14] = static_cast<char>('0' + a % 10);
    return;
  }
  // Fixed: the 7 digits with the point after k = e + 1 of them.
  char plain[7] = {text[0], text[2], text[3], text[4], text[5], text[6], text[7]};
  char line[12];
  int n = 0;
  if (negative) line[n++] = '-';
  if (e < 0) line[n++] = '0';
  for (int i = 0; i < 7; ++i) {
    if (i == e + 1 || (e < 0 && i == 0)) line[n++] = '.';
    line[n++] = plain[i];
  }
  if (e == 6) line[n++] = '.';
  std::memcpy(out + 11 - n, line, static_cast<size_t>(n));
}

bool ReadAll(const char* name, std::string* out) {
  int fd = open(name, O_RDONLY);
  if (fd < 0) return false;
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Counts the records that hold anything but blanks, reading in 8 KiB blocks.
long CountRecords(const char* name) {
  int fd = open(name, O_RDONLY);
  if (fd < 0) return -1;
  char buf[8192];
  long count = 0;
  bool seen = false;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') {
        count += seen;
        seen = false;
      } else if (!IsBlank(buf[i])) {
        seen = true;
      }
    }
  }
  close(fd);
  return count + seen;
}

}  // namespace

int main(int argc, char** argv) {
  const bool blocks = argc > 1 && std::strcmp(argv[1], "block") == 0;
  const long count = CountRecords("deformacia.txt");
  std::string text;
  if (count < 0 || !ReadAll("deformacia.txt", &text)) return 1;
  std::vector<float> values(static_cast<size_t>(count));
  const char* p = text.data();
  const char* end = p + text.size();
  for (long i = 0; i < count && p < end; ++i) {
    while (p < end && (IsBlank(*p) || *p == '\n')) ++p;
    auto r = std::from_chars(p, end, values[static_cast<size_t>(i)]);
    p = r.ptr;
  }
  int fd = open("output.txt", O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return 1;
  char out[8192 + 32];
  size_t used = 0;
  for (long i = 0; i < count; ++i) {
    LibraryField(values[static_cast<size_t>(i)], out + used);
    LibraryField(values[static_cast<size_t>(i)], out + used + 15);
    out[used + 30] = '\r';
    out[used + 31] = '\n';
    used += 32;
    if (!blocks || used + 32 > 8192) {
      if (write(fd, out, used) != static_cast<ssize_t>(used)) return 1;
      used = 0;
    }
  }
  if (used && write(fd, out, used) != static_cast<ssize_t>(used)) return 1;
  close(fd);
  std::printf(" floor %ld\n", count);
  return 0;
}
