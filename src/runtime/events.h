// Console control events (control-C, control-BREAK, window close) and
// processor exceptions: their installation at start-up and their reports.
//
// Start-up calls InstallExceptionHandling() (which also creates the
// traceback context) and then InstallConsoleEventHandling(), before any
// other thread exists. The program body runs inside Sys::RunEscapable
// (platform/escape.h): a floating-point exception report (rows 73, 140, 65,
// 72, 74) stores its row as the exit status and escapes from the body with
// that row; the process sequence then goes on with FinishRuntime as after a
// normal end, and StoredExitStatus() is the row. Outside an escapable body
// the report runs the exit processing and ends the process itself.
#pragma once

// Exit statuses after a console control event. Control-C does not end with 0:
// an interrupted run must not look like a success.
constexpr int kExitControlC = 130;
constexpr int kExitControlBreak = 1;
constexpr int kExitWindowClose = 2;

// Takes SIGINT (control-C), SIGQUIT (control-BREAK) and SIGHUP (window
// close), each only while its disposition is still the default: the event is
// reported with row 200 and a traceback, the exit processing closes the
// units, and the process ends with the event's status. An event that
// interrupts a statement waits until the statement has ended (or until a
// system call of it was interrupted), so that files keep whole records.
// Call once, at start-up.
void InstallConsoleEventHandling();

// Creates the traceback context (Traceback::CreateContext) and installs the
// processor-exception reports (segment violation 157, stack overflow 170,
// bus error 158, illegal instruction 168, integer divide by zero 164, the
// floating rows, breakpoint 159, others 172), each only while its signal has
// the default disposition; with the switch VELD_IGNORE_EXCEPTIONS on, no
// handler is installed. Call from the thread that runs the program body (it
// gets the alternate stack for a stack overflow report).
void InstallExceptionHandling();

// The catalogue row of a processor exception; `kind` and `detail` are
// Sys::FaultKind and Sys::FaultDetail values. 172 for any other.
unsigned ExceptionRow(int kind, int detail, bool stack_overflow);
