// Streaming reader of path files: chunks of the file through the platform
// layer, records cut at line feeds, fields converted with std::from_chars.
#include "life/pathfile.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "runtime/platform/file.h"

namespace Life {

namespace {

constexpr size_t kFieldWidth = 15;
constexpr size_t kRecordWidth = 2 * kFieldWidth;
constexpr size_t kChunk = 1 << 20;

std::string SystemText(int error) {
  char text[256];
  Sys::ErrorText(error, text, sizeof text);
  return text;
}

// Checks and converts one record (line end removed). Returns "" or the reason.
std::string TakeRecord(std::string_view record, PathTake take, void* context) {
  if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
  if (record.size() != kRecordWidth) {
    return "is not two 15-character fields (" + std::to_string(record.size()) + " characters)";
  }
  double strain = 0, stress = 0;
  if (!ParsePathField(record.substr(0, kFieldWidth), strain)) {
    return "has no strain in columns 1-15";
  }
  if (!ParsePathField(record.substr(kFieldWidth), stress)) {
    return "has no stress in columns 16-30";
  }
  take(strain, stress, context);
  return "";
}

}  // namespace

bool ParsePathField(std::string_view field, double& value) {
  if (field.size() != kFieldWidth || field[0] != ' ') return false;
  const size_t first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) return false;
  const size_t last = field.find_last_not_of(' ');
  const char* begin = field.data() + first;
  const char* end = field.data() + last + 1;
  if (*begin == '+') return false;  // never written; from_chars would refuse it anyway
  auto [p, ec] = std::from_chars(begin, end, value);
  // An overflowing value is out of range for the single precision written.
  return ec == std::errc() && p == end;
}

int64_t ReadPathFile(const std::string& path, PathTake take, void* context, std::string& error) {
  int fd = -1;
  if (const int e = Sys::Open(path.c_str(), Sys::kOpenRead, &fd)) {
    error = path + ": cannot be opened (" + SystemText(e) + ")";
    return -1;
  }
  std::vector<char> buf(kChunk + 64);
  size_t held = 0;  // bytes of an unfinished record at the start of buf
  int64_t records = 0;
  std::string why;
  bool read_failed = false;  // a fault of the file, not of a record
  for (bool at_end = false; !at_end && why.empty();) {
    size_t got = 0;
    if (const int e = Sys::Read(fd, buf.data() + held, kChunk, &got)) {
      why = "cannot be read (" + SystemText(e) + ")";
      read_failed = true;
      break;
    }
    at_end = got == 0;
    const char* p = buf.data();
    const char* end = buf.data() + held + got;
    while (why.empty()) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
      if (nl == nullptr) break;
      ++records;
      why = TakeRecord(std::string_view(p, nl - p), take, context);
      p = nl + 1;
    }
    held = end - p;
    if (!why.empty()) break;
    if (at_end && held > 0) {
      ++records;
      why = TakeRecord(std::string_view(p, held), take, context);
    } else if (held > 64) {
      ++records;
      why = "is not two 15-character fields (no line end within 64 characters)";
    }
    std::memmove(buf.data(), p, held);
  }
  Sys::Close(fd);
  if (why.empty() && records == 0) {
    why = "holds no record";
    read_failed = true;
  }
  if (why.empty()) return records;
  const std::string where = read_failed ? "" : ", record " + std::to_string(records);
  error = path + where + ": " + why;
  return -1;
}

}  // namespace Life
