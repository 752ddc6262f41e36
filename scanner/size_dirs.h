// The sizing engine: walks one drive or share and appends one entry per directory down to the
// configured depth and one own-files entry per expanded directory, and returns the total size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"
#include "store/program_log.h"

namespace brontal {

// Errors a run may count; the next one ends it.
inline constexpr int kMaxSizingErrors = 2222;
// How many entries the entry arrays grow by at a time.
inline constexpr int kEntryArrayStep = 1111;
// How many directories of a walk are held open at once, well below the descriptors a process
// may hold: an ancestor given back is reopened through ".." when the walk needs it again.
inline constexpr int kOpenDirectoryLimit = 64;
// The most threads a walk sizes subtrees with.
inline constexpr int kMaxSizingThreads = 16;

class ErrorJournal;

// Thrown once the halting line is written, when a run's error count passes kMaxSizingErrors.
// Deliberately not a std::exception, so that handlers that trap ordinary errors let it pass
// to the program's main, which ends the program; entries not yet stored are lost.
struct HaltRun {
  std::string prefix;  // the routine that counted the last error, e.g. "ErrSizeDirs: "
};

// Run-wide state of the sizing routines, owned by the scan run and shared by all of them.
struct SizingRun {
  FileSystem& fs;
  ProgramLog& log;
  bool ignore_err53 = false;  // the NT variants pass over file-not-found errors silently
  int error_count = 0;        // errors counted by every routine of the run together
  DirEntry scratch{};         // the one entry every listing reads into; not state of the run
  // How many directories a walk holds open; at least 1 is used.
  int open_directory_limit = kOpenDirectoryLimit;
  // How many threads SizeDirs and SizeDirsNT size subtrees with; 1 (or less) walks in this
  // thread alone. The entries, the log and the error count come out the same either way.
  int threads = 1;
  // Set on the run of a worker thread: its errors are kept here, for the thread that walks in
  // order to count and log them, rather than counted and logged at once.
  ErrorJournal* journal = nullptr;

  // Counts one error. Past kMaxSizingErrors writes the date and time, `prefix` and
  // "Halting - too many errors", and throws HaltRun.
  void CountError(std::string_view prefix);
};

// The thread count a walk uses by default: the online CPUs, at least 1, at most
// kMaxSizingThreads.
int DefaultSizingThreads();
// The thread count `text` (the value of BRONTAL_THREADS) asks for, at most kMaxSizingThreads;
// nullopt when it is not a whole number of at least 1.
std::optional<int> ParseSizingThreads(std::string_view text);

// Sizes the directory `path` at `level` (2 for a drive root or share), measuring files by
// length, and returns its total bytes. names(n) must already hold `path`; appends after n its
// own-files entry (path + "\."), its subdirectories, and, while level + 1 <= maxlevel, each
// subdirectory's entries in turn, leaving n at the last one. `names` and `sizes` are indexed
// from 1 and grow together in steps of 1111; they must be of equal size, with n inside them.
// `path` may be an element of `names`. File-system errors are logged and counted, and the walk
// goes on; throws HaltRun past the error limit, std::invalid_argument for unequal arrays.
// Below `path` directories are entered through their parent, never by path: one that became a
// symbolic link or a mount after it was listed is an error, not followed. A directory that
// cannot be returned to as the same one (the tree was moved meanwhile) is an error too, and
// the walk leaves the rest of it. Any depth is walked, without deep recursion.
// With run.threads above 1 the subdirectories sized whole (those at maxlevel + 1) are sized by
// worker threads, each entered through the same parent as by a single thread, while the walk
// goes on, a few subtrees per thread ahead; sizes, totals, log lines and errors are settled in
// the order a single thread would reach them, so that only a tree changed during the walk can
// come out otherwise. Past the error limit the walk halts at the same error, and the workers
// are stopped before this returns or throws.
std::int64_t SizeDirs(SizingRun& run, std::string_view path, std::vector<std::string>& names,
                      std::vector<std::int64_t>& sizes, int& n, int level, int maxlevel);
// SizeDirs measuring files by the space they occupy (DirEntry::compressed), except a
// "pagefile.sys" in the root, which counts by length.
std::int64_t SizeDirsNT(SizingRun& run, std::string_view path, std::vector<std::string>& names,
                        std::vector<std::int64_t>& sizes, int& n, int level, int maxlevel);

// Total bytes of the whole subtree of `path`, files measured by length; appends nothing.
// Errors as for SizeDirs.
std::int64_t SizeDir(SizingRun& run, std::string_view path);
// SizeDir measuring files by the space they occupy.
std::int64_t SizeDirNT(SizingRun& run, std::string_view path);

}  // namespace brontal
