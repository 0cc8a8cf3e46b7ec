// Tests of the number token scanner: a table of tokens and its verdict, the
// same whether the token is decided in one block or byte by byte.
#include "textin/numbertoken.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct TokenCase {
  const char* text;  // the token and what follows it in the record
  TokenKind kind;
  int end;       // offset of NumberToken::end (not checked for kBad)
  int point;     // offset of the decimal point, -1 for none
  int exponent;  // offset of the exponent letter, -1 for none
};

constexpr TokenKind kPlain = TokenKind::kPlain, kGeneral = TokenKind::kGeneral,
                    kRepeat = TokenKind::kRepeat, kBad = TokenKind::kBad;

const TokenCase kCases[] = {
    {"1", kPlain, 1, -1, -1},
    {"-12.5", kPlain, 5, 3, -1},
    {"+.5", kPlain, 3, 1, -1},
    {"7.", kPlain, 2, 1, -1},
    {"1e5", kPlain, 3, -1, 1},
    {"1E-05", kPlain, 5, -1, 1},
    {"-.5e+3", kPlain, 6, 1, 3},
    {"2.5 7", kPlain, 3, 1, -1},
    {"2.5,7", kPlain, 3, 1, -1},
    {"2.5/", kPlain, 3, 1, -1},
    {"2.5)", kPlain, 3, 1, -1},
    {"2.5\t", kPlain, 3, 1, -1},
    {"1234567890123456789", kPlain, 19, -1, -1},
    {"-123456789.12345678", kPlain, 19, 10, -1},
    {"12345678901234567890", kGeneral, 20, -1, -1},
    {"1.0000000000000000000000000000001e-3 ", kGeneral, 36, 1, 33},
    {"1.5d3", kGeneral, 5, 1, 3},
    {"1.5Q3", kGeneral, 5, 1, 3},
    {"1.5+3", kGeneral, 5, 1, -1},
    {"1e5.0", kGeneral, 5, 3, 1},
    {"inf", kGeneral, 3, -1, -1},
    {"-Infinity,", kGeneral, 9, -1, -1},
    {"NaN)", kGeneral, 3, -1, -1},
    {"3*", kRepeat, 1, -1, -1},
    {"3*2.5", kRepeat, 1, -1, -1},
    {"*5", kRepeat, 0, -1, -1},
    {".", kBad, 0, -1, -1},
    {"+", kBad, 0, -1, -1},
    {"-,", kBad, 0, -1, -1},
    {"1E", kGeneral, 2, -1, 1},  // an empty exponent is zero
    {"1.5e+ ", kBad, 0, -1, -1},
    {"1..2", kBad, 0, -1, -1},
    {"1e5e5", kBad, 0, -1, -1},
    {"--1", kBad, 0, -1, -1},
    {"1x", kBad, 0, -1, -1},
    {"1.5'", kBad, 0, -1, -1},
    {"1in", kBad, 0, -1, -1},
    {"1..2*3", kBad, 0, -1, -1},  // the first fault decides
};

void ExpectVerdict(const TokenCase& c, const char* start, const NumberToken& got) {
  EXPECT_EQ(static_cast<int>(got.kind), static_cast<int>(c.kind));
  if (c.kind == kBad) return;
  EXPECT_EQ(got.end - start, c.end);
  EXPECT_EQ(got.point == nullptr ? -1 : got.point - start, c.point);
  EXPECT_EQ(got.exponent == nullptr ? -1 : got.exponent - start, c.exponent);
}

TEST(NumberToken, VerdictsByBlockAndByteAgree) {
  for (const TokenCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const size_t n = std::strlen(c.text);
    // Byte by byte: a heap copy of exactly the record (a read past its end
    // shows under the address sanitizer), nothing readable beyond it.
    std::unique_ptr<char[]> exact(new char[n]);
    std::memcpy(exact.get(), c.text, n);
    ExpectVerdict(c, exact.get(), ScanNumberToken(exact.get(), exact.get() + n, exact.get() + n));
    // In a buffer with room to read blocks; the bytes after the record end
    // are digits, which must not count.
    std::string padded = std::string(c.text) + std::string(48, '5');
    ExpectVerdict(c, padded.data(),
                  ScanNumberToken(padded.data(), padded.data() + n, padded.data() + padded.size()));
  }
}

}  // namespace
