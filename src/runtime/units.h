// Units: the table from unit number to UnitBlock, connection of a unit to a
// file, record output, rewinding and the closing of every unit at the end.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "runtime/recordtype.h"

// Unit flags (UnitBlock::flags).
enum UnitFlag : uint32_t {
  kUnitConnected = 1u << 0,
  kUnitReadOnly = 1u << 1,
  kUnitWriteOnly = 1u << 2,
  kUnitFormatted = 1u << 3,
  kUnitSequential = 1u << 4,
  kUnitPreconnected = 1u << 5,
  kUnitEnvNamed = 1u << 6,
  kUnitDiskFile = 1u << 7,
  kUnitBuffered = 1u << 8,
  kUnitTruncateNext = 1u << 9,
  kUnitAppendPending = 1u << 10,
  kUnitShared = 1u << 11,
  kUnitLengthDefaulted = 1u << 12,
  kUnitDirect = 1u << 13,       // connected for direct access
  kUnitKeyed = 1u << 14,        // connected for keyed access
  kUnitUnformatted = 1u << 15,  // connected for unformatted transfers
  kUnitStdHandle = 1u << 16,    // the handle is one of descriptors 0, 1, 2
  kUnitConsole = 1u << 17,      // the handle is a character device
};

constexpr int kMaxFileName = 256;

// One unit. Pointers point into `buffer`; `record_start` is where the current
// input record (or output record being built) begins.
struct UnitBlock {
  char* buffer = nullptr;        // record buffer
  char* pos = nullptr;           // next byte to scan or to fill
  char* pending_end = nullptr;   // end of held output of a buffered unit; null when none
  char* record_start = nullptr;  // start of the current record
  char* record_end = nullptr;    // end of the current record (terminator excluded)
  char* readahead = nullptr;     // bytes read beyond the current record
  uint32_t readahead_len = 0;
  char* message_target = nullptr;  // status-message text variable of the statement
  int32_t message_target_len = 0;
  uint64_t record_counter = 0;  // number of the current record, from 1
  int64_t file_position = 0;    // byte offset after the last completed transfer
  int fd = -1;                  // system handle
  int last_error = 0;           // errno of the last failed system call on this unit
  int32_t allowance = 0;        // bytes reserved for one record with its terminator
  int32_t recl = 0;
  int32_t number = 0;
  int32_t capacity = 0;      // size of `buffer`
  int32_t write_chunk = 0;   // largest byte count of one system write
  int32_t device_kind = -1;  // -1 ordinary file
  uint16_t line_width = 0;   // list-directed output line width
  uint16_t name_len = 0;
  uint8_t record_type = 0;  // RecordType
  uint8_t organization = 1;
  uint8_t carriage_control = 0;  // CarriageControl
  uint8_t terminator = '\n';     // input record terminator byte
  uint32_t flags = 0;            // UnitFlag bits
  char name[kMaxFileName + 1] = {};
  // Locking: the statement in progress holds the unit; `owner` is the token
  // of its thread (see ThisThreadToken), 0 while the unit is free.
  std::atomic<uint32_t> owner{0};
  UnitBlock* next = nullptr;  // hash chain for numbers above 99
};

// Attribute codes of a connection request.
enum OpenAttrCode : uint8_t {
  kAttrAccess = 2,
  kAttrBlank = 6,
  kAttrCarriageControl = 8,
  kAttrDispose = 12,
  kAttrFile = 13,
  kAttrForm = 15,
  kAttrOrganization = 18,
  kAttrRecl = 21,
  kAttrRecordType = 23,
  kAttrStatus = 26,
  kAttrBlockSize = 50,
  kAttrBufferCount = 51,
  kAttrAction = 58,
  kAttrDelim = 59,
  kAttrPad = 60,
  kAttrPosition = 61,
  kAttrShare = 68,
  kAttrBuffered = 71,
};
enum OpenAttrForm : uint8_t { kFormValue = 1, kFormText = 4 };
enum OpenStatus : int32_t {
  kStatusOld = 1,
  kStatusNew = 2,
  kStatusScratch = 3,
  kStatusUnknown = 4,
  kStatusReplace = 5
};

// One attribute of a connection request; a list ends with type kTypeEnd (1).
// kFormValue: `value` holds the word's number (or the size); kFormText:
// `text`/`length` hold the word or the file name.
struct OpenAttr {
  uint8_t type;  // data-type code of the value (kTypeInt32 or kTypeChar), 1 ends
  uint8_t form;  // OpenAttrForm
  uint8_t code;  // OpenAttrCode
  int32_t value;
  const char* text;
  int32_t length;
};

// Finds (creating an empty entry if needed) and locks the unit of `number`.
// Returns 0 and sets *unit, or 32 (number below -5; *unit null), 40 (the
// calling thread already holds the unit; *unit is that unit, still held by the
// earlier statement) or 41 (no memory for a new entry; *unit null). Number -5
// gets a fresh private entry at every call.
int AcquireUnit(int number, UnitBlock** unit);

