// Another program of the suite holding a database open, in a child process, for tests of the
// open modes across processes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/sqlite_engine.h"

namespace brontal::testing {

// Opens the database shared (a viewer idle all day) or exclusively (the maintenance tool) in a
// child process and holds it until this object goes. opened() tells whether the open worked.
class OtherProgram {
 public:
  explicit OtherProgram(const std::string& path, bool exclusive = false) {
    int ready[2], stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(stop[1]);  // or the child would wait for itself
      int status = 0;
      try {
        auto engine = db::MakeSqliteEngine();
        auto database = engine->DefaultWorkspace().OpenDatabase(path, exclusive);
        char c = 'y';
        if (::write(ready[1], &c, 1) != 1) status = 3;
        if (::read(stop[0], &c, 1) < 0) status = 4;
      } catch (const db::DbError&) {
        status = 2;
      }
      ::_exit(status);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    stop_ = stop[1];
    char c = 0;
    opened_ = ::read(ready[0], &c, 1) == 1 && c == 'y';
    ::close(ready[0]);
  }
  ~OtherProgram() {
    ::close(stop_);
    int status;
    ::waitpid(pid_, &status, 0);
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  bool opened() const { return opened_; }

 private:
  pid_t pid_;
  int stop_;
  bool opened_ = false;
};

}  // namespace brontal::testing
