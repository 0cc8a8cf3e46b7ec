// Environment look-up and the switch rule shared by every run-time variable.
#pragma once

namespace Sys {

// The value of environment variable `name`, or null when it is not set.
const char* GetEnv(const char* name);

// True when `value` begins with t, T, y or Y, or is all decimal digits with a
// non-zero value. Null or empty is false.
bool SwitchIsOn(const char* value);

// SwitchIsOn(GetEnv(name)).
bool EnvSwitch(const char* name);

}  // namespace Sys