// Ends a statement on `unit`: releases its lock. Returns 0.
int ReleaseUnit(UnitBlock* unit);

// Implicit connection of a preconnected unit (the default output unit -1) at
// its first use. `unit` is acquired by the caller. Returns 0 or an error number.
int ConnectDefaultUnit(UnitBlock* unit);

// Puts the record [start, start + length) of the unit's buffer into its file,
// appending the terminator of the unit's record type in place (the buffer has
// room for it). Returns 0 or 38 (the system error is kept on the unit).
int PutRecord(UnitBlock* unit, char* start, size_t length);

// The terminator PutRecord appends to the unit's records: 0 to 2 bytes into
// `term`, their count returned.
int RecordTerminator(const UnitBlock* unit, char term[2]);

// Runs of records of a buffered unit without read-ahead and without
// truncation armed, each record `length` bytes with its terminator. A run
// ends with the first record after which PutRecord writes the held output:
// RecordsToNextWrite counts the records up to and including it, behind what
// the unit holds now.
size_t RecordsToNextWrite(const UnitBlock* unit, size_t length);

// Puts `count` (at most RecordsToNextWrite) records at the unit's record
// base (the end of its held output, else the buffer's start) exactly as
// PutRecord calls on them one after the other would: held, and the held
// output written in the same system writes when the run is whole. The
// records are laid out there already when `records` is null, else copied
// from `records` (or written from there, when they are all of the output).
// The buffer must hold `length` bytes behind its held output. Returns 0 or
// 38 (the system error is kept on the unit).
int PutRecordRun(UnitBlock* unit, const char* records, size_t length, size_t count);

// Rewinds the acquired `unit` (nothing for a unit not connected): held
// output is written, the position goes back to the first record. Returns 0,
// 38 (held output) or 20; the system error is kept on the unit.
int RewindAcquired(UnitBlock* unit);

// Closes every connected unit (program end) and removes the visited entries
// from the table; a unit whose lock another thread holds is skipped. A unit
// held by the calling thread is closed but keeps its entry. A failure to close
// (28, or 38 for held output) goes to `failed` (when given) with the unit,
// which still has its name and system error. It does not look at
// AnyUnitConnected: the exit processing decides whether to call it.
void CloseEveryUnit(void (*failed)(UnitBlock* unit, int error));

// True once a unit has been connected and until CloseAllUnits ran;
// ClearUnitsConnected returns the old value and clears it.
bool AnyUnitConnected();
bool ClearUnitsConnected();

// Start-up: creates the preconnected entries -4, -3, -2, -1, 0, 5, 6.
void CreatePreconnectedUnits();

// Start-up, before any file is connected: opens the null device on each of
// descriptors 0, 1 and 2 that is not open, so that no file a unit opens can
// become a standard stream. Returns false, with the unit the descriptor
// stands for (5, 6 or 0) in *failed_unit, when the null device cannot be had.
bool FillClosedStandardStreams(int* failed_unit);

// Start-up: reads the size variables of the environment once.
void ReadUnitSizeVariables();

// A nonzero token that identifies the calling thread for as long as the
// process lives (tokens are never reused).
uint32_t ThisThreadToken();

// Unit operations in progress on the calling thread: a held unit counts, as
// does a look-up or change of the unit table. A console event that
// interrupts the thread meanwhile is deferred: SetPendingAction(action) (safe
// in a signal handler) makes the thread run `action` as soon as its last unit
// operation ends; RunPendingAction runs it at once, if one is set, for a
// thread that cannot wait (a system call interrupted inside a statement).
bool UnitOperationInProgress();
void SetPendingAction(void (*action)());
void RunPendingAction();
// True when a deferred action waits for the end of the unit operations: a
// statement loop that keeps its unit between statements gives it up then.
bool PendingActionWaiting();

// Locking mode: 0 no locking, 1 and 2 locking (2: operating-system mutexes).
void SetLockingMode(int mode);

// Connects the acquired `unit` from the attribute list (resolution of the
// name, system open with its fallbacks, finishing). Returns 0 or the error
// number; on failure the unit is left half made, with its resolved name, for
// DiscardConnection (nothing is reported and the unit stays acquired).
int ConnectAcquired(UnitBlock* unit, const OpenAttr* attrs);

// Discards a failed or unwanted connection: closes the handle (never a
// standard one), frees the buffer, clears the name and every member but the
// number and the lock. Safe on a unit that holds nothing.
void DiscardConnection(UnitBlock* unit);

// Closes a connected unit with the default disposition (keep the file): held
// output is written, a handle other than a standard one is closed, buffers
// and name are released. Returns 0, 38 (held output could not be written) or
// 28 (the close failed); the system error is kept on the unit.
int CloseUnit(UnitBlock* unit);

// Writes the held output of a buffered unit. Returns 0 or 38.
int FlushUnit(UnitBlock* unit);

// Moves the unit's buffer, and every pointer into it, to a block of
// `capacity` bytes (a first block when it has none). Returns false, with
// nothing changed, when the block cannot be had.
bool GrowUnitBuffer(UnitBlock* unit, size_t capacity);
