// The list-directed field of a single-precision value: classified from its bits,
// then fixed or exponent form with correctly rounded digits from exact integer arithmetic.
#include "textout/realtext.h"

#include <array>
#include <bit>
#include <cstring>

namespace RealText {
namespace {

using u128 = unsigned __int128;
// The digits are formed in a word and stored with its lowest byte first.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t kSignBit = 0x80000000u;
constexpr uint32_t kExponentAll = 0x7F800000u;  // exponent field 255
constexpr int kFixedTextWidth = 11;             // the fixed text, right-justified
constexpr int kMaxDigits = 9;

template <size_t N>
constexpr std::array<u128, N> Powers(unsigned base) {
  std::array<u128, N> p{};
  p[0] = 1;
  for (size_t i = 1; i < N; ++i) p[i] = p[i - 1] * base;
  return p;
}
// 5^0..5^55 and 10^0..10^38: the largest of each still below 2^128.
constexpr std::array<u128, 56> kPow5 = Powers<56>(5);
constexpr std::array<u128, 39> kPow10 = Powers<39>(10);

// Where the exact scaled value lies between its integer part q and q + 1.
enum class Rest { kZero, kBelowHalf, kHalf, kAboveHalf };

struct Scaled {
  uint64_t q;  // the integer part
  Rest rest;
};

// The rest from the bit worth one half and whether any bit below it is set.
constexpr Rest RestOf(bool half_bit, bool below) {
  if (half_bit) return below ? Rest::kAboveHalf : Rest::kHalf;
  return below ? Rest::kBelowHalf : Rest::kZero;
}

// m x 2^e2 x 10^s for s >= 0, as m x 5^s (up to 152 bits: hi x 2^64 + lo)
// shifted by s + e2. The caller keeps the integer part below 2^34.
constexpr Scaled ScaleUp(uint32_t m, int e2, int s) {
  const u128 p = kPow5[static_cast<size_t>(s)];
  const u128 low = u128{m} * static_cast<uint64_t>(p);
  const uint64_t lo = static_cast<uint64_t>(low);
  const u128 hi = (low >> 64) + u128{m} * static_cast<uint64_t>(p >> 64);
  const int shift = s + e2;
  if (shift >= 0) return {lo << shift, Rest::kZero};  // an integer: hi is 0 here
  const int t = -shift;
  const int h = t - 1;  // the bit worth one half
  Scaled r{};
  r.q = t >= 64 ? static_cast<uint64_t>(hi >> (t - 64))
                : static_cast<uint64_t>(((hi << 64) | lo) >> t);
  if (h >= 64) {
    const u128 below_mask = (u128{1} << (h - 64)) - 1;
    r.rest = RestOf(((hi >> (h - 64)) & 1) != 0, lo != 0 || (hi & below_mask) != 0);
  } else {
    r.rest = RestOf(((lo >> h) & 1) != 0, (lo & ((uint64_t{1} << h) - 1)) != 0);
  }
  return r;
}

// m x 2^e2 / 10^j for j >= 1: an integer (below 2^128, or m alone when e2
// is negative, which happens for fewer than 7 digits) divided by a power of
// ten (times 2^-e2), in 64 bits when both fit.
constexpr Scaled ScaleDown(uint32_t m, int e2, int j) {
  const u128 v = u128{m} << (e2 > 0 ? e2 : 0);
  const u128 p = kPow10[static_cast<size_t>(j)] << (e2 < 0 ? -e2 : 0);
  u128 q = 0, rem = 0;
  if ((v >> 64) == 0 && (p >> 64) == 0) {
    q = static_cast<uint64_t>(v) / static_cast<uint64_t>(p);
    rem = static_cast<uint64_t>(v) % static_cast<uint64_t>(p);
  } else {
    q = v / p;
    rem = v % p;
  }
  Rest rest = Rest::kZero;
  if (rem != 0) {
    const u128 twice = rem * 2;
    rest = twice < p ? Rest::kBelowHalf : twice == p ? Rest::kHalf : Rest::kAboveHalf;
  }
  return {static_cast<uint64_t>(q), rest};
}

// A magnitude rounded to n significant digits: the value is
// digits x 10^(k - n) with 10^(n-1) <= digits < 10^n.
struct Rounded {
  uint64_t digits;
  int k;
};

// The significand and the binary exponent of a finite nonzero magnitude:
// the value is m x 2^e2.
struct Binary {
  uint32_t m;
  int e2;
};
constexpr Binary BinaryOf(uint32_t magnitude) {
  const uint32_t field = magnitude >> 23;
  const uint32_t fraction = magnitude & 0x7FFFFFu;
  if (field == 0) return {fraction, -149};
  return {fraction | 0x800000u, static_cast<int>(field) - 150};
}

// floor(log2 v) x log10 2, rounded down, plus one: the decade k of the value
// (10^(k-1) <= v < 10^k) or the one below it.
constexpr int DecadeEstimate(Binary b) {
  const int e_bin = static_cast<int>(std::bit_width(b.m)) - 1 + b.e2;
  return ((e_bin * 78913) >> 18) + 1;
}

// Rounds the finite nonzero magnitude to n (1..9) significant digits,
// nearest, ties to even, exactly, for any magnitude.
constexpr Rounded RoundExact(uint32_t magnitude, int n) {
  const Binary b = BinaryOf(magnitude);
  int k = DecadeEstimate(b);  // the decade or the one below: one digit too many
  const int s = n - k;
  Scaled x = s >= 0 ? ScaleUp(b.m, b.e2, s) : ScaleDown(b.m, b.e2, -s);
  const uint64_t limit = static_cast<uint64_t>(kPow10[static_cast<size_t>(n)]);
  if (x.q >= limit) {
    // One digit too many: the last one joins the rest.
    const uint64_t digit = x.q % 10;
    x.q /= 10;
    ++k;
    if (digit == 5) x.rest = x.rest == Rest::kZero ? Rest::kHalf : Rest::kAboveHalf;
    else if (digit > 5) x.rest = Rest::kAboveHalf;
    else if (digit > 0 || x.rest != Rest::kZero) x.rest = Rest::kBelowHalf;
  }
  const bool up = x.rest == Rest::kAboveHalf || (x.rest == Rest::kHalf && (x.q & 1) != 0);
  x.q += up;
  if (x.q == limit) {  // rounded into the next decade
    x.q = limit / 10;
    ++k;
  }
  return {x.q, k};
}

// The lowest magnitude of each decade: kDecadeStart[k + kDecadeBias] is the
// bit pattern of the least binary32 value >= 10^k (infinity's when there is
// none), for every k that DecadeEstimate gives. Bit patterns of magnitudes
// order as their values, so one comparison settles the decade.
constexpr int kDecadeBias = 44;
constexpr int kDecades = 84;  // DecadeEstimate is -44..39 for finite values

// The first magnitude whose value is at least 10^k, by bisection on the
// exact decade of one-digit rounding's unrounded scaling.
constexpr uint32_t LeastAtLeast(int k) {
  uint32_t lo = 1, hi = kExponentAll;  // the answer lies in lo..hi
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const Binary b = BinaryOf(mid);
    const int estimate = DecadeEstimate(b);
    // The decade is estimate + 1 when the value, scaled to one digit below
    // the estimate's decade, has two digits.
    const int s = 1 - estimate;
    const uint64_t q = s >= 0 ? ScaleUp(b.m, b.e2, s).q : ScaleDown(b.m, b.e2, -s).q;
    const int decade = estimate + (q >= 10 ? 1 : 0);
    if (decade > k) hi = mid;  // 10^(decade-1) <= value: value >= 10^k
    else lo = mid + 1;
  }
  return lo;
}

constexpr std::array<uint32_t, kDecades> DecadeStarts() {
  std::array<uint32_t, kDecades> starts{};
  for (int i = 0; i < kDecades; ++i) starts[static_cast<size_t>(i)] = LeastAtLeast(i - kDecadeBias);
  return starts;
}
constexpr std::array<uint32_t, kDecades> kDecadeStart = DecadeStarts();

// 5^0..5^17: m x 5^s stays below 2^64 for every significand m.
constexpr int kMaxShortScale = 17;
constexpr std::array<uint64_t, kMaxShortScale + 1> kPow5Short = [] {
  std::array<uint64_t, kMaxShortScale + 1> p{};
  for (size_t i = 0; i <= kMaxShortScale; ++i) p[i] = static_cast<uint64_t>(kPow5[i]);
  return p;
}();

// RoundExact, in 64 bits without a correction step where the decade allows:
// the decade from kDecadeStart, then v x 10^s = m x 5^s x 2^(s + e2) with
// m x 5^s in one word, its integer part and its rest (the bits shifted out,
// kept at the top of a word) from two shifts, and the rounding without a
// branch. Other decades take RoundExact.
inline Rounded Round(uint32_t magnitude, int n) {
  const Binary b = BinaryOf(magnitude);
  const int estimate = DecadeEstimate(b);
  const int slot = estimate + kDecadeBias;
  const int k = estimate + (magnitude >= kDecadeStart[static_cast<size_t>(slot)]);
  const int s = n - k;
  if (s < 0 || s > kMaxShortScale) return RoundExact(magnitude, n);
  const uint64_t product = b.m * kPow5Short[static_cast<size_t>(s)];
  const int shift = s + b.e2;
  if (shift >= 0) return {product << shift, k};  // an integer below 10^n
  // 10^(n-1) <= product x 2^shift < 2^64 x 2^shift, so 0 < -shift < 64.
  const int t = -shift;
  uint64_t q = product >> t;
  const uint64_t rest = product << (64 - t);
  constexpr uint64_t kHalf = uint64_t{1} << 63;
  // Up when the rest is above one half, or exactly one half and q is odd:
  // rest is even (t < 64), so rest + 1 does not wrap. One comparison, which
  // a random last bit does not turn into a mispredicted branch.
  q += static_cast<uint64_t>(rest + (q & 1) > kHalf);
  const uint64_t limit = static_cast<uint64_t>(kPow10[static_cast<size_t>(n)]);
  if (q == limit) return {limit / 10, k + 1};  // rounded into the next decade
  return {q, k};
}

// The eight decimal digits of x (below 10^8) as ASCII in one word, the most
// significant in the lowest byte: two halves of four, then pairs, then
// single digits, each split done in all lanes at once.
uint64_t EightDigits(uint32_t x) {
  uint64_t v = (x / 10000) | (uint64_t{x % 10000} << 32);
  uint64_t q = ((v * 10486) >> 20) & 0x0000007F0000007Full;  // / 100 in each 32-bit lane
  v = q | ((v - q * 100) << 16);
  q = ((v * 103) >> 10) & 0x000F000F000F000Full;  // / 10 in each 16-bit lane
  v = q | ((v - q * 10) << 8);
  return v + 0x3030303030303030ull;
}

// The character before a number: '-' or the blank that is already there,
// stored either way so that a random sign costs no mispredicted branch.
inline char SignOrBlank(bool negative) { return static_cast<char>(' ' + negative * ('-' - ' ')); }

// Fixed form: the 7 digits with the point after k of them (0.ddddddd for
// k = 0), right-justified in 11 positions; the 4 blanks behind stay.
void WriteFixed(uint32_t magnitude, bool negative, char* out) {
  const Rounded r = Round(magnitude, 7);
  const uint64_t digits = EightDigits(static_cast<uint32_t>(r.digits)) >> 8;  // 7 digits
  if (r.k <= 0) {
    std::memcpy(out + 4, &digits, 7);
    out[2] = '0';
    out[3] = '.';
    out[1] = SignOrBlank(negative);
    return;
  }
  // k is 1..7: the point goes in after the first k digits, in the word.
  const int lead_bits = 8 * r.k;
  const uint64_t lead_mask = (uint64_t{1} << lead_bits) - 1;
  const uint64_t text =
      (digits & lead_mask) | (uint64_t{'.'} << lead_bits) | ((digits & ~lead_mask) << 8);
  std::memcpy(out + kFixedTextWidth - 8, &text, 8);
  out[kFixedTextWidth - 9] = SignOrBlank(negative);
}

// Exponent form: d.dddddddE+XX with 8 significant digits, right-justified in
// the whole field.
void WriteExponent(uint32_t magnitude, bool negative, char* out) {
  const Rounded r = Round(magnitude, 8);
  const uint64_t digits = EightDigits(static_cast<uint32_t>(r.digits));
  std::memcpy(out + 3, &digits, 8);
  out[2] = out[3];
  out[3] = '.';
  out[1] = SignOrBlank(negative);
  const int e = r.k - 1;
  const int abs_e = e < 0 ? -e : e;
  out[11] = 'E';
  out[12] = e < 0 ? '-' : '+';
  out[13] = static_cast<char>('0' + abs_e / 10);
  out[14] = static_cast<char>('0' + abs_e % 10);
}

}  // namespace

