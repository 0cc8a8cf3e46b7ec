// Run-time start-up (once per process, under a lock) and the finish that
// closes the files and yields the exit status.
#include "runtime/startup.h"

#include <atomic>
#include <cerrno>
#include <mutex>

#include "runtime/catalogue.h"
#include "runtime/diagnostics.h"
#include "runtime/events.h"
#include "runtime/floatctl.h"
#include "runtime/msg.h"
#include "runtime/platform/clock.h"
#include "runtime/platform/env.h"
#include "runtime/platform/escape.h"
#include "runtime/platform/file.h"
#include "runtime/statement.h"
#include "runtime/units.h"

namespace {

std::mutex g_start_lock;
std::atomic<bool> g_started{false};
bool g_no_error_dialogs = false;

// Command-line words: pointers into the argument vector, which lives as long
// as the process.
int g_word_count = 0;
char** g_words = nullptr;

}  // namespace

void SetCommandLineWords(int count, char** words) {
  if (count <= 0 || !words) return;
  g_word_count = count;
  g_words = words;
}

int CommandLineWordCount() { return g_word_count; }

const char* CommandLineWord(int index) {
  if (index < 0 || index >= g_word_count) return nullptr;
  return g_words[index];
}

bool RuntimeStarted() { return g_started.load(std::memory_order_acquire); }

bool ErrorDialogsSuppressed() { return g_no_error_dialogs; }

void StartRuntime() {
  if (g_started.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> hold(g_start_lock);
  if (g_started.load(std::memory_order_relaxed)) return;
  Sys::StartElapsedClock();
  InstallStatementHooks();
  // The traceback context comes with the processor-exception handlers.
  InstallExceptionHandling();
  errno = 0;
  InstallConsoleEventHandling();
  // A closed standard stream that cannot get the null device ends the run.
  if (int unit = 0; !FillClosedStandardStreams(&unit))
    ReportMessage(Msg::kOpenFailed, {unit, Sys::kNullDevice});
  g_no_error_dialogs = Sys::EnvSwitch("VELD_NOERROR_DIALOGS");
  ClearFloatStatus();
  // The command-line words were taken by the initialiser, when it had them.
  ApplyFloatOption(kFloatOptionWord);
  CreatePreconnectedUnits();
  // There are no asynchronous transfers, so they need no bookkeeping.
  ReadUnitSizeVariables();
  g_started.store(true, std::memory_order_release);
}

int FinishRuntime() {
  CloseMessageCatalogue();
  ExitProcessing();
  return StoredExitStatus();
}

int RunGuardedBody(void (*body)()) { return Sys::RunEscapable(body) != 0 ? 1 : 0; }

void AbandonProgramBody() { Sys::Escape(1); }
