// Another program of the suite holding a database open, in a child process, for tests of the
// open modes across processes and of a file made busy by somebody else's transaction.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/db/program_engine.h"

namespace brontal::testing {

// The SQLite lock the other program holds besides its open (a file's only).
enum class Holding {
  kNothing,
  kReadLock,    // a read under way: no commit can write the file until it ends
  kWriteLock,   // a transaction that writes (a scanner saving): nobody else can write
  kCommitLock,  // a commit writing the file: nobody can even read it
};

// Opens the database shared (a viewer idle all day) or exclusively (the maintenance tool) in a
// child process, takes `holding`, and keeps both until this object goes. opened() tells
// whether the open and the lock worked.
class OtherProgram {
 public:
  explicit OtherProgram(const std::string& path, bool exclusive = false,
                        Holding holding = Holding::kNothing) {
    int ready[2], stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(stop[1]);  // or the child would wait for itself
      int status = 0;
      try {
        auto engine = db::MakeProgramEngine();  // a file, or a database on a server
        auto database = engine->DefaultWorkspace().OpenDatabase(path, exclusive);
        // The engine copies every read out at once and takes no lock beyond what a write
        // needs, so the locks of a program caught in the middle of its work are taken here.
        sqlite3* handle = nullptr;
        if (holding != Holding::kNothing &&
            (sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
             sqlite3_exec(handle, LockStatement(holding), nullptr, nullptr, nullptr) !=
                 SQLITE_OK)) {
          status = 5;
        }
        char c = 'y';
        if (status == 0 && ::write(ready[1], &c, 1) != 1) status = 3;
        if (status == 0 && ::read(stop[0], &c, 1) < 0) status = 4;
        sqlite3_close(handle);
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
  static const char* LockStatement(Holding holding) {
    switch (holding) {
      case Holding::kReadLock:
        return "begin; select count(*) from sqlite_schema";
      case Holding::kWriteLock:
        return "begin immediate";
      default:
        return "begin exclusive";
    }
  }

  pid_t pid_;
  int stop_;
  bool opened_ = false;
};

}  // namespace brontal::testing
