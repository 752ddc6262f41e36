// The directory walks of the sizing engine, in a length and a compressed-size variant that
// differ only in how a file is measured and how their log lines are prefixed. The walks keep
// their own stacks and open each directory through its parent, so that neither the depth of a
// tree nor a directory swapped for a link can take them off course. Subtrees sized whole may be
// handed to worker threads, whose errors the walk counts and logs in its own order.
#include "scanner/size_dirs.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <variant>

#include "scanner/worker_pool.h"

namespace brontal {

// What a walk and its workers tell each other.
struct WorkerSignals {
  // The run's error count once the subtrees handed out before the current one were consumed.
  std::atomic<int> run_errors{0};
  // Set when the walk ends, normally or not: a worker leaves what it is sizing.
  std::atomic<bool> stop{false};
};

namespace {

// Thrown in a worker to leave its subtree: the walk has ended, or will halt before it needs
// the subtree's total.
struct WorkerStopped {};

}  // namespace

// The errors of one worker's subtree, kept in the order they came, each as its halting prefix
// and what completes its stamped line.
class ErrorJournal {
 public:
  explicit ErrorJournal(const WorkerSignals& signals) : signals_(&signals) {}

  // Keeps an error. Throws WorkerStopped when the walk has ended, or when the run will surely
  // have halted by this error, whatever comes before it.
  void Add(std::string_view halt_prefix, std::function<void(ZoneLine&)> fill) {
    entries_.push_back(Entry{std::string(halt_prefix), std::move(fill)});
    if (signals_->run_errors.load(std::memory_order_relaxed) +
            static_cast<std::int64_t>(entries_.size()) >
        kMaxSizingErrors) {
      throw WorkerStopped{};
    }
    ThrowIfStopped();
  }

  bool Empty() const { return entries_.empty(); }

  void ThrowIfStopped() const {
    if (signals_->stop.load(std::memory_order_relaxed)) throw WorkerStopped{};
  }

  // Counts and logs the errors on `run` as they would have been at once; throws HaltRun past
  // the limit.
  void Replay(SizingRun& run) const {
    for (const Entry& entry : entries_) {
      run.CountError(entry.halt_prefix);
      ZoneLine line = run.log.Stamped();
      entry.fill(line);
      run.log.Raw(line);
    }
  }

