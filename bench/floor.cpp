// The floor of the benchmarks: only the work that the file formats demand of
// any implementation. It reads "deformacia.txt" twice (count the records that
// hold a value, then parse every value), formats two 15-character fields per
// entry and writes the records of "output.txt".
//
//   hysteresis_floor record   one write per 32-byte record
//   hysteresis_floor block    8 KiB blocks
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "textout/realtext.h"

namespace {

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
    uint32_t bits;
    std::memcpy(&bits, &values[static_cast<size_t>(i)], 4);
    RealText::to_list_field(bits, out + used);
    RealText::to_list_field(bits, out + used + 15);
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
