// The process entry of hysteresis-life: the run-time starts from the
// initialiser table before main, as in hysteresis; main reads the options.
#include <string>
#include <vector>

#include "life/options.h"
#include "life/run.h"
#include "runtime/platform/file.h"
#include "runtime/startentry.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  Life::Options options;
  const std::string why = Life::ParseOptions(args, options);
  if (!why.empty() || options.help) {
    const std::string text =
        why.empty() ? Life::UsageText() : "hysteresis-life: " + why + " (try --help)\n";
    size_t written = 0;
    Sys::WriteAll(why.empty() ? 1 : 2, text.data(), text.size(), 0, &written);
    FinishRuntime();
    return why.empty() ? Life::kExitOk : Life::kExitUsage;
  }
  return Life::RunLifeProcess(options);
}