 private:
  struct Entry {
    std::string halt_prefix;
    std::function<void(ZoneLine&)> fill;
  };
  const WorkerSignals* signals_;
  std::vector<Entry> entries_;
};

namespace {

// Step markers: the error line of SizeDirs names the step that failed.
constexpr std::string_view kStarting = "Starting";
constexpr std::string_view kFirstDirGet = "firstdirget";
constexpr std::string_view kDirCheck = "dircheck";
constexpr std::string_view kTotalAddPagefile = "totaladdpagefile";
constexpr std::string_view kTotalAdd = "totaladd";
constexpr std::string_view kArrayExtension = "array extension";
constexpr std::string_view kDirsAssign = "dirs(n)assign";
constexpr std::string_view kNextDir = "nextdir";
constexpr std::string_view kArrayExtension2 = "array extension2";
constexpr std::string_view kDirsAddCur = "dirsaddcur";
constexpr std::string_view kDsAddCur = "dsaddcur";
constexpr std::string_view kLastFor = "lastfor";
constexpr std::string_view kCallSizeDir = "CallSizeDir";
constexpr std::string_view kTotalAddDs = "totaladdds(i)";
constexpr std::string_view kReturnExit = "returnexit";

constexpr std::string_view kHalting = "Halting - too many errors";
// The fallback to a file's plain length halts under this prefix in both NT routines.
constexpr std::string_view kFallbackHaltPrefix = "errSizeDirNT: ";

// What the variants log under; the spellings, case included, are part of the log format.
struct ByLength {
  static constexpr bool kNT = false;
  static constexpr std::string_view kDirPrefix = "ErrSizeDir: ";
  static constexpr std::string_view kDirsPrefix = "ErrSizeDirs: ";
  static constexpr std::string_view kDirFallbackPrefix = "";
  static constexpr std::string_view kDirsFallbackPrefix = "";
  static constexpr std::string_view kCallSizeDirs = "CallSizeDirs";
};

struct ByCompressedSize {
  static constexpr bool kNT = true;
  static constexpr std::string_view kDirPrefix = "errSizeDirNT: ";
  static constexpr std::string_view kDirsPrefix = "ErrSizeDirsNT: ";
  static constexpr std::string_view kDirFallbackPrefix = "ErrSizeDirNT: ";
  static constexpr std::string_view kDirsFallbackPrefix = "ErrSizeDirsNT: ";
  static constexpr std::string_view kCallSizeDirs = "CallSizeDirsNT";
};

int UpperBound(const std::vector<std::string>& names) { return static_cast<int>(names.size()) - 1; }

void Grow(std::vector<std::string>& names, std::vector<std::int64_t>& sizes, int upper_bound) {
  // resize keeps the visible bound at the step while the capacity grows geometrically, so
  // the copying stays linear on drives with millions of directories.
  names.resize(static_cast<std::size_t>(upper_bound) + 1);
  sizes.resize(static_cast<std::size_t>(upper_bound) + 1);
}

bool IsDirectory(const DirEntry& entry) {
  // Unreadable attributes make a plain file of the entry, by design neither logged nor counted.
  return entry.attributes_error == 0 && (entry.attributes & kAttrDirectory) != 0;
}

std::string WithSeparator(std::string_view path) {
  std::string dir(path);
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir;
}

std::int64_t KnownLength(const DirEntry& entry) {
  if (entry.size_error != 0) throw FsError(entry.size_error, entry.size_error_text);
  return entry.length;
}

// Counts and logs an error: `fill` completes its stamped line. On a worker's run the error is
// kept for the walk to count and log in order, so `fill` must own what it writes.
template <class Fill>
void Emit(SizingRun& run, std::string_view halt_prefix, Fill&& fill) {
  if (run.journal != nullptr) {
    run.journal->Add(halt_prefix, std::forward<Fill>(fill));
    return;
  }
  run.CountError(halt_prefix);
  ZoneLine line = run.log.Stamped();
  fill(line);
  run.log.Raw(line);
}

// The length of a file whose allocated size could not be read, taken through its short path.
std::int64_t FallbackLength(SizingRun& run, const std::string& path,
                            std::string_view fallback_prefix) {
  std::string short_path = run.fs.ShortPathOf(path);
  if (!run.ignore_err53) {
    Emit(run, kFallbackHaltPrefix,
         [fallback_prefix, text = "Resorting to simple file length function for '" + path + "' (" +
                                  short_path + ")"](ZoneLine& line) {
           line.Text(fallback_prefix).Zone().Text(text);
         });
  }
  return KnownLength(run.fs.Stat(short_path));
}

// The bytes a listed file counts for. `dir_text()` gives the path of its directory, with a
// trailing separator; it is called only when the file must be measured again by path. Throws
// FsError when the file cannot be measured.
template <class Variant, class DirText>
std::int64_t FileSize(SizingRun& run, const DirText& dir_text, const DirEntry& entry,
                      std::string_view fallback_prefix) {
  if constexpr (Variant::kNT) {
    if (entry.size_error == 0) return entry.compressed;
    return FallbackLength(run, dir_text() + entry.name, fallback_prefix);
  } else {
    return KnownLength(entry);
  }
}

// Whether an error is passed over without a trace.
template <class Variant>
bool Ignored(const SizingRun& run, const FsError& error) {
  return Variant::kNT && run.ignore_err53 && error.Number() == kFsFileNotFound;
}

// The error line of SizeDir. The directory's path is asked of `dir_text()` only for an error
// that is logged: deep in a tree it is long.
template <class Variant, class DirText>
void DirError(SizingRun& run, const FsError& error, const DirText& dir_text,
              std::string_view name) {
  if (Ignored<Variant>(run, error)) return;
  Emit(run, Variant::kDirPrefix,
       [number = error.Number(), text = std::string(error.what()), dir = dir_text(),
        name = std::string(name)](ZoneLine& line) {
         line.Text(Variant::kDirPrefix)
             .Zone()
             .Number(number)
             .Zone()
             .Text(text)
             .Zone()
             .Text(dir)
             .Zone()
             .Text(name);
       });
}

// Where a SizeDirs walk stood when an error came, for its error line.
struct DirsPlace {
  const std::string& dir;
  const std::string& name;
  std::string_view marker;
  int i;
  int n;
  int last;
  int names_bound;
  int sizes_bound;
};

template <class Variant>
void DirsError(SizingRun& run, const FsError& error, const DirsPlace& place) {
  if (Ignored<Variant>(run, error)) return;
  // The line may be written after the subtrees handed out before it: it owns what it shows.
  Emit(run, Variant::kDirsPrefix,
       [number = error.Number(), text = std::string(error.what()), dir = place.dir,
        name = place.name, marker = place.marker, i = place.i, n = place.n, last = place.last,
        names_bound = place.names_bound, sizes_bound = place.sizes_bound](ZoneLine& line) {
         line.Text(Variant::kDirsPrefix)
             .Zone()
             .Number(number)
             .Zone()
             .Text(text)
             .Zone()
             .Text("mypath:")
             .Text(dir)
             .Zone()
             .Text("myname:")
             .Text(name)
             .Zone()
             .Text("errloc:")
             .Text(marker)
             .Zone()
             .Number(i)
             .Zone()
             .Number(n)
             .Zone()
             .Number(last)
             .Zone()
             .Number(names_bound)
             .Zone()
             .Number(sizes_bound);
       });
}

// The directories from a walk's root down to where it stands, each opened through the one
// above it. Only the deepest few are held open, so that no depth exhausts the descriptors; a
// directory given back is reopened when the walk needs it again, to enter its next
// subdirectory: through ".." from the last directory the walk left below it, as fts(3) does,
// or through its path when that way was lost with a directory below. Either way it must prove
// to be the directory first opened there, so that a tree moved meanwhile is never walked into.
// Climbing past directories with nothing left to enter costs nothing.
class DirectoryChain {
 public:
  DirectoryChain(FileSystem& fs, int open_limit)
      : fs_(fs), open_limit_(static_cast<std::size_t>(std::max(open_limit, 1))) {}

