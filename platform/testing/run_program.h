// Runs a program of the build the way a scheduler does: an argument list, no shell in between,
// with its standard output and error kept for the test.
#pragma once

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/temp_folder.h"

namespace brontal::testing {

struct ProgramRun {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs `path` with `args`, its output going to files "stdout" and "stderr" in `folder`.
inline ProgramRun RunProgram(const std::string& path, std::vector<std::string> args,
                             const std::filesystem::path& folder) {
  const std::filesystem::path out = folder / "stdout", err = folder / "stderr";
  pid_t pid = ::fork();
  if (pid == 0) {
    std::string program = path;
    std::vector<char*> argv{program.data()};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) {
      ::_exit(127);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(out), ReadWholeFile(err)};
}

}  // namespace brontal::testing
