// Run-time start-up and finish around the program body.
#pragma once
#include <cstdint>

// One-time initialisation; later calls return at once.
void StartRuntime();

// Finish after the program body: closes the message catalogue, runs the exit
// processing and returns the exit status.
int FinishRuntime();

// True once StartRuntime has completed.
bool RuntimeStarted();

// The floating-point option word of the run-time (which exceptions trap,
// flush-to-zero); 0 in this program: every exception masked, subnormals kept.
constexpr uint32_t kFloatOptionWord = 0;

// Whether start-up found VELD_NOERROR_DIALOGS on. There are no system error
// dialogs on this platform, so the switch is read and nothing else changes.
bool ErrorDialogsSuppressed();

// The command-line words kept by start-up (unused by the program). Words are
// taken from the argument vector that the initialiser table passes; without
// one the table is empty. CommandLineWord returns null out of range.
void SetCommandLineWords(int count, char** words);
int CommandLineWordCount();
const char* CommandLineWord(int index);

// Runs the program body so that a floating-point exception report can abandon
// it. Returns 0 when the body returned, 1 when it was abandoned.
int RunGuardedBody(void (*body)());

// Abandons the program body after a floating-point exception report (which
// has stored its row number as the exit status): control returns from
// RunGuardedBody, and the process sequence goes on with FinishRuntime.
// Returns, doing nothing, when no body runs on this thread: the caller then
// ends the process itself. Async-signal-safe; call it from the handler of
// the synchronous floating-point signal.
void AbandonProgramBody();
