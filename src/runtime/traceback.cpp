// The traceback table: one row per stack frame with the module's file name
// and the code address; routine, line and source are not known here.
#include "runtime/traceback.h"

#include "runtime/msgformat.h"
#include "runtime/platform/env.h"
#include "runtime/platform/stackwalk.h"

namespace Traceback {
namespace {

constinit TracebackContext g_context;

constexpr int kMaxFrames = 512;
constexpr size_t kRowSize = 1024;
const char kUnknown[] = "Unknown";
const char kTerminated[] = "\nStack trace terminated abnormally.\n";

// The file name and extension of a module path.
const char* BaseName(const char* path) {
  if (!path || !*path) return kUnknown;
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/') base = p + 1;
  return *base ? base : kUnknown;
}

// Copies text[0..n) behind buffer[used], as far as it fits. Returns false
// when it had to cut.
bool Put(char* buffer, size_t* used, size_t capacity, const char* text, size_t n) {
  size_t room = capacity - *used;
  size_t take = n < room ? n : room;
  for (size_t i = 0; i < take; ++i) buffer[*used + i] = text[i];
  *used += take;
  return take == n;
}

bool PutFormatted(char* buffer, size_t* used, size_t capacity, const char* format,
                  std::initializer_list<MsgArg> args) {
  char row[kRowSize];
  size_t n = FormatText(row, sizeof row, format, args.begin(), args.size());
  return Put(buffer, used, capacity, row, n);
}

bool PutNormalRow(char* buffer, size_t* used, size_t capacity, uintptr_t pc) {
  Sys::CodeOrigin origin;
  Sys::FindCodeOrigin(pc, &origin);
  return PutFormatted(
      buffer, used, capacity, "%-17.17s  %8.8lX  %-17.17s  %10.10s  %s\n",
      {BaseName(origin.module_path), static_cast<unsigned long>(pc), kUnknown, kUnknown, kUnknown});
}

bool PutVerboseBlock(char* buffer, size_t* used, size_t capacity, int index, uintptr_t pc,
                     uintptr_t return_pc) {
  Sys::CodeOrigin origin;
  Sys::FindCodeOrigin(pc, &origin);
  char number[16];
  const MsgArg index_arg(index);
  size_t number_len = FormatText(number, sizeof number, "%d", &index_arg, 1);
  unsigned long offset = origin.module_base ? pc - origin.module_base : 0;
  const char* routine = origin.symbol ? origin.symbol : kUnknown;
  return PutFormatted(
      buffer, used, capacity,
      "--------- Frame # %s ---------------------------------------\n"
      "Image:       %s\n"
      "PC:          %8.8lx\n"
      "Routine:     %s\n"
      "Source:      %s\n"
      "Line:        %s\n"
      "AddrPC:      %16.16lx  AddrModeFlat\n"
      "AddrReturn:  %16.16lx  AddrModeFlat\n"
      "ModuleBase:  %16.16lx\n"
      "Offset:      %16.16lx\n\n",
      {MsgArg(number, static_cast<int64_t>(number_len)), BaseName(origin.module_path),
       static_cast<unsigned long>(pc), routine, kUnknown, kUnknown, static_cast<unsigned long>(pc),
       static_cast<unsigned long>(return_pc), static_cast<unsigned long>(origin.module_base),
       offset});
}

}  // namespace

bool CreateContext() {
  Sys::PrepareStackWalk();
  g_context.from_exception = false;
  g_context.signal = 0;
  g_context.code = 0;
  g_context.fault_address = 0;
  g_context.pc = 0;
  g_context.continue_flag = 0;
  g_context.filter_flag = 0;
  g_context.exists = true;
  return true;
}

void ReleaseContext() { g_context.exists = false; }

TracebackContext* Context() { return g_context.exists ? &g_context : nullptr; }

bool VerboseWanted() {
  return Sys::EnvSwitch("TBK_ENABLE_VERBOSE_STACK_TRACE") ||
         Sys::EnvSwitch("VELD_ENABLE_VERBOSE_STACK_TRACE");
}

size_t Append(char* buffer, size_t used, size_t capacity, bool verbose) {
  if (used >= capacity) return capacity;
  uintptr_t all[kMaxFrames + 1];
  int count = Sys::CaptureStack(all, kMaxFrames + 1) - 1;
  // The first frame is this function's own.
  const uintptr_t* frames = all + 1;
  if (count <= 0) {
    Put(buffer, &used, capacity, kTerminated, sizeof kTerminated - 1);
    return used;
  }
  // From an exception, start at the frame of the faulting instruction; when
  // the walk did not pass it, show it first.
  int first = 0;
  bool lead_with_fault = false;
  const TracebackContext* ctx = Context();
  if (ctx && ctx->from_exception && ctx->pc != 0) {
    lead_with_fault = true;
    for (int i = 0; i < count; ++i) {
      if (frames[i] == ctx->pc || frames[i] == ctx->pc + 1) {
        first = i;
        lead_with_fault = false;
        break;
      }
    }
  }
  bool fits;
  if (verbose) {
    static const char kIntro[] = "\n\nTraceback symbolic or hex stack dump follows:\n\n";
    fits = Put(buffer, &used, capacity, kIntro, sizeof kIntro - 1);
  } else {
    fits = PutFormatted(buffer, &used, capacity, "%-19.19s%-10.10s%-19.19s%-12.12s%-19.19s\n",
                        {"Image", "PC", "Routine", "Line", "Source"});
  }
  int index = 0;
  if (fits && lead_with_fault) {
    uintptr_t next = first < count ? frames[first] : 0;
    fits = verbose ? PutVerboseBlock(buffer, &used, capacity, index, ctx->pc, next)
                   : PutNormalRow(buffer, &used, capacity, ctx->pc);
    ++index;
  }
  for (int i = first; fits && i < count && frames[i] != 0; ++i, ++index) {
    uintptr_t next = i + 1 < count ? frames[i + 1] : 0;
    fits = verbose ? PutVerboseBlock(buffer, &used, capacity, index, frames[i], next)
                   : PutNormalRow(buffer, &used, capacity, frames[i]);
  }
  return used;
}

}  // namespace Traceback
