// Environment look-up through the C library.
#include "runtime/platform/env.h"

#include <cstdlib>

namespace Sys {

const char* GetEnv(const char* name) { return std::getenv(name); }

bool SwitchIsOn(const char* value) {
  if (!value || !*value) return false;
  char c = value[0];
  if (c == 't' || c == 'T' || c == 'y' || c == 'Y') return true;
  bool nonzero = false;
  for (const char* p = value; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    if (*p != '0') nonzero = true;
  }
  return nonzero;
}

bool EnvSwitch(const char* name) { return SwitchIsOn(GetEnv(name)); }

}  // namespace Sys