  // Opens the walk's root by its path `dir`, which ends in a separator. Throws FsError.
  void OpenRoot(const std::string& dir) { Adopt(fs_.List(dir), dir); }

  // Starts the walk from `dir`, already open, whose logical path is `path` with a trailing
  // separator.
  void Adopt(std::unique_ptr<DirectoryListing> dir, std::string path) {
    Push(std::move(dir), std::move(path));
  }

  // Makes sure the deepest directory is open, before its next subdirectory is entered. Throws
  // FsError when it cannot be had again as the same directory; the walk must then leave the
  // rest of it.
  void Reopen() {
    const std::size_t top = levels_.size() - 1;
    if (levels_[top].dir) return;
    std::unique_ptr<DirectoryListing> reopened;
    try {
      if (below_) {
        reopened = std::move(below_);
        for (std::size_t hop = 0; hop < hops_; ++hop) reopened = reopened->OpenParent();
      } else {
        reopened = fs_.List(Dir(top));
      }
    } catch (const FsError&) {
      below_.reset();
      throw;
    }
    if (reopened->Id() != levels_[top].id) {
      throw FsError(kFsPathNotFound,
                    "Path not found: '" + Dir(top) + "' (moved while it was being sized)");
    }
    levels_[top].dir = std::move(reopened);
    first_open_ = top;
  }

  // Enters the subdirectory `name` of the deepest directory, which must be open. Throws
  // FsError, staying where it was, when it cannot be opened or is no directory of this drive
  // any more.
  void Descend(std::string_view name) {
    Push(levels_.back().dir->OpenChild(name), std::string(name));
  }

  // Leaves the deepest directory for its parent, which is reopened only if the walk asks.
  void Ascend() {
    std::unique_ptr<DirectoryListing> child = std::move(levels_.back().dir);
    levels_.pop_back();
    if (first_open_ < levels_.size()) return;  // the parent is still open
    if (child) {
      below_ = std::move(child);
      hops_ = 1;
    } else if (below_) {
      ++hops_;
    }
  }

  // The deepest directory, which must be open.
  DirectoryListing& Top() { return *levels_.back().dir; }

  // The logical path of the deepest directory, with a trailing separator. It takes time in
  // proportion to the depth, so the walks ask for it only to log an error.
  std::string Dir() const { return Dir(levels_.size() - 1); }

