// Scratch files and unit connection for the fuzz targets.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/items.h"
#include "runtime/statement.h"
#include "runtime/units.h"

namespace fuzzfiles {

// Writes the input to a file of this process in the temporary directory.
inline std::string ScratchFile(const char* tag, const uint8_t* data, size_t size) {
  const std::string path =
      "/tmp/hysteresis-fuzz-" + std::string(tag) + "-" + std::to_string(getpid()) + ".txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

// Connects `unit` to `path` with status UNKNOWN, failures returned.
inline bool Connect(int unit, const std::string& path) {
  return ConnectNamedFile(unit, kErrStatusWanted, path.c_str(),
                          static_cast<int32_t>(path.size())) == 0;
}

}  // namespace fuzzfiles