RoundedDigits round_digits(uint32_t magnitude_bits, int n) {
  if (n < 1) n = 1;
  if (n > kMaxDigits) n = kMaxDigits;
  Rounded r = Round(magnitude_bits & ~kSignBit, n);
  RoundedDigits out{};
  for (int i = n - 1; i >= 0; --i, r.digits /= 10)
    out.digits[i] = static_cast<char>('0' + r.digits % 10);
  out.k = r.k;
  return out;
}

void to_list_field(uint32_t bits, char* out) {
  std::memset(out, ' ', kFieldWidth);
  const bool negative = (bits & kSignBit) != 0;
  const uint32_t magnitude = bits & ~kSignBit;
  if (magnitude > kExponentAll) {
    std::memcpy(out + 1, "NaN", 3);
  } else if (magnitude == kExponentAll) {
    if (negative) std::memcpy(out + 1, "-Infinity", 9);
    else std::memcpy(out + 1, "Infinity", 8);
  } else if (magnitude == 0) {
    std::memcpy(out + 2, "0.0000000E+00", 13);
  } else if (magnitude >= kFixedLowBits && magnitude <= kFixedHighBits) {
    WriteFixed(magnitude, negative, out);
  } else {
    WriteExponent(magnitude, negative, out);
  }
}

}  // namespace RealText