 private:
  struct Level {
    std::unique_ptr<DirectoryListing> dir;  // null once given back
    DirectoryId id;                         // as first opened
    std::string name;                       // the root's whole path, then one name per level
  };

  void Push(std::unique_ptr<DirectoryListing> dir, std::string name) {
    const DirectoryId id = dir->Id();
    levels_.push_back(Level{std::move(dir), id, std::move(name)});
    if (levels_.size() - first_open_ > open_limit_) levels_[first_open_++].dir.reset();
  }

  std::string Dir(std::size_t level) const {
    std::string dir = levels_[0].name;
    for (std::size_t k = 1; k <= level; ++k) dir.append(levels_[k].name).push_back('\\');
    return dir;
  }

  FileSystem& fs_;
  std::size_t open_limit_;
  std::vector<Level> levels_;
  std::size_t first_open_ = 0;  // the levels from here down are open, when any is
  // Once the walk has climbed above every open directory: the last one it left, `hops_` levels
  // below the deepest directory. Null when that one had been lost: the way back is the path.
  std::unique_ptr<DirectoryListing> below_;
  std::size_t hops_ = 0;
};

// One directory of a SizeDir walk: what its files came to, and its subdirectories to walk.
struct SubtreeLevel {
  std::vector<std::string> subdirs;
  std::size_t next = 0;
  std::int64_t total = 0;
};

// Lists the walk's deepest directory, adding up its files; keeps its subdirectories' names when
// `descend` is set.
template <class Variant>
SubtreeLevel ListSubtreeLevel(SizingRun& run, DirectoryChain& chain, bool descend) {
  DirEntry& entry = run.scratch;
  const auto dir = [&chain] { return chain.Dir(); };
  SubtreeLevel level;
  DirectoryListing& listing = chain.Top();
  for (;;) {
    try {
      if (!listing.Next(entry)) break;
    } catch (const FsError& error) {
      // The listing goes on with the next entry where the platform allows it.
      DirError<Variant>(run, error, dir, entry.name);
      continue;
    }
    if (IsDirectory(entry)) {
      if (descend) level.subdirs.push_back(entry.name);
      continue;
    }
    try {
      level.total += FileSize<Variant>(run, dir, entry, Variant::kDirFallbackPrefix);
    } catch (const FsError& error) {
      DirError<Variant>(run, error, dir, entry.name);
    }
  }
  return level;
}

// The total of the walk's deepest directory and everything below it, depth first in the
// order of the listings, with a stack of its own; the walk ends where it started. `descend`
// false sizes the directory's own files only.
template <class Variant>
std::int64_t SizeSubtree(SizingRun& run, DirectoryChain& chain, bool descend) {
  std::vector<SubtreeLevel> levels;
  levels.push_back(ListSubtreeLevel<Variant>(run, chain, descend));
  for (;;) {
    SubtreeLevel& level = levels.back();
    if (level.next < level.subdirs.size()) {
      run.scratch.name.clear();
      try {
        chain.Reopen();
      } catch (const FsError& error) {
        // What is left of this directory can no longer be reached for sure.
        level.next = level.subdirs.size();
        DirError<Variant>(
            run, error, [&chain] { return chain.Dir(); }, run.scratch.name);
        continue;
      }
      const std::string& name = level.subdirs[level.next++];
      try {
        chain.Descend(name);
      } catch (const FsError& error) {
        DirError<Variant>(
            run, error, [&] { return chain.Dir() + name + '\\'; }, run.scratch.name);
        continue;
      }
      if (run.journal != nullptr) run.journal->ThrowIfStopped();
      // Only a listing that shows "." (a fake's can) names a directory through itself.
      const bool descend_child = name != ".";
      levels.push_back(ListSubtreeLevel<Variant>(run, chain, descend_child));
      continue;
    }
    const std::int64_t total = level.total;
    levels.pop_back();
    if (levels.empty()) return total;
    levels.back().total += total;
    chain.Ascend();
  }
}

template <class Variant>
std::int64_t SizeDirImpl(SizingRun& run, std::string_view path) {
  const std::string dir = WithSeparator(path);
  run.scratch.name.clear();
  DirectoryChain chain(run.fs, run.open_directory_limit);
  try {
    chain.OpenRoot(dir);
  } catch (const FsError& error) {
    DirError<Variant>(
        run, error, [&dir] { return dir; }, run.scratch.name);
    return 0;
  }
  // A path ending in "\.\" names a directory through itself; descending would never end.
  return SizeSubtree<Variant>(run, chain, !dir.ends_with("\\.\\"));
}

// What a worker made of one subtree sized whole.
struct SubtreeOutcome {
  std::int64_t total = 0;
  ErrorJournal errors;
};

// On a worker thread: the total of the directory `dir`, opened by the walk through its parent,
// whose logical path is `path`, and everything below it, as the walk in order would size it,
// its errors kept for that walk. `run` gives the file system and the settings, and is not
// changed.
template <class Variant>
SubtreeOutcome SizeSubtreeApart(const SizingRun& run, const WorkerSignals& signals,
                                std::unique_ptr<DirectoryListing> dir, const std::string& path,
                                bool descend, int open_limit) {
  SubtreeOutcome outcome{0, ErrorJournal(signals)};
  SizingRun worker{run.fs, run.log, run.ignore_err53};
  worker.journal = &outcome.errors;
  try {
    DirectoryChain chain(worker.fs, open_limit);
    chain.Adopt(std::move(dir), path);
    outcome.total = SizeSubtree<Variant>(worker, chain, descend);
  } catch (const WorkerStopped&) {
    // The walk has ended, or halts within this subtree's errors: its total is never used.
  }
  return outcome;
}

// One directory of a SizeDirs walk that gets entries of its own, and where the walk stands in
// it, for its error lines.
struct ExpandedLevel {
  std::string dir;  // its path with a trailing separator
  int level = 0;
  std::string_view marker = kStarting;
  int i = 0;     // the subdirectory entry being sized, 0 while listing
  int last = 0;  // its last subdirectory entry
  std::int64_t total = 0;
  bool open = false;  // whether the chain stands in it
};

// A SizeDirs walk: the directories down to maxlevel get entries in `names` and `sizes`, those
// below are sized whole, depth first, with a stack of its own.
//
// With more than one thread the subdirectories sized whole are handed to workers, and the walk
// goes on without waiting for them, up to a few subtrees per thread ahead: what it cannot know
// yet (a size, a directory's total, the log lines and error counts that follow a subtree still
// being sized) waits in a queue of results, settled strictly in the order a single thread would
// have reached them. So the entries, the log and the error count come out the same, and a
// directory with few subdirectories (a narrow tree walked deep) keeps every thread busy.
template <class Variant>
class ExpandingWalk {
 public:
  ExpandingWalk(SizingRun& run, std::vector<std::string>& names, std::vector<std::int64_t>& sizes,
                int& n, int maxlevel)
      : run_(run),
        names_(names),
        sizes_(sizes),
        n_(n),
        maxlevel_(maxlevel),
        chain_(run.fs, run.open_directory_limit),
        threads_(std::clamp(run.threads, 1, kMaxSizingThreads)),
        journal_(signals_) {
    signals_.run_errors.store(run.error_count, std::memory_order_relaxed);
    // The walk's own errors wait their turn behind the subtrees handed out before them.
    if (threads_ > 1) run_.journal = &journal_;
  }
  ExpandingWalk(const ExpandingWalk&) = delete;
  ExpandingWalk& operator=(const ExpandingWalk&) = delete;
  // Workers still sizing leave their subtrees; the pool, going first, waits for them.
  ~ExpandingWalk() {
    signals_.stop.store(true);
    if (run_.journal == &journal_) run_.journal = nullptr;
  }

