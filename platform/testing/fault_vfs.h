// A SQLite file layer for fault tests: it wraps the default one and fails the N-th read, write,
// sync, truncate, lock or delete below the database engine, the way a failing disk would.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace brontal::testing {

// The kind of file call a FaultVfs counts and fails.
enum class FaultCall { kRead, kWrite, kSync, kTruncate, kLock, kDelete };

// What the failing call returns: the I/O error of its kind (SQLITE_IOERR_READ, _WRITE, _FSYNC,
// _TRUNCATE, _LOCK, _DELETE), or SQLITE_FULL as a full disk gives it.
enum class FaultError { kIo, kFull };

// One way the layer fails: the kind of call, its error, and whether every later call of the
// kind fails too.
struct FaultPlan {
  FaultCall call;
  FaultError error = FaultError::kIo;
  bool persistent = false;
};

// "write full persistent", "sync ioerr", ... for test output and figures.
std::string NameOf(const FaultPlan& plan);
// The same as a test name: "write_full_persistent".
std::string TestNameOf(const FaultPlan& plan);
// The same for the test framework's messages.
inline void PrintTo(const FaultPlan& plan, std::ostream* out) { *out << NameOf(plan); }

// The plans a fault test runs through: every kind of call with its I/O error, reads also
// persistently, and a write that finds the disk full once and for good.
std::vector<FaultPlan> EveryFaultPlan();

// While it lives, the default file layer of every SQLite connection opened from then on (the
// engine opens without naming one); the one it replaced is the default again after it. Nothing
// fails until Arm. Connections opened through it must be closed before it goes. One at a time.
class FaultVfs {
 public:
  FaultVfs();
  ~FaultVfs();
  FaultVfs(const FaultVfs&) = delete;
  FaultVfs& operator=(const FaultVfs&) = delete;

  // Starts counting the calls of the plan's kind, on every file, from zero: the n-th one fails
  // with the plan's error, and a persistent plan fails every later one too, as a disk that stays
  // broken or full. Arming again starts anew.
  void Arm(const FaultPlan& plan, int n);
  // Whether a call was failed since Arm.
  bool Fired() const { return fired_; }

  // Counts a call of kind `call` by the layer's files; SQLITE_OK lets it through, anything else
  // is what it returns instead.
  int Check(FaultCall call);

 private:
  struct Layer;
  std::unique_ptr<Layer> layer_;
  bool armed_ = false;
  FaultPlan plan_{FaultCall::kWrite};
  int fail_at_ = 0;
  int calls_ = 0;
  bool fired_ = false;
};

// Where a fault test keeps its files: a memory file system (/dev/shm) where there is one, else
// the system's temporary folder. The tries sync thousands of times, which a disk makes slow.
std::filesystem::path FaultTestFolder();

// SQLite's full check of the database file at path, through the default file layer: "ok" for a
// sound file, "no tables" for one that holds none (an empty file passes SQLite's check), else
// the problems found. Opening it rolls back what a failed program left in its journal, as the
// next program would. Throws std::runtime_error when it cannot be opened or read.
std::string IntegrityOf(const std::string& path);

// Runs an operation once for each n = 1, 2, ... with the plan's fault at the n-th call, until a
// run that no longer reaches it, and returns how many values of n were tried. Each try runs
// `prepare` (fresh files, no fault), then `operation` with a FaultVfs that it arms by calling
// `arm` where the counting should start, then `check(fired)` once the layer is gone, as a
// program started afterwards would find the files; a check that returns false ends the tries.
// Throws std::runtime_error past `limit`.
int TryEveryFault(const FaultPlan& plan, const std::function<void()>& prepare,
                  const std::function<void(const std::function<void()>& arm)>& operation,
                  const std::function<bool(bool fired)>& check, int limit = 5000);

}  // namespace brontal::testing
