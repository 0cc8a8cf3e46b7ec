// Placeholder: replaced by the field conversion.
#include "textout/realtext.h"
#include <cstring>
namespace RealText {
void to_list_field(uint32_t, char* out) { std::memset(out, ' ', kFieldWidth); }
RoundedDigits round_digits(uint32_t, int) { return {}; }
}