  std::int64_t Run(std::string_view path, int level) {
    // Copied before the arrays can grow, as `path` may be one of their elements.
    stack_.push_back(std::make_shared<ExpandedLevel>(ExpandedLevel{WithSeparator(path), level}));
    try {
      Expand([this] { chain_.OpenRoot(stack_.back()->dir); });
      for (;;) {
        SettleReady();
        ExpandedLevel& at = *stack_.back();
        if (at.i <= at.last) {
          const bool whole = at.level + 1 > maxlevel_;
          at.marker = whole ? kCallSizeDir : Variant::kCallSizeDirs;
          if (!Reenter(at)) continue;
          const std::string name = names_[at.i].substr(at.dir.size());
          if (!whole) {
            stack_.push_back(std::make_shared<ExpandedLevel>(
                ExpandedLevel{WithSeparator(names_[at.i]), at.level + 1}));
            Expand([this, &name] { chain_.Descend(name); });
          } else if (threads_ > 1) {
            HandOut(name);
          } else {
            const std::int64_t size = SizeWhole(at, name);
            Settle(Result{stack_.back(), NextSlot(at), size});
          }
          continue;
        }
        at.marker = kReturnExit;
        std::shared_ptr<ExpandedLevel> done = std::move(stack_.back());
        stack_.pop_back();
        if (stack_.empty()) {
          SettleAll();
          return done->total;
        }
        if (done->open) chain_.Ascend();
        ExpandedLevel& parent = *stack_.back();
        Settle(Result{stack_.back(), NextSlot(parent), std::move(done)});
      }
    } catch (const WorkerStopped&) {
      // The walk's own errors have passed the limit whatever comes before them: the run halts
      // at the error a single thread would have halted at, once what comes before is counted.
      SettleAll();
      throw std::logic_error("the error limit was passed without halting the run");
    }
  }

