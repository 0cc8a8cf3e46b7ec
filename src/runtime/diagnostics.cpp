// Placeholder: replaced by the diagnostics implementation.
#include "runtime/diagnostics.h"
#include <cstdio>
#include <cstdlib>
int ReportMessage(unsigned number, std::initializer_list<MsgArg>) {
  std::fprintf(stderr, "dravel: severe (%u): \r\n", number);
  std::exit(static_cast<int>(number));
}
int ReportIoError(int, int, int message_number, UnitBlock*, unsigned) {
  return ReportMessage(static_cast<unsigned>(message_number));
}
const char* MessageText(unsigned, std::initializer_list<MsgArg>) { return ""; }
int ExitProcessing() { return 0; }
void SetStoredExitStatus(int) {}
int StoredExitStatus() { return 0; }
