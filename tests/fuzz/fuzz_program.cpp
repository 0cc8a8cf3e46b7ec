// Fuzz target: the whole program on an arbitrary pair of "input.txt" and
// "deformacia.txt", run in a child process in a scratch directory. The child
// must end with status 0 or one of the diagnostics the input can cause, and
// "output.txt" must hold whole 32-byte records only.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/process.h"

namespace {

std::string g_dir;

void WriteFile(const std::string& name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen((g_dir + "/" + name).c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

bool ExpectedStatus(int status) {
  switch (status) {
    case 0:
    case 17:
    case 18:
    case 19:
    case 24:
    case 41:
    case 59:
    case 64:
    case 98:
    case 179: return true;
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    char pattern[] = "/tmp/hysteresis-fuzz-program-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    g_dir = pattern;
  }
  // The input splits at its first NUL byte into the two files.
  const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const size_t first = split ? static_cast<size_t>(split - data) : size;
  WriteFile("input.txt", data, first);
  WriteFile("deformacia.txt", split ? split + 1 : data + size, split ? size - first - 1 : 0);
  unlink((g_dir + "/output.txt").c_str());

  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(g_dir.c_str()) != 0) _exit(250);
    // Keep the run short and quiet: no traceback, diagnostics to /dev/null.
    setenv("VELD_DISABLE_STACK_TRACE", "1", 1);
    FILE* ignored = std::freopen("/dev/null", "w", stderr);
    ignored = std::freopen("/dev/null", "w", stdout);
    (void)ignored;
    alarm(10);
    _exit(ProcessMain());
  }
  int st = 0;
  waitpid(pid, &st, 0);
  if (!WIFEXITED(st) || !ExpectedStatus(WEXITSTATUS(st))) std::abort();
  struct stat sb;
  if (stat((g_dir + "/output.txt").c_str(), &sb) == 0 && sb.st_size % 32 != 0) std::abort();
  return 0;
}