 private:
  // A size that an entry of `frame` gets once everything before it is settled: known, the
  // total of a directory walked, or that of a subtree on a worker.
  struct Result {
    std::shared_ptr<ExpandedLevel> frame;
    int slot;
    std::variant<std::int64_t, std::shared_ptr<ExpandedLevel>, std::future<SubtreeOutcome>> size;
  };
  // What waits to be settled, in order: a result, or errors of the walk that follow the last.
  using Pending = std::variant<Result, ErrorJournal>;

  void Fail(const ExpandedLevel& at, const FsError& error) {
    DirsError<Variant>(run_, error,
                       DirsPlace{at.dir, run_.scratch.name, at.marker, at.i, n_, at.last,
                                 UpperBound(names_), static_cast<int>(sizes_.size()) - 1});
  }

  // Opens the newest level with `open`, lists it, and appends its own-files entry and its
  // subdirectories; an unlistable directory still gets its own-files entry.
  template <class Open>
  void Expand(Open open) {
    ExpandedLevel& at = *stack_.back();
    run_.scratch.name.clear();
    at.last = n_ + 1;  // slot n + 1 is kept for the own-files entry
    at.marker = kFirstDirGet;
    try {
      open();
      at.open = true;
    } catch (const FsError& error) {
      Fail(at, error);
    }
    if (at.open) List(at);
    run_.scratch.name.clear();  // no entry is current once the listing is done

    if (n_ + 1 >= UpperBound(names_) - 1) {
      at.marker = kArrayExtension2;
      Grow(names_, sizes_, n_ + kEntryArrayStep);
    }
    at.marker = kDirsAddCur;
    names_[n_ + 1].assign(at.dir).append(".");
    at.marker = kDsAddCur;
    sizes_[n_ + 1] = at.total;  // its files alone: its subdirectories are added later
    // Every subdirectory slot counts as used before the walk appends below them, so that the
    // entries of one parent lie together.
    at.i = n_ + 2;
    n_ = at.last;
    at.marker = kLastFor;
  }

  void List(ExpandedLevel& at) {
    DirectoryListing& listing = chain_.Top();
    DirEntry& entry = run_.scratch;
    for (;;) {
      try {
        if (!listing.Next(entry)) break;
      } catch (const FsError& error) {
        // The listing goes on with the next entry where the platform allows it.
        Fail(at, error);
        continue;
      }
      at.marker = kDirCheck;
      try {
        if (at.level == 2 && entry.name == "pagefile.sys") {
          // The page file counts by length even where files count by allocated space.
          at.marker = kTotalAddPagefile;
          at.total += KnownLength(entry);
        } else if (IsDirectory(entry)) {
          ++at.last;
          if (at.last >= UpperBound(names_) - 1) {
            at.marker = kArrayExtension;
            Grow(names_, sizes_, at.last + kEntryArrayStep);
          }
          at.marker = kDirsAssign;
          names_[at.last].assign(at.dir).append(entry.name);
        } else {
          at.marker = kTotalAdd;
          at.total += FileSize<Variant>(
              run_, [&at] { return at.dir; }, entry, Variant::kDirsFallbackPrefix);
        }
      } catch (const FsError& error) {
        Fail(at, error);
      }
      at.marker = kNextDir;
    }
  }

