// Records of two REAL(4) fields laid out one after the other, for a writer
// that hands them to the unit in runs or a thread that forms them ahead.
#include "textout/pairtext.h"

#include <cstring>

namespace PairText {
namespace {

template <int kTermLength>
void FormWith(const float* x, const float* y, int64_t count, const char* term, char* out) {
  constexpr int kStride = kFieldsWidth + kTermLength;
  for (int64_t j = 0; j < count; ++j, out += kStride) {
    uint32_t bits[2];
    std::memcpy(&bits[0], &x[j], sizeof bits[0]);
    std::memcpy(&bits[1], &y[j], sizeof bits[1]);
    RealText::to_list_field(bits[0], out);
    RealText::to_list_field(bits[1], out + RealText::kFieldWidth);
    if constexpr (kTermLength > 0) std::memcpy(out + kFieldsWidth, term, kTermLength);
  }
}

}  // namespace

void form(const float* x, const float* y, int64_t count, const char* term, int term_length,
          char* out) {
  switch (term_length) {
    case 2: FormWith<2>(x, y, count, term, out); break;
    case 1: FormWith<1>(x, y, count, term, out); break;
    default: FormWith<0>(x, y, count, term, out); break;
  }
}

}  // namespace PairText
