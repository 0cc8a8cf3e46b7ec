// Test support: temporary directories and child processes.
#include "support/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

const char* const kExampleInput = "2\n&PARAMETRE EY = 0 1 3 6, SY = 0 100 150 180 /\n";
const char* const kExampleHistory = "9\n4\n-4\n0\n-3\n-5\n";
const char* const kExampleOutput =
    "  0.0000000E+00  0.0000000E+00\r\n"
    "   4.000000       160.0000    \r\n"
    "  -4.000000      -160.0000    \r\n"
    "  0.0000000E+00   90.00000    \r\n"
    "  -3.000000      -135.0000    \r\n"
    "  -5.000000      -170.0000    \r\n";

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/hysteresis-test-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Files made read-only by a test must not stop the clean-up.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
  WriteFile(file(name), bytes);
}
std::string TempDir::read(const std::string& name) const { return ReadFile(file(name)); }
bool TempDir::exists(const std::string& name) const {
  struct stat st;
  return lstat(file(name).c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {

void ApplyEnv(const Env& env) {
  for (const auto& [k, v] : env) {
    if (v == "\x01") unsetenv(k.c_str());
    else setenv(k.c_str(), v.c_str(), 1);
  }
}

std::string DrainFd(int fd) {
  std::string s;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    s.append(buf, static_cast<size_t>(n));
  }
  return s;
}

// Forks; the child redirects stdout/stderr to temporary files, changes to
// `dir` and runs `child`. The parent waits and collects.
RunResult ForkAndCollect(const std::string& dir, const Env& env,
                         const std::function<void()>& child) {
  char out_name[] = "/tmp/hysteresis-out-XXXXXX";
  char err_name[] = "/tmp/hysteresis-err-XXXXXX";
  int out_fd = mkstemp(out_name);
  int err_fd = mkstemp(err_name);
  unlink(out_name);
  unlink(err_name);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0) dup2(null_fd, 0);
    if (chdir(dir.c_str()) != 0) _exit(250);
    ApplyEnv(env);
    child();
    _exit(251);
  }
  RunResult r;
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {}
  if (WIFEXITED(st)) {
    r.status = WEXITSTATUS(st);
  } else if (WIFSIGNALED(st)) {
    r.signaled = true;
    r.signal = WTERMSIG(st);
    r.status = 128 + r.signal;
  }
  lseek(out_fd, 0, SEEK_SET);
  lseek(err_fd, 0, SEEK_SET);
  r.out = DrainFd(out_fd);
  r.err = DrainFd(err_fd);
  close(out_fd);
  close(err_fd);
  return r;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const std::string& dir, const Env& env) {
  return ForkAndCollect(dir, env, [&] {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(252);
  });
}

RunResult RunHysteresis(const std::string& dir, const Env& env) {
  return RunProgram({HYSTERESIS_BINARY}, dir, env);
}

RunResult RunInChild(const std::string& dir, const std::function<int()>& body, const Env& env) {
  return ForkAndCollect(dir, env, [&] { std::exit(body()); });
}

}  // namespace testsupport