  // The whole size of the subdirectory `name` of `at`, which gets no entries of its own.
  std::int64_t SizeWhole(const ExpandedLevel& at, const std::string& name) {
    run_.scratch.name.clear();
    try {
      chain_.Descend(name);
    } catch (const FsError& error) {
      DirError<Variant>(
          run_, error, [&] { return at.dir + name + '\\'; }, run_.scratch.name);
      return 0;
    }
    const std::int64_t size = SizeSubtree<Variant>(run_, chain_, name != ".");
    chain_.Ascend();
    return size;
  }

  // Hands the subdirectory `name` of the deepest directory, sized whole, to a worker. It is
  // opened here, through its parent, as a single thread would enter it; the worker takes it
  // from there, so the walk may leave the parent meanwhile.
  void HandOut(const std::string& name) {
    const ExpandedLevel& at = *stack_.back();
    run_.scratch.name.clear();
    std::unique_ptr<DirectoryListing> dir;
    try {
      dir = chain_.Top().OpenChild(name);
    } catch (const FsError& error) {
      DirError<Variant>(
          run_, error, [&] { return at.dir + name + '\\'; }, run_.scratch.name);
      Settle(Result{stack_.back(), NextSlot(*stack_.back()), std::int64_t{0}});
      return;
    }
    if (!pool_) pool_.emplace(threads_);
    // Each worker holds a quarter of the walk's directories open, so that with the most threads
    // all of them together stay far below the descriptors a process may hold.
    const int open_limit = std::max(run_.open_directory_limit / 4, 1);
    std::future<SubtreeOutcome> outcome =
        pool_->Submit([&run = run_, &signals = signals_, dir = std::move(dir),
                       path = at.dir + name + '\\', descend = name != ".", open_limit]() mutable {
          return SizeSubtreeApart<Variant>(run, signals, std::move(dir), path, descend, open_limit);
        });
    Settle(Result{stack_.back(), NextSlot(*stack_.back()), std::move(outcome)});
    ++handed_out_;
    // A few subtrees per thread ahead of the one waited for keep the threads busy, and bound
    // what waits to be settled.
    while (handed_out_ > 4 * threads_) SettleFirst();
  }

  // Makes sure the walk can enter the next subdirectory of `at`; when `at` cannot be had again
  // as the same directory, logs the error and leaves its subdirectories not yet sized at 0,
  // rather than at what the arrays held before.
  bool Reenter(ExpandedLevel& at) {
    try {
      chain_.Reopen();
      return true;
    } catch (const FsError& error) {
      run_.scratch.name.clear();
      Fail(at, error);
      for (int j = at.i; j <= at.last; ++j) sizes_[j] = 0;
      at.i = at.last + 1;
      return false;
    }
  }

  // The entry of `at` that the next result goes to; the walk moves on to the one after it.
  static int NextSlot(ExpandedLevel& at) {
    at.marker = kTotalAddDs;
    return at.i++;
  }

  // Records `result` now when nothing is waiting before it, or queues it.
  void Settle(Result result) {
    QueueErrors();
    if (pending_.empty() && std::holds_alternative<std::int64_t>(result.size)) {
      Record(result);
      return;
    }
    pending_.emplace_back(std::move(result));
    SettleReady();
  }

  // Moves the walk's errors since the last result to the queue, behind it.
  void QueueErrors() {
    if (journal_.Empty()) return;
    pending_.emplace_back(std::exchange(journal_, ErrorJournal(signals_)));
  }

  // Settles what is due at the front of the queue without waiting for a worker.
  void SettleReady() {
    QueueErrors();
    while (!pending_.empty()) {
      if (const auto* result = std::get_if<Result>(&pending_.front())) {
        const auto* outcome = std::get_if<std::future<SubtreeOutcome>>(&result->size);
        if (outcome != nullptr &&
            outcome->wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
          return;
        }
      }
      SettleFirst();
    }
  }

  void SettleAll() {
    QueueErrors();
    while (!pending_.empty()) SettleFirst();
  }

