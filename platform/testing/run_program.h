// Runs a program of the build the way a scheduler does: an argument list, no shell in between,
// with its standard output and error kept for the test.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/testing/temp_folder.h"

namespace brontal::testing {

struct ProgramRun {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// A program of the build started in the background, its output going to files "stdout" and
// "stderr" in `folder` (one folder per program running at once), with the variables of `env`
// set for it on top of this process's environment. Wait() gives its run once it ends.
class StartedProgram {
 public:
  StartedProgram(const std::string& path, std::vector<std::string> args,
                 const std::filesystem::path& folder,
                 const std::vector<std::pair<std::string, std::string>>& env = {})
      : out_(folder / "stdout"), err_(folder / "stderr") {
    // Everything the child needs is made here: between fork and exec it may only make
    // async-signal-safe calls, since another thread of this process (a test's watcher) may
    // hold the allocator's lock at the fork, and a child that allocated would wait for it
    // for ever.
    std::string program = path;
    std::vector<char*> argv{program.data()};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable) {
      const std::string entry = *variable;
      const std::string name = entry.substr(0, entry.find('='));
      bool replaced = false;
      for (const auto& change : env) replaced = replaced || change.first == name;
      if (!replaced) environment.push_back(entry);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string out_path = out_.string(), err_path = err_.string();
    std::fflush(nullptr);  // or the child would write this process's buffered output again
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("cannot start " + path);
    if (pid_ == 0) {
      const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
      ::execve(program.c_str(), argv.data(), envp.data());
      ::_exit(127);
    }
  }
  StartedProgram(StartedProgram&& other) noexcept
      : pid_(std::exchange(other.pid_, -1)),
        wait_status_(other.wait_status_),
        out_(other.out_),
        err_(other.err_) {}
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;
  ~StartedProgram() { Wait(); }

  // Waits for the program to end (at once when it has been waited for before).
  ProgramRun Wait() {
    while (pid_ > 0 && !Reap(0)) {
    }
    return {WIFEXITED(wait_status_) ? WEXITSTATUS(wait_status_) : -1, ReadWholeFile(out_),
            ReadWholeFile(err_)};
  }
  // Whether the program has ended, without waiting.
  bool Ended() { return pid_ < 0 || Reap(WNOHANG); }
  // Ends the program at once with SIGKILL, unless it has ended.
  void Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
  }
  // Whether SIGKILL ended it; false before it has been waited for.
  bool Killed() const {
    return pid_ < 0 && WIFSIGNALED(wait_status_) && WTERMSIG(wait_status_) == SIGKILL;
  }

 private:
  bool Reap(int options) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid_, &status, options);
    if (reaped == pid_) wait_status_ = status;
    if (reaped == pid_ || (reaped < 0 && errno != EINTR)) pid_ = -1;
    return pid_ < 0;
  }

  pid_t pid_ = -1;
  int wait_status_ = -1;  // not an exit: a program that could not be waited for failed
  std::filesystem::path out_, err_;
};

// Runs `path` with `args`, its output going to files "stdout" and "stderr" in `folder`.
inline ProgramRun RunProgram(const std::string& path, std::vector<std::string> args,
                             const std::filesystem::path& folder) {
  return StartedProgram(path, std::move(args), folder).Wait();
}

}  // namespace brontal::testing
