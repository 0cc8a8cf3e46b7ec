// How the records of a unit end (the RECORDTYPE words) and how its first
// character is taken (carriage control).
#pragma once
#include <cstdint>

// How records end (the RECORDTYPE words).
enum RecordType : uint8_t {
  kRecFixed = 1,
  kRecVariable = 2,
  kRecSegmented = 3,
  kRecUnformattedSeq = 4,
  kRecStream = 5,
  kRecStreamLF = 6,
  kRecStreamCR = 7,
  kRecStreamCRLF = 8,
};

enum CarriageControl : uint8_t { kCcFirstChar = 1, kCcList = 2, kCcNone = 3 };
