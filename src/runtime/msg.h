// The message numbers of the run-time, named by what happened. Each number
// is also the exit status of its severe report and the status a statement
// returns for it, so the values never change.
#pragma once
#include <cstdint>

enum class Msg : uint16_t {
  kNone = 0,  // no failure

  // Statements and files.
  kInternalCheck = 8,
  kPermissionDenied = 9,
  kFileExists = 10,
  kGroupSyntax = 17,
  kTooManyValues = 18,
  kBadGroupReference = 19,
  kRewindFailed = 20,
  kEndOfFile = 24,
  kTooManyRecords = 27,  // taken as end of file by a statement's end status
  kCloseFailed = 28,
  kFileNotFound = 29,
  kOpenFailed = 30,
  kBadUnitNumber = 32,
  kWriteFailed = 38,
  kReadFailed = 39,
  kRecursiveIo = 40,
  kNoMemory = 41,
  kNoDevice = 42,
  kBadFileName = 43,
  kBadKeyword = 45,
  kReadOnly = 47,
  kBadAttrCode = 48,
  kListSyntax = 59,
  kConversion = 64,
  kRecordOverflow = 66,
  kNoBufferMemory = 98,
  kBadFmtRecl = 99,
  kBadBlockSize = 106,
  kBadBufferCount = 107,
  kSizeOverflow = 179,
  kUnformattedUnit = 257,
  kDirectUnit = 259,
  kEndOfRecord = 268,
  kEndOfFileAlso = 613,    // a second end-of-file number
  kEndOfRecordAlso = 758,  // a second end-of-record number

  // Floating-point exceptions and their counts at the end of the run.
  kFloatInvalid = 65,
  kFloatOverflow = 72,
  kFloatDivide = 73,
  kFloatUnderflow = 74,
  kFloatInexact = 140,
  kInexactCount = 296,
  kInvalidCount = 297,
  kOverflowCount = 298,
  kDivideCount = 299,
  kUnderflowCount = 300,

  // Environment variables.
  kBadEnvSyntax = 96,

  // Processor exceptions and console events.
  kAlreadyAllocated = 151,
  kAccessViolation = 157,
  kMisalignment = 158,
  kBreakpoint = 159,
  kSingleStep = 160,
  kBoundsExceeded = 161,
  kDenormalOperand = 162,
  kFloatStackCheck = 163,
  kIntDivide = 164,
  kIntOverflow = 165,
  kPrivilegedInstruction = 166,
  kInPageError = 167,
  kIllegalInstruction = 168,
  kNoncontinuable = 169,
  kStackOverflow = 170,
  kInvalidDisposition = 171,
  kOtherException = 172,
  kConsoleEvent = 200,

  // Rows the diagnostics use for themselves.
  kTracebackFirst = 404,  // 404..407 always get a traceback
  kTracebackLast = 407,
  kPrefixFirst = 450,  // 450..454: prefix of severity 0..4
  kPrefixWord = 455,   // the bare prefix word
  kNotFound = 500,
  kNoReportMemory = 502,
  kCaption = 505,
  kUnknownName = 513,
  kLinePosition = 514,
};

// The number of a message: its exit status and its statement status.
constexpr int Code(Msg m) { return static_cast<int>(m); }

// What a failed statement does with its unit before the report.
enum class Disposal : uint8_t {
  kKeep,     // nothing: the unit is not the statement's to give back
  kRelease,  // hand the unit back
  kDiscard,  // drop the failed connection, then hand the unit back
  kClose,    // close the unit, then hand it back
};
