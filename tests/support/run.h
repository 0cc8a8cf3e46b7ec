// Test support: fresh temporary directories, file helpers, and running the
// built program (or a function, in a child process) with captured output.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents by
// the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;  // "" when missing
  bool exists(const std::string& name) const;

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  bool signaled = false;
  int signal = 0;
  std::string out;  // standard output
  std::string err;  // standard error
};

using Env = std::vector<std::pair<std::string, std::string>>;

// Runs `argv` (argv[0] the program path) in directory `dir` with the
// environment of this process plus `env` (a value of "\x01" unsets the
// variable), and waits for it.
RunResult RunProgram(const std::vector<std::string>& argv, const std::string& dir,
                     const Env& env = {});

// Runs the built hysteresis program in `dir`.
RunResult RunHysteresis(const std::string& dir, const Env& env = {});

// Runs `body` in a forked child whose working directory is `dir`; the
// child's exit status is body's return value (or the status it exits with).
RunResult RunInChild(const std::string& dir, const std::function<int()>& body, const Env& env = {});

// Reads a whole file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// The example job of the README: the backbone N = 2, EY = 0 1 3 6,
// SY = 0 100 150 180 and the history 9, 4, -4, 0, -3, -5.
extern const char* const kExampleInput;
extern const char* const kExampleHistory;
extern const char* const kExampleOutput;

}  // namespace testsupport
