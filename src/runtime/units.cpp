// Units: the unit table and its locks, connection of a unit to a file (name
// resolution, system open with fallbacks, finishing), record output,
// rewinding and the closing of every unit at the end of the run.
#include "runtime/units.h"

#include <fcntl.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>

#include "runtime/items.h"
#include "runtime/msg.h"
#include "runtime/platform/file.h"
#include "runtime/platform/memory.h"
#include "runtime/unitenv.h"

namespace {

// Device kinds of the name check: -1 a file (the other device names of the
// check are opened as files of that name here), 0..2 a standard descriptor.
constexpr int kDeviceNone = -1;

constexpr int kDirectHigh = 99;
constexpr int kPrivateUnit = -5;
constexpr int kBuckets = 521;
constexpr int kDefaultRecl = 132;
constexpr int kDefaultLineWidth = 80;
constexpr int32_t kDefaultCapacityUnit = 8192;
constexpr int32_t kDefaultWriteChunk = 131072;

std::mutex g_table_lock;
std::atomic<UnitBlock*> g_direct[kDirectHigh + 6];  // index = number + 5
UnitBlock* g_buckets[kBuckets];                     // ascending chains
UnitBlock* g_private = nullptr;                     // connected units -5
std::atomic<bool> g_any_connected{false};
std::atomic<int> g_locking_mode{0};

// ---- Table ---------------------------------------------------------------

// A new empty entry, or null when memory cannot be had.
UnitBlock* NewUnit(int number) {
  void* mem = Sys::Allocate(sizeof(UnitBlock));
  if (!mem) return nullptr;
  UnitBlock* u = new (mem) UnitBlock();
  u->number = number;
  return u;
}

void FreeUnit(UnitBlock* u) {
  u->~UnitBlock();
  Sys::Release(u);
}

// ---- Unit operations and locks -------------------------------------------------

std::atomic<uint32_t> g_next_token{1};
thread_local uint32_t t_token = 0;
// Unit operations in progress on this thread; read by a signal handler that
// interrupts the thread, so every change is fenced against it.
thread_local int t_unit_depth = 0;
std::atomic<void (*)()> g_pending_action{nullptr};

void EnterUnitOperation() {
  ++t_unit_depth;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Ends a unit operation; the last one runs a deferred action.
void LeaveUnitOperation() {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  --t_unit_depth;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (t_unit_depth == 0 && g_pending_action.load(std::memory_order_relaxed) != nullptr)
    RunPendingAction();
}

// The table lock, taken as a unit operation.
struct TableGuard {
  TableGuard() {
    EnterUnitOperation();
    g_table_lock.lock();
  }
  ~TableGuard() {
    g_table_lock.unlock();
    LeaveUnitOperation();
  }
  TableGuard(const TableGuard&) = delete;
  TableGuard& operator=(const TableGuard&) = delete;
};

// Takes the unit's lock, waiting while another thread holds it.
void LockUnit(UnitBlock* u, uint32_t me) {
  uint32_t seen = 0;
  while (!u->owner.compare_exchange_weak(seen, me, std::memory_order_acquire,
                                         std::memory_order_relaxed)) {
    if (seen != 0) u->owner.wait(seen, std::memory_order_relaxed);
    seen = 0;
  }
}

// Takes the unit's lock when it is free. Returns whether it was taken.
bool TryLockUnit(UnitBlock* u) {
  uint32_t seen = 0;
  return u->owner.compare_exchange_strong(seen, ThisThreadToken(), std::memory_order_acquire,
                                          std::memory_order_relaxed);
}

void UnlockUnit(UnitBlock* u) {
  u->owner.store(0, std::memory_order_release);
  u->owner.notify_all();
}

bool HeldByMe(const UnitBlock* u) {
  return u->owner.load(std::memory_order_relaxed) == ThisThreadToken();
}

// FindOrCreate under the table lock: the entry of `number`, created when
// missing; null when no memory.
UnitBlock* FindOrCreateLocked(int number) {
  if (number <= kDirectHigh) {
    std::atomic<UnitBlock*>& slot = g_direct[number + 5];
    TableGuard guard;
    if (UnitBlock* u = slot.load(std::memory_order_relaxed)) return u;
    UnitBlock* u = NewUnit(number);
    if (u) slot.store(u, std::memory_order_release);
    return u;
  }
  TableGuard guard;
  UnitBlock** link = &g_buckets[(static_cast<int64_t>(number) + 5) % kBuckets];
  while (*link && (*link)->number < number) link = &(*link)->next;
  if (*link && (*link)->number == number) return *link;
  UnitBlock* u = NewUnit(number);
  if (!u) return nullptr;
  u->next = *link;
  *link = u;
  return u;
}

// The entry of `number` (-4 and above), created when missing; null when no
// memory. Small numbers that have an entry are found without a lock or a call.
inline UnitBlock* FindOrCreate(int number) {
  if (number <= kDirectHigh) {
    if (UnitBlock* u = g_direct[number + 5].load(std::memory_order_acquire)) return u;
  }
  return FindOrCreateLocked(number);
}

// ---- Connection request ------------------------------------------------------

// The decoded attribute list; 0 means "not given" for every word and size.
struct ConnectRequest {
  const char* file = nullptr;
  int32_t file_len = 0;
  bool file_given = false;
  int32_t access = 0, blank = 0, carriage_control = 0, dispose = 0, form = 0;
  int32_t organization = 0, recl = 0, record_type = 0, status = 0;
  int32_t block_size = 0, buffer_count = 0, action = 0, delim = 0, pad = 0;
  int32_t position = 0, share = 0, buffered = 0;
};

enum Access : int32_t {
  kAccessSequential = 1,
  kAccessDirect = 2,
  kAccessAppend = 3,
  kAccessKeyed = 4,
  kAccessStream = 5
};
enum Form : int32_t { kFormFormatted = 1, kFormUnformatted = 2, kFormBinary = 4 };
enum Action : int32_t { kActionRead = 1, kActionReadWrite = 2, kActionWrite = 3 };
enum Position : int32_t { kPositionAppend = 1, kPositionAsis = 2, kPositionRewind = 3 };
enum Buffered : int32_t { kBufferedNo = 1, kBufferedYes = 2 };

struct Word {
  const char* text;
  int32_t value;
};
struct WordList {
  uint8_t code;
  const Word* words;
  int count;
};

constexpr Word kAccessWords[] = {
    {"SEQUENTIAL", 1}, {"DIRECT", 2}, {"APPEND", 3}, {"KEYED", 4}, {"STREAM", 5}};
constexpr Word kBlankWords[] = {{"ZERO", 1}, {"NULL", 2}};
constexpr Word kCarriageWords[] = {{"FIRSTCHAR", 1}, {"LIST", 2}, {"NONE", 3}};
constexpr Word kDisposeWords[] = {{"KEEP", 1}, {"SAVE", 1}, {"DELETE", 2}};
constexpr Word kFormWords[] = {{"FORMATTED", 1}, {"UNFORMATTED", 2}, {"BINARY", 4}};
constexpr Word kOrganizationWords[] = {{"SEQUENTIAL", 1}, {"RELATIVE", 2}, {"INDEXED", 3}};
constexpr Word kRecordTypeWords[] = {{"FIXED", 1},      {"VARIABLE", 2},  {"SEGMENTED", 3},
                                     {"STREAM", 5},     {"STREAM_LF", 6}, {"STREAM_CR", 7},
                                     {"STREAM_CRLF", 8}};
constexpr Word kStatusWords[] = {
    {"OLD", 1}, {"NEW", 2}, {"SCRATCH", 3}, {"UNKNOWN", 4}, {"REPLACE", 5}};
constexpr Word kActionWords[] = {{"READ", 1}, {"READWRITE", 2}, {"WRITE", 3}};
constexpr Word kDelimWords[] = {{"APOSTROPHE", 1}, {"NONE", 2}, {"QUOTE", 3}};
constexpr Word kPadWords[] = {{"YES", 1}, {"NO", 2}};
constexpr Word kPositionWords[] = {{"APPEND", 1}, {"ASIS", 2}, {"REWIND", 3}};
constexpr Word kShareWords[] = {
    {"COMPAT", 1}, {"DENYNONE", 2}, {"DENYRD", 3}, {"DENYRW", 4}, {"DENYWR", 5}};
constexpr Word kBufferedWords[] = {{"NO", 1}, {"YES", 2}};

#define WORDS(code, list) \
  { (code), (list), static_cast<int>(sizeof(list) / sizeof((list)[0])) }
constexpr WordList kWordLists[] = {
    WORDS(kAttrAccess, kAccessWords),
    WORDS(kAttrBlank, kBlankWords),
    WORDS(kAttrCarriageControl, kCarriageWords),
    WORDS(kAttrDispose, kDisposeWords),
    WORDS(kAttrForm, kFormWords),
    WORDS(kAttrOrganization, kOrganizationWords),
    WORDS(kAttrRecordType, kRecordTypeWords),
    WORDS(kAttrStatus, kStatusWords),
    WORDS(kAttrAction, kActionWords),
    WORDS(kAttrDelim, kDelimWords),
    WORDS(kAttrPad, kPadWords),
    WORDS(kAttrPosition, kPositionWords),
    WORDS(kAttrShare, kShareWords),
    WORDS(kAttrBuffered, kBufferedWords),
};
#undef WORDS

const WordList* WordsOf(uint8_t code) {
  for (const WordList& w : kWordLists)
    if (w.code == code) return &w;
  return nullptr;
}

// The number of the word `text` (upper-cased, trailing blanks dropped), or 0.
int32_t LookUpWord(const WordList& list, const char* text, int32_t length) {
  while (length > 0 && text[length - 1] == ' ') --length;
  for (int i = 0; i < list.count; ++i) {
    const char* w = list.words[i].text;
    if (static_cast<int32_t>(std::strlen(w)) != length) continue;
    int32_t k = 0;
    while (k < length) {
      char c = text[k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != w[k]) break;
      ++k;
    }
    if (k == length) return list.words[i].value;
  }
  return 0;
}

bool IsListedValue(const WordList& list, int32_t value) {
  for (int i = 0; i < list.count; ++i)
    if (list.words[i].value == value) return true;
  return false;
}

int32_t* FieldOf(ConnectRequest& r, uint8_t code) {
  switch (code) {
    case kAttrAccess: return &r.access;
    case kAttrBlank: return &r.blank;
    case kAttrCarriageControl: return &r.carriage_control;
    case kAttrDispose: return &r.dispose;
    case kAttrForm: return &r.form;
    case kAttrOrganization: return &r.organization;
    case kAttrRecl: return &r.recl;
    case kAttrRecordType: return &r.record_type;
    case kAttrStatus: return &r.status;
    case kAttrBlockSize: return &r.block_size;
    case kAttrBufferCount: return &r.buffer_count;
    case kAttrAction: return &r.action;
    case kAttrDelim: return &r.delim;
    case kAttrPad: return &r.pad;
    case kAttrPosition: return &r.position;
    case kAttrShare: return &r.share;
    case kAttrBuffered: return &r.buffered;
    default: return nullptr;
  }
}

// Decodes one attribute into the request. Returns 0, 45 or 48.
int DecodeAttr(const OpenAttr& a, ConnectRequest* r) {
  if (a.code < 2 || a.code > 85) return Code(Msg::kBadAttrCode);
  if (a.code == kAttrFile) {
    if (a.form != kFormText || a.length < 0 || (a.length > 0 && !a.text))
      return Code(Msg::kBadKeyword);
    r->file = a.text;
    r->file_len = a.length;
    r->file_given = true;
    return 0;
  }
  int32_t* field = FieldOf(*r, a.code);
  if (!field) return 0;  // an attribute that does not change a text connection
  const WordList* words = WordsOf(a.code);
  if (!words) {  // a size: RECL, BLOCKSIZE, BUFFERCOUNT
    if (a.form != kFormValue || a.value <= 0) return Code(Msg::kBadKeyword);
    *field = a.value;
    return 0;
  }
  int32_t value = 0;
  if (a.form == kFormText)
    value = (a.length >= 0 && (a.length == 0 || a.text)) ? LookUpWord(*words, a.text, a.length) : 0;
  else if (IsListedValue(*words, a.value)) value = a.value;
  if (value == 0) return Code(Msg::kBadKeyword);
  *field = value;
  return 0;
}

// Decodes the attribute list up to its end item. Returns 0, 45 or 48.
int DecodeAttrs(const OpenAttr* attrs, ConnectRequest* r) {
  for (const OpenAttr* a = attrs; a && a->type != kTypeEnd; ++a)
    if (int e = DecodeAttr(*a, r)) return e;
  return 0;
}

// ---- Name resolution -------------------------------------------------------

bool EqualsIgnoringCase(const char* a, size_t n, const char* word) {
  if (std::strlen(word) != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  return true;
}

// Device kind of a trimmed name: 0, 1, 2 for the standard descriptors,
// kDeviceNone for a file.
int DeviceKind(const char* name, size_t n) {
  size_t base = n;
  for (size_t i = n; i > 0; --i)
    if (name[i - 1] == '.') {
      base = i - 1;
      break;
    }
  static const char* const kWithExtension[] = {"CON",  "COM1", "COM2", "COM3",
                                               "COM4", "PRN",  "NUL",  "AUX"};
  if (base + 1 < n) {  // a non-empty extension
    bool allowed = false;
    for (const char* d : kWithExtension) allowed = allowed || EqualsIgnoringCase(name, base, d);
    if (!allowed) return kDeviceNone;
  }
  static const struct {
    const char* name;
    int kind;
  } kDevices[] = {{"CON", 1},  {"CONOUT$", 1}, {"USER", 1}, {"CONIN$", 0}, {"ERR", 2},  {"COM1", 3},
                  {"AUX", 3},  {"LINE", 3},    {"PRN", 3},  {"COM2", 3},   {"COM3", 3}, {"COM4", 3},
                  {"LPT1", 3}, {"LPT2", 3},    {"LPT3", 3}, {"LPT4", 3},   {"NUL", 3}};
  for (const auto& d : kDevices)
    if (EqualsIgnoringCase(name, base, d.name)) return d.kind;
  return kDeviceNone;
}

// Resolves the name text into the unit's name: at most 256 characters,
// leading blanks and trailing blanks and NULs removed, made absolute against
// the current directory unless it is a device or already absolute (kept as it
// is when the result would not fit). Sets device_kind. Returns 0 or 43 (a NUL
// inside the name).
int ResolveName(UnitBlock* u, const char* text, int32_t length) {
  size_t n = length < 0 ? 0 : length > kMaxFileName ? kMaxFileName : static_cast<size_t>(length);
  size_t start = 0;
  while (start < n && text[start] == ' ') ++start;
  while (n > start && (text[n - 1] == ' ' || text[n - 1] == '\0')) --n;
  const char* name = text + start;
  n -= start;
  u->name[0] = '\0';
  u->name_len = 0;
  u->device_kind = kDeviceNone;
  if (n == 0) return 0;  // the system open refuses the empty name
  u->device_kind = DeviceKind(name, n);
  std::memcpy(u->name, name, n);
  u->name[n] = '\0';
  u->name_len = static_cast<uint16_t>(n);
  if (std::memchr(name, '\0', n)) return Code(Msg::kBadFileName);
  if ((u->device_kind >= 0 && u->device_kind <= 2) || name[0] == '/') return 0;
  char cwd[kMaxFileName + 1];
  if (Sys::CurrentDirectory(cwd, sizeof cwd) != 0) return 0;
  size_t c = std::strlen(cwd);
  if (c > 0 && cwd[c - 1] == '/') --c;  // the root directory
  if (c + 1 + n >= kMaxFileName + 1) return 0;
  std::memmove(u->name + c + 1, u->name, n + 1);
  std::memcpy(u->name, cwd, c);
  u->name[c] = '/';
  u->name_len = static_cast<uint16_t>(c + 1 + n);
  return 0;
}

// ---- System open -------------------------------------------------------------

int MapOpenError(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR: return Code(Msg::kFileNotFound);
    case EMFILE:
    case ENFILE: return Code(Msg::kOpenFailed);
    case EACCES:
    case EPERM:
    case EROFS: return Code(Msg::kPermissionDenied);
    case ENXIO:
    case ENODEV: return Code(Msg::kNoDevice);
    case EEXIST: return Code(Msg::kFileExists);
    case ENAMETOOLONG:
    case EILSEQ: return Code(Msg::kBadFileName);
    default: return Code(Msg::kOpenFailed);
  }
}

// True when the regular file open on `fd` is also open on another connected
// unit (same device and inode: a link, or the same name twice), or when
// that cannot be told.
bool OpenOnAnotherUnit(const UnitBlock* u, int fd) {
  Sys::FileId mine;
  bool identified = false;
  bool shared = false;
  // Identifies the new file at the first other connected unit only, so that
  // a connection with no other unit makes no call.
  auto compare = [&](const UnitBlock* v) {
    if (!v || v == u || !(v->flags & kUnitConnected) || v->fd < 0 || shared) return;
    if (!identified && Sys::IdentifyFile(fd, &mine) != 0) {
      shared = true;
      return;
    }
    identified = true;
    Sys::FileId other;
    if (!mine.regular) return;
    // A file that cannot be identified counts as shared.
    if (Sys::IdentifyFile(v->fd, &other) != 0 ||
        (other.device == mine.device && other.inode == mine.inode))
      shared = true;
  };
  TableGuard guard;
  for (auto& slot : g_direct) compare(slot.load(std::memory_order_relaxed));
  for (UnitBlock* head : g_buckets)
    for (UnitBlock* v = head; v; v = v->next) compare(v);
  for (UnitBlock* v = g_private; v; v = v->next) compare(v);
  return shared;
}

// Opens the unit's resolved name for the request, with the read-only retry
// when ACTION was not given. Returns 0 or the mapped error number.
int OpenFile(UnitBlock* u, const ConnectRequest& r) {
  const int32_t status = r.status ? r.status : kStatusUnknown;
  unsigned mode = 0;
  switch (r.action) {
    case kActionRead: mode = Sys::kOpenRead; break;
    case kActionWrite: mode = Sys::kOpenWrite; break;
    default: mode = Sys::kOpenRead | Sys::kOpenWrite; break;
  }
  switch (status) {
    case kStatusOld: break;
    case kStatusNew:
    case kStatusScratch: mode |= Sys::kOpenCreate | Sys::kOpenExclusive; break;
    case kStatusReplace: mode |= Sys::kOpenCreate | Sys::kOpenTruncate; break;
    default:
      if (r.action != kActionRead) mode |= Sys::kOpenCreate;
      break;
  }
  int fd = -1;
  int e = Sys::Open(u->name, mode, &fd);
  if ((e == EACCES || e == EPERM || e == EROFS) && r.action == 0) {
    e = Sys::Open(u->name, (mode & ~static_cast<unsigned>(Sys::kOpenWrite)) | Sys::kOpenRead, &fd);
    if (e == 0) u->flags |= kUnitReadOnly;
  } else if (e == 0 && r.action == 0 && OpenOnAnotherUnit(u, fd)) {
    // Writing would destroy what another unit reads (or writes): the file
    // is taken for reading only, so the first record written fails with 47.
    Sys::Close(fd);
    fd = -1;
    e = Sys::Open(u->name, Sys::kOpenRead, &fd);
    if (e == 0) u->flags |= kUnitReadOnly;
  }
  if (e != 0) {
    u->last_error = e;
    errno = e;
    return MapOpenError(e);
  }
  u->fd = fd;
  if (r.action == kActionRead) u->flags |= kUnitReadOnly;
  if (r.action == kActionWrite) u->flags |= kUnitWriteOnly;
  // A scratch file has no name from the start: it goes when it is closed.
  if (status == kStatusScratch) Sys::Remove(u->name);
  return 0;
}

// ---- Finishing --------------------------------------------------------------

void ResetPositions(UnitBlock* u) {
  u->pos = u->buffer;
  u->record_start = u->buffer;
  u->record_end = u->buffer;
  u->readahead = u->buffer;
  u->readahead_len = 0;
  u->pending_end = nullptr;
  u->record_counter = 1;
  u->file_position = 0;
  u->flags &= ~static_cast<uint32_t>(kUnitAppendPending);
}

bool ArmsTruncation(const UnitBlock* u) {
  return (u->flags & kUnitFormatted) && (u->flags & kUnitDiskFile) &&
         !(u->flags & kUnitAppendPending);
}

// Sets the file kind, form, access, carriage control and record type.
void SetShape(UnitBlock* u, const ConnectRequest& r, bool formatted) {
  Sys::FileKind kind = Sys::kFileOther;
  if (Sys::KindOf(u->fd, &kind) != 0) kind = Sys::kFileOther;
  if (kind == Sys::kFileDisk) u->flags |= kUnitDiskFile;
  if (kind == Sys::kFileCharDevice) u->flags |= kUnitConsole;
  u->flags |= formatted ? kUnitFormatted : kUnitUnformatted;
  if (r.access == kAccessDirect) u->flags |= kUnitDirect;
  else if (r.access == kAccessKeyed) u->flags |= kUnitKeyed;
  else u->flags |= kUnitSequential;
  if (r.share == 1 || r.share == 2) u->flags |= kUnitShared;  // COMPAT, DENYNONE
  u->carriage_control = static_cast<uint8_t>(r.carriage_control ? r.carriage_control : kCcList);
  if (r.record_type) u->record_type = static_cast<uint8_t>(r.record_type);
  else if (!formatted) u->record_type = kRecUnformattedSeq;
  else u->record_type = u->carriage_control == kCcNone ? kRecStream : kRecStreamCRLF;
}

// Sets RECL, the record length allowance and the line width. Returns 0 or 99
// (a malformed VELD_FMT_RECL for a formatted unit without RECL).
int SetLengths(UnitBlock* u, const ConnectRequest& r, bool formatted, int64_t* allowance_out) {
  const UnitEnv::Sizes& env = UnitEnv::GetSizes();
  int64_t recl = kDefaultRecl;
  int64_t allowance = kDefaultRecl;
  bool defaulted = false;
  if (r.recl) {
    recl = allowance = r.recl;
  } else if (formatted) {
    if (env.fmt_recl_error) return env.fmt_recl_error;
    if (env.fmt_recl >= 1) {
      recl = allowance = env.fmt_recl;
    } else {
      allowance = kDefaultRecl + 1;
      defaulted = true;
    }
  }
  if (u->carriage_control != kCcNone && u->record_type != kRecFixed) {
    allowance += 1;
    if (u->carriage_control == kCcFirstChar) allowance += 5;
  }
  if (defaulted) u->flags |= kUnitLengthDefaulted;
  int64_t width = defaulted && u->carriage_control == kCcList ? kDefaultLineWidth : allowance;
  u->line_width = static_cast<uint16_t>(width > 0xFFFF ? 0xFFFF : width);
  u->recl = static_cast<int32_t>(recl);
  *allowance_out = allowance;
  return 0;
}

// Obtains the record buffer: buffer count times block size, at least the
// allowance plus 4. Returns 0, 106, 107 (malformed variables) or 98.
int SetBuffer(UnitBlock* u, const ConnectRequest& r, int64_t allowance) {
  const UnitEnv::Sizes& env = UnitEnv::GetSizes();
  if (env.block_size_error) return env.block_size_error;
  if (env.buffer_count_error) return env.buffer_count_error;
  int64_t count = r.buffer_count ? r.buffer_count : (env.buffer_count ? env.buffer_count : 1);
  int64_t unit_size = kDefaultCapacityUnit;
  int64_t chunk = kDefaultWriteChunk;
  if (r.block_size) unit_size = chunk = (static_cast<int64_t>(r.block_size) + 511) / 512 * 512;
  else if (env.block_size) unit_size = chunk = env.block_size;
  int64_t capacity = count * unit_size;
  if (capacity < allowance + 4) capacity = allowance + 4;
  if (capacity > INT32_MAX) return Code(Msg::kNoBufferMemory);
  u->buffer = static_cast<char*>(Sys::Allocate(static_cast<size_t>(capacity)));
  if (!u->buffer) return Code(Msg::kNoBufferMemory);
  u->capacity = static_cast<int32_t>(capacity);
  u->write_chunk = static_cast<int32_t>(chunk > INT32_MAX ? INT32_MAX : chunk);
  u->allowance = static_cast<int32_t>(allowance);
  return 0;
}

// Finishes a connection on the open handle: shape, lengths, buffer,
// position, truncation, buffered mode and terminator; marks it connected.
// Returns 0 or an error number (99, 106, 107, 98, or 20 for a failed append).
int FinishConnection(UnitBlock* u, const ConnectRequest& r) {
  const bool formatted = r.form == 0 ? r.access != kAccessDirect : r.form == kFormFormatted;
  SetShape(u, r, formatted);
  int64_t allowance = 0;
  if (int e = SetLengths(u, r, formatted, &allowance)) return e;
  if (int e = SetBuffer(u, r, allowance)) return e;
  ResetPositions(u);
  if (r.position == kPositionAppend || r.access == kAccessAppend) {
    u->flags |= kUnitAppendPending;
    if (int e = Sys::Seek(u->fd, 0, SEEK_END, &u->file_position)) {
      u->last_error = e;
      return Code(Msg::kRewindFailed);
    }
  }
  if (ArmsTruncation(u)) u->flags |= kUnitTruncateNext;
  const bool standard = (u->flags & kUnitStdHandle) != 0;
  if (!standard && u->device_kind == kDeviceNone &&
      (r.buffered == kBufferedYes || (r.buffered == 0 && UnitEnv::BufferedByDefault())))
    u->flags |= kUnitBuffered;
  if (formatted && r.record_type == 0) {
    if (uint8_t kind = UnitEnv::TerminatorForUnit(u->number)) {
      u->record_type = kind;
      u->carriage_control = kCcNone;
    }
  }
  u->terminator = u->record_type == kRecStreamCR ? '\r' : '\n';
  u->flags |= kUnitConnected;
  g_any_connected.store(true);
  return 0;
}

// Frees what a unit holds (handle, buffer) and clears every member but the
// number, the lock and the table link; `keep_name` keeps the resolved name.
void ClearUnit(UnitBlock* u, bool keep_name) {
  if (u->fd >= 0 && !(u->flags & kUnitStdHandle)) Sys::Close(u->fd);
  if (u->buffer) Sys::Release(u->buffer);
  u->buffer = u->pos = u->pending_end = u->record_start = u->record_end = nullptr;
  u->readahead = nullptr;
  u->readahead_len = 0;
  u->message_target = nullptr;
  u->message_target_len = 0;
  u->record_counter = 0;
  u->file_position = 0;
  u->fd = -1;
  u->allowance = u->recl = u->capacity = u->write_chunk = 0;
  u->device_kind = -1;
  u->line_width = 0;
  u->record_type = 0;
  u->organization = 1;
  u->carriage_control = 0;
  u->terminator = '\n';
  u->flags &= kUnitPreconnected;
  if (!keep_name) {  // a failure report still needs the name and the system error
    u->name[0] = '\0';
    u->name_len = 0;
    u->last_error = 0;
  }
}

// Writes n bytes at p to the unit's handle. Returns 0 or 38.
int WriteBytes(UnitBlock* u, const char* p, size_t n) {
  size_t written = 0;
  int e = Sys::WriteAll(u->fd, p, n, static_cast<size_t>(u->write_chunk), &written);
  u->file_position += static_cast<int64_t>(written);
  if (e != 0) {
    u->last_error = e;
    return Code(Msg::kWriteFailed);
  }
  return 0;
}

// Moves the system position of a disk file back over unread read-ahead.
int GiveBackReadAhead(UnitBlock* u) {
  if (u->readahead_len == 0) return 0;
  int e = 0;
  if (u->flags & kUnitDiskFile)
    e = Sys::Seek(u->fd, -static_cast<int64_t>(u->readahead_len), SEEK_CUR, nullptr);
  if (e == 0) u->readahead_len = 0;
  return e;
}

// Connects the standard output descriptor as the default output unit.
int ConnectStandardOutput(UnitBlock* u) {
  static const char kName[] = "CONOUT$";
  std::memcpy(u->name, kName, sizeof kName);
  u->name_len = sizeof kName - 1;
  u->device_kind = 1;
  u->fd = 1;
  u->flags |= kUnitStdHandle | kUnitWriteOnly;
  ConnectRequest r;
  r.status = kStatusUnknown;
  r.action = kActionWrite;
  return FinishConnection(u, r);
}

}  // namespace

// ---- Public interface ----------------------------------------------------------

uint32_t ThisThreadToken() {
  if (t_token == 0) t_token = g_next_token.fetch_add(1, std::memory_order_relaxed);
  return t_token;
}

bool UnitOperationInProgress() { return t_unit_depth != 0; }

void SetPendingAction(void (*action)()) { g_pending_action.store(action); }

bool PendingActionWaiting() { return g_pending_action.load(std::memory_order_relaxed) != nullptr; }

void RunPendingAction() {
  if (void (*action)() = g_pending_action.exchange(nullptr)) action();
}

int AcquireUnit(int number, UnitBlock** unit) {
  *unit = nullptr;
  if (number < kPrivateUnit) return Code(Msg::kBadUnitNumber);
  EnterUnitOperation();
  UnitBlock* u = number == kPrivateUnit ? NewUnit(number) : FindOrCreate(number);
  if (!u) {
    LeaveUnitOperation();
    return Code(Msg::kNoMemory);
  }
  const uint32_t me = ThisThreadToken();
  if (u->owner.load(std::memory_order_relaxed) == me) {
    LeaveUnitOperation();
    *unit = u;
    return Code(Msg::kRecursiveIo);
  }
  LockUnit(u, me);
  *unit = u;
  return 0;
}

int ReleaseUnit(UnitBlock* u) {
  if (!u || !HeldByMe(u)) return 0;
  UnlockUnit(u);
  if (u->number == kPrivateUnit) {
    if (!(u->flags & kUnitConnected)) {
      ClearUnit(u, false);
      FreeUnit(u);
    } else {
      TableGuard guard;
      UnitBlock* p = g_private;
      while (p && p != u) p = p->next;
      if (!p) {
        u->next = g_private;
        g_private = u;
      }
    }
  }
  LeaveUnitOperation();
  return 0;
}

int ConnectAcquired(UnitBlock* u, const OpenAttr* attrs) {
  ConnectRequest r;
  if (int e = DecodeAttrs(attrs, &r)) return e;
  if (!(u->flags & kUnitConnected)) ClearUnit(u, false);  // leftovers of a failed attempt

  char wanted[kMaxFileName + 1];
  const char* text = r.file;
  int32_t length = r.file_len;
  if (!r.file_given) {
    // Without a name: the unit's environment variable, else "unit<n>.txt".
    text = UnitEnv::UnitFileName(u->number);
    if (!text) {
      std::memcpy(wanted, "unit", 4);
      char* end = std::to_chars(wanted + 4, wanted + 20, u->number).ptr;
      std::memcpy(end, ".txt", 5);
      text = wanted;
    }
    length = static_cast<int32_t>(std::strlen(text));
  }

  if (u->flags & kUnitConnected) {
    // Reconnection: the same file keeps its connection, another one closes it.
    UnitBlock probe;
    ResolveName(&probe, text, length);
    if (probe.name_len == u->name_len && std::memcmp(probe.name, u->name, u->name_len) == 0)
      return 0;
    if (int e = CloseUnit(u)) return e;
  }

  if (int e = ResolveName(u, text, length)) return e;
  if (u->device_kind >= 0 && u->device_kind <= 2) {
    u->fd = u->device_kind;
    u->flags |= kUnitStdHandle;
    if (u->device_kind == 0) u->flags |= kUnitReadOnly;
    else u->flags |= kUnitWriteOnly;
  } else if (int e = OpenFile(u, r)) {
    return e;
  }
  return FinishConnection(u, r);
}

int ConnectDefaultUnit(UnitBlock* u) {
  if (u->flags & kUnitConnected) return 0;
  ClearUnit(u, false);
  int e = 0;
  if (const char* print = UnitEnv::PrintFileName()) {
    const OpenAttr attrs[] = {
        {kTypeChar, kFormText, kAttrFile, 0, print, static_cast<int32_t>(std::strlen(print))},
        {kTypeInt32, kFormValue, kAttrStatus, kStatusUnknown, nullptr, 0},
        {kTypeEnd, 0, 0, 0, nullptr, 0},
    };
    e = ConnectAcquired(u, attrs);
    if (e == 0) u->flags |= kUnitEnvNamed;
  } else {
    e = ConnectStandardOutput(u);
  }
  if (e != 0) ClearUnit(u, true);  // the name stays for the diagnostic
  return e;
}

int PutRecord(UnitBlock* u, char* start, size_t length) {
  char* end = start + length;
  char term[2];
  const int term_length = RecordTerminator(u, term);
  for (int i = 0; i < term_length; ++i) *end++ = term[i];
  if (u->readahead_len != 0) {
    if (int e = GiveBackReadAhead(u)) {
      u->last_error = e;
      return Code(Msg::kWriteFailed);
    }
  }
  int result = 0;
  if (u->flags & kUnitBuffered) {
    u->pending_end = end;
    int64_t used = end - u->buffer;
    if (used + 2 * static_cast<int64_t>(u->allowance) > u->capacity) result = FlushUnit(u);
  } else {
    result = WriteBytes(u, start, static_cast<size_t>(end - start));
  }
  if (u->flags & kUnitTruncateNext) {
    u->flags &= ~static_cast<uint32_t>(kUnitTruncateNext);
    if (int e = Sys::TruncateHere(u->fd)) {
      u->last_error = e;
      if (result == 0) result = Code(Msg::kWriteFailed);
    }
  }
  return result;
}

int RecordTerminator(const UnitBlock* u, char term[2]) {
  switch (u->record_type) {
    case kRecStreamCRLF:
      term[0] = '\r';
      term[1] = '\n';
      return 2;
    case kRecStreamLF: term[0] = '\n'; return 1;
    case kRecStreamCR: term[0] = '\r'; return 1;
    default: return 0;
  }
}

size_t RecordsToNextWrite(const UnitBlock* u, size_t length) {
  const char* base = u->pending_end ? u->pending_end : u->buffer;
  // PutRecord writes the held output after the first record that leaves
  // less than two record allowances free.
  const int64_t free_after =
      u->capacity - (base - u->buffer) - 2 * static_cast<int64_t>(u->allowance);
  return free_after < 0 ? 1 : static_cast<size_t>(free_after) / length + 1;
}

int PutRecordRun(UnitBlock* u, const char* records, size_t length, size_t count) {
  char* const base = u->pending_end ? u->pending_end : u->buffer;
  const size_t bytes = count * length;
  if (count < RecordsToNextWrite(u, length)) {
    if (records != nullptr) std::memcpy(base, records, bytes);
    u->pending_end = base + bytes;
    return 0;
  }
  if (records != nullptr && base == u->buffer) {
    // The run is all of the held output: the same bytes, written from where
    // they are.
    u->pending_end = nullptr;
    return WriteBytes(u, records, bytes);
  }
  if (records != nullptr) std::memcpy(base, records, bytes);
  u->pending_end = base + bytes;
  return FlushUnit(u);
}

bool GrowUnitBuffer(UnitBlock* u, size_t capacity) {
  char** const pointers[] = {&u->pos, &u->pending_end, &u->record_start, &u->record_end,
                             &u->readahead};
  ptrdiff_t offsets[std::size(pointers)];
  for (size_t i = 0; i < std::size(pointers); ++i)
    offsets[i] = *pointers[i] ? *pointers[i] - u->buffer : -1;
  char* grown = static_cast<char*>(Sys::Reallocate(u->buffer, capacity));
  if (grown == nullptr) return false;
  for (size_t i = 0; i < std::size(pointers); ++i)
    if (offsets[i] >= 0) *pointers[i] = grown + offsets[i];
  u->buffer = grown;
  u->capacity = static_cast<int32_t>(capacity);
  return true;
}

int FlushUnit(UnitBlock* u) {
  if (!u->pending_end) return 0;
  char* end = u->pending_end;
  u->pending_end = nullptr;
  return WriteBytes(u, u->buffer, static_cast<size_t>(end - u->buffer));
}

int RewindAcquired(UnitBlock* u) {
  if (!(u->flags & kUnitConnected)) return 0;
  if (int w = FlushUnit(u)) return w;
  if (u->flags & kUnitKeyed) return Code(Msg::kRewindFailed);
  int e = GiveBackReadAhead(u);
  if (e == 0) e = Sys::Seek(u->fd, 0, SEEK_SET, nullptr);
  if (e != 0) {
    u->last_error = e;
    return Code(Msg::kRewindFailed);
  }
  ResetPositions(u);
  if (ArmsTruncation(u)) u->flags |= kUnitTruncateNext;
  return 0;
}

void DiscardConnection(UnitBlock* u) { ClearUnit(u, false); }

int CloseUnit(UnitBlock* u) {
  if (!(u->flags & kUnitConnected)) {
    ClearUnit(u, false);
    return 0;
  }
  int result = 0;
  if (u->flags & kUnitStdHandle) {
    if (u->fd == 0) GiveBackReadAhead(u);
  } else {
    result = FlushUnit(u);
    int e = Sys::Close(u->fd);
    u->fd = -1;
    if (e != 0) {
      u->last_error = e;
      if (result == 0) result = Code(Msg::kCloseFailed);
    }
  }
  // The name stays until the caller has reported a failure.
  ClearUnit(u, result != 0);
  return result;
}

namespace {

// Unlinks from the chain at *head every entry for which take(entry) is true
// (take may reuse the entry's link).
template <typename Take>
void RemoveTaken(UnitBlock** head, Take& take) {
  UnitBlock** link = head;
  while (*link) {
    UnitBlock* u = *link;
    UnitBlock* after = u->next;
    if (take(u)) *link = after;
    else link = &u->next;
  }
}

}  // namespace

void CloseEveryUnit(void (*failed)(UnitBlock* unit, int error)) {
  // Detach every entry whose lock can be taken; entries held by this thread
  // (a statement in progress) are closed but stay in the table.
  constexpr int kMaxMine = 8;
  UnitBlock* mine[kMaxMine];
  int mine_count = 0;
  UnitBlock* closing = nullptr;
  UnitBlock** tail = &closing;
  auto take = [&](UnitBlock* u) -> bool {
    if (HeldByMe(u)) {
      if (mine_count < kMaxMine) mine[mine_count++] = u;
      return false;
    }
    if (!TryLockUnit(u)) return false;
    u->next = nullptr;
    *tail = u;
    tail = &u->next;
    return true;
  };
  {
    TableGuard guard;
    for (auto& slot : g_direct) {
      UnitBlock* u = slot.load(std::memory_order_relaxed);
      if (u && take(u)) slot.store(nullptr, std::memory_order_release);
    }
    for (UnitBlock*& head : g_buckets) RemoveTaken(&head, take);
    RemoveTaken(&g_private, take);
  }
  for (int i = 0; i < mine_count; ++i)
    if (int e = CloseUnit(mine[i]); e != 0 && failed) failed(mine[i], e);
  while (closing) {
    UnitBlock* u = closing;
    closing = u->next;
    if (int e = CloseUnit(u); e != 0 && failed) failed(u, e);
    UnlockUnit(u);
    FreeUnit(u);
  }
  g_any_connected.store(false);
}

bool AnyUnitConnected() { return g_any_connected.load(); }

bool ClearUnitsConnected() { return g_any_connected.exchange(false); }

void CreatePreconnectedUnits() {
  static const int kNumbers[] = {-4, -3, -2, -1, 0, 5, 6};
  for (int n : kNumbers) {
    UnitBlock* u = FindOrCreate(n);
    if (!u) continue;
    u->flags |= kUnitPreconnected;
    if ((n == 0 || n == 5 || n == 6) && UnitEnv::UnitFileName(n)) u->flags |= kUnitEnvNamed;
  }
}

bool FillClosedStandardStreams(int* failed_unit) {
  // The preconnected unit each descriptor stands for: 5 input, 6 output, 0 error.
  static const int kStreamUnit[3] = {5, 6, 0};
  for (int fd = 0; fd <= 2; ++fd) {
    if (Sys::FillIfClosed(fd) != 0) {
      *failed_unit = kStreamUnit[fd];
      return false;
    }
  }
  return true;
}

void ReadUnitSizeVariables() { UnitEnv::ReadSizes(); }

void SetLockingMode(int mode) { g_locking_mode.store(mode); }