  // Settles the front of the queue, waiting for its worker if need be: its errors are counted
  // and logged, past the limit halting the run, and its size recorded.
  void SettleFirst() {
    Pending first = std::move(pending_.front());
    pending_.pop_front();
    if (auto* errors = std::get_if<ErrorJournal>(&first)) {
      errors->Replay(run_);
    } else {
      Result& result = std::get<Result>(first);
      if (auto* outcome = std::get_if<std::future<SubtreeOutcome>>(&result.size)) {
        --handed_out_;
        SubtreeOutcome subtree = outcome->get();
        subtree.errors.Replay(run_);
        result.size = subtree.total;
      }
      Record(result);
    }
    signals_.run_errors.store(run_.error_count, std::memory_order_relaxed);
  }

  // Gives an entry its size, adds it to its directory's total, and logs a third-level entry.
  void Record(const Result& result) {
    const std::int64_t size = std::holds_alternative<std::int64_t>(result.size)
                                  ? std::get<std::int64_t>(result.size)
                                  : std::get<std::shared_ptr<ExpandedLevel>>(result.size)->total;
    ExpandedLevel& at = *result.frame;
    sizes_[result.slot] = size;
    at.total += size;
    if (at.level + 1 == 3) {
      run_.log.Raw(run_.log.Stamped().Text("  ").Text(names_[result.slot]).Zone().Number(size));
    }
  }

  SizingRun& run_;
  std::vector<std::string>& names_;
  std::vector<std::int64_t>& sizes_;
  int& n_;
  int maxlevel_;
  DirectoryChain chain_;
  std::vector<std::shared_ptr<ExpandedLevel>> stack_;
  int threads_;
  WorkerSignals signals_;
  // The walk's own errors since the last result queued, with more than one thread.
  ErrorJournal journal_;
  std::deque<Pending> pending_;
  int handed_out_ = 0;  // subtrees on the workers, or done and not yet settled
  // Made at the first subtree handed out; last, so that it goes first, its workers still
  // sizing what the queue's futures wait for.
  std::optional<WorkerPool> pool_;
};

template <class Variant>
std::int64_t SizeDirsImpl(SizingRun& run, std::string_view path, std::vector<std::string>& names,
                          std::vector<std::int64_t>& sizes, int& n, int level, int maxlevel) {
  if (names.size() != sizes.size() || n < 0 || n >= static_cast<int>(names.size())) {
    throw std::invalid_argument("entry arrays of " + std::to_string(names.size()) + " and " +
                                std::to_string(sizes.size()) + " with n " + std::to_string(n));
  }
  return ExpandingWalk<Variant>(run, names, sizes, n, maxlevel).Run(path, level);
}

}  // namespace

int DefaultSizingThreads() {
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return static_cast<int>(std::clamp<long>(online, 1, kMaxSizingThreads));
}

std::optional<int> ParseSizingThreads(std::string_view text) {
  int threads = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, threads);
  if (error == std::errc::result_out_of_range && stop == end && !text.starts_with('-')) {
    return kMaxSizingThreads;
  }
  if (error != std::errc() || stop != end || threads < 1) return std::nullopt;
  return std::min(threads, kMaxSizingThreads);
}

void SizingRun::CountError(std::string_view prefix) {
  if (++error_count > kMaxSizingErrors) {
    log.Raw(log.Stamped().Text(prefix).Zone().Text(kHalting));
    throw HaltRun{std::string(prefix)};
  }
}

std::int64_t SizeDirs(SizingRun& run, std::string_view path, std::vector<std::string>& names,
                      std::vector<std::int64_t>& sizes, int& n, int level, int maxlevel) {
  return SizeDirsImpl<ByLength>(run, path, names, sizes, n, level, maxlevel);
}

std::int64_t SizeDirsNT(SizingRun& run, std::string_view path, std::vector<std::string>& names,
                        std::vector<std::int64_t>& sizes, int& n, int level, int maxlevel) {
  return SizeDirsImpl<ByCompressedSize>(run, path, names, sizes, n, level, maxlevel);
}

std::int64_t SizeDir(SizingRun& run, std::string_view path) {
  return SizeDirImpl<ByLength>(run, path);
}

std::int64_t SizeDirNT(SizingRun& run, std::string_view path) {
  return SizeDirImpl<ByCompressedSize>(run, path);
}

}  // namespace brontal
