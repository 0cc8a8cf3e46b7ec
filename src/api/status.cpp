// The texts of the library's statuses and its version.
#include "hysteresis/hysteresis.h"

const char* hys_status_text(int status) {
  switch (status) {
    case HYS_OK: return "success";
    case HYS_E_NULL: return "a required pointer is null";
    case HYS_E_COUNT: return "the number of backbone segments is out of range";
    case HYS_E_NOT_FINITE: return "a backbone value is not finite";
    case HYS_E_ORIGIN: return "the backbone does not start at the origin";
    case HYS_E_STRAIN_ORDER: return "the backbone strains are not strictly increasing";
    case HYS_E_STRESS_ORDER:
      return "the backbone stresses fall, or the first segment is not rising";
    case HYS_E_RANGE:
      return "a backbone slope or twice a backbone value is out of single-precision range";
    case HYS_E_MEMORY: return "not enough memory";
    case HYS_E_MATERIAL: return "invalid material constants";
    case HYS_E_ARGUMENT: return "an argument is out of range";
    default: return "unknown status";
  }
}

const char* hys_version(void) { return HYSTERESIS_VERSION; }
