// List values to elements: a plain decimal by the plain-decimal conversion,
// every other number by the full conversion, integers truncated from double.
#include "textin/listassign.h"

#include <cstdint>
#include <cstring>

#include "runtime/items.h"
#include "runtime/msg.h"
#include "textin/decimal.h"
#include "textin/number.h"

namespace ListAssign {
namespace {

// A double truncated toward zero; outside the 32-bit range, or NaN, gives
// the most negative value.
int32_t TruncateToInt32(double d) {
  if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(d);
}

// A REAL(4) element. Returns 0 or 64.
int AssignReal(const ListScanState& st, void* elem) {
  float f = 0;
  // The token's verdict again, from its text (which may have moved to the
  // work buffer since it was scanned): the same, as the scanner sees the
  // same bytes.
  const char* const end = st.token_text + st.token_len;
  if ((st.value_flags & kValPlainDecimal) &&
      PlainTokenToSingle(st.token_text, ScanNumberToken(st.token_text, end, end), end, &f)) {
    std::memcpy(elem, &f, sizeof f);
    return 0;
  }
  // A list value carries no implied decimal digits.
  int status = TextToSingle(st.token_text, st.token_len, 0, 0, kListRealOptions, &f);
  std::memcpy(elem, &f, sizeof f);
  return status == kRealOk ? 0 : Code(Msg::kConversion);
}

// An INTEGER(4) element: digits directly, any other number through double.
// Returns 0 or 64.
int AssignInteger(const ListScanState& st, void* elem) {
  int32_t v = 0;
  if (st.value_flags & kValIntegerLooking) {
    int status = TextToInteger(st.token_text, st.token_len, kListIntOptions, &v);
    std::memcpy(elem, &v, sizeof v);
    return status == kIntOk ? 0 : Code(Msg::kConversion);
  }
  double d = 0;
  if (TextToDouble(st.token_text, st.token_len, 0, 0, kListRealOptions, &d) != kRealOk)
    return Code(Msg::kConversion);
  v = TruncateToInt32(d);
  std::memcpy(elem, &v, sizeof v);
  return 0;
}

}  // namespace

int Assign(const ListScanState& st, int type, void* elem) {
  if (st.value_flags & kValNull) return 0;
  if (!(st.value_flags & kValNumeric)) return Code(Msg::kConversion);
  // An item without storage: the value's syntax was checked, nothing is converted.
  if (elem == nullptr) return type == kTypeReal4 || type == kTypeInt32 ? 0 : Code(Msg::kConversion);
  if (type == kTypeReal4) return AssignReal(st, elem);
  if (type == kTypeInt32) return AssignInteger(st, elem);
  return Code(Msg::kConversion);
}

}  // namespace ListAssign
