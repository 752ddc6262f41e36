// The directory walks of the sizing engine, in a length and a compressed-size variant that
// differ only in how a file is measured and how their log lines are prefixed.
#include "scanner/size_dirs.h"

#include <memory>
#include <stdexcept>

namespace brontal {
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

// The length of a file whose allocated size could not be read, taken through its short path.
std::int64_t FallbackLength(SizingRun& run, const std::string& path,
                            std::string_view fallback_prefix) {
  std::string short_path = run.fs.ShortPathOf(path);
  if (!run.ignore_err53) {
    run.CountError(kFallbackHaltPrefix);
    run.log.Raw(run.log.Stamped()
                    .Text(fallback_prefix)
                    .Zone()
                    .Text("Resorting to simple file length function for '" + path + "' (" +
                          short_path + ")"));
  }
  return KnownLength(run.fs.Stat(short_path));
}

// The bytes a listed file counts for. Throws FsError when they cannot be measured.
template <class Variant>
std::int64_t FileSize(SizingRun& run, const std::string& dir, const DirEntry& entry,
                      std::string_view fallback_prefix) {
  if constexpr (Variant::kNT) {
    if (entry.size_error == 0) return entry.compressed;
    return FallbackLength(run, dir + entry.name, fallback_prefix);
  } else {
    return KnownLength(entry);
  }
}

// Whether an error is passed over without a trace.
template <class Variant>
bool Ignored(const SizingRun& run, const FsError& error) {
  return Variant::kNT && run.ignore_err53 && error.Number() == kFsFileNotFound;
}

template <class Variant>
void DirError(SizingRun& run, const FsError& error, const std::string& dir, std::string_view name) {
  if (Ignored<Variant>(run, error)) return;
  run.CountError(Variant::kDirPrefix);
  run.log.Raw(run.log.Stamped()
                  .Text(Variant::kDirPrefix)
                  .Zone()
                  .Number(error.Number())
                  .Zone()
                  .Text(error.what())
                  .Zone()
                  .Text(dir)
                  .Zone()
                  .Text(name));
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
  run.CountError(Variant::kDirsPrefix);
  run.log.Raw(run.log.Stamped()
                  .Text(Variant::kDirsPrefix)
                  .Zone()
                  .Number(error.Number())
                  .Zone()
                  .Text(error.what())
                  .Zone()
                  .Text("mypath:")
                  .Text(place.dir)
                  .Zone()
                  .Text("myname:")
                  .Text(place.name)
                  .Zone()
                  .Text("errloc:")
                  .Text(place.marker)
                  .Zone()
                  .Number(place.i)
                  .Zone()
                  .Number(place.n)
                  .Zone()
                  .Number(place.last)
                  .Zone()
                  .Number(place.names_bound)
                  .Zone()
                  .Number(place.sizes_bound));
}

template <class Variant>
std::int64_t SizeDirImpl(SizingRun& run, std::string_view path) {
  const std::string dir = WithSeparator(path);
  DirEntry& entry = run.scratch;
  entry.name.clear();
  std::int64_t total = 0;
  std::vector<std::string> subdirs;

  std::unique_ptr<DirectoryListing> listing;
  try {
    listing = run.fs.List(dir);
  } catch (const FsError& error) {
    DirError<Variant>(run, error, dir, entry.name);
  }
  while (listing) {
    try {
      if (!listing->Next(entry)) break;
    } catch (const FsError& error) {
      DirError<Variant>(run, error, dir, entry.name);
      continue;
    }
    if (IsDirectory(entry)) {
      subdirs.push_back(dir + entry.name);
      continue;
    }
    try {
      total += FileSize<Variant>(run, dir, entry, Variant::kDirFallbackPrefix);
    } catch (const FsError& error) {
      DirError<Variant>(run, error, dir, entry.name);
    }
  }
  // Release the directory handle before descending, so deep trees do not run out of them.
  listing.reset();

  // A path ending in "\.\" names a directory through itself; descending would never end.
  if (!dir.ends_with("\\.\\")) {
    for (const std::string& subdir : subdirs) total += SizeDirImpl<Variant>(run, subdir);
  }
  return total;
}

template <class Variant>
std::int64_t SizeDirsImpl(SizingRun& run, std::string_view path, std::vector<std::string>& names,
                          std::vector<std::int64_t>& sizes, int& n, int level, int maxlevel) {
  if (names.size() != sizes.size() || n < 0 || n >= static_cast<int>(names.size())) {
    throw std::invalid_argument("entry arrays of " + std::to_string(names.size()) + " and " +
                                std::to_string(sizes.size()) + " with n " + std::to_string(n));
  }
  std::string_view marker = kStarting;
  // Copied before the arrays can grow, as `path` may be one of their elements.
  const std::string dir = WithSeparator(path);
  DirEntry& entry = run.scratch;
  entry.name.clear();
  std::int64_t total = 0;
  int last = n + 1;  // slot n + 1 is kept for the own-files entry
  int i = 0;
  auto fail = [&](const FsError& error) {
    DirsError<Variant>(run, error,
                       DirsPlace{dir, entry.name, marker, i, n, last, UpperBound(names),
                                 static_cast<int>(sizes.size()) - 1});
  };

  marker = kFirstDirGet;
  std::unique_ptr<DirectoryListing> listing;
  try {
    listing = run.fs.List(dir);
  } catch (const FsError& error) {
    fail(error);
  }
  while (listing) {
    try {
      if (!listing->Next(entry)) break;
    } catch (const FsError& error) {
      // The listing goes on with the next entry where the platform allows it.
      fail(error);
      continue;
    }
    marker = kDirCheck;
    try {
      if (level == 2 && entry.name == "pagefile.sys") {
        // The page file counts by length even where files count by allocated space.
        marker = kTotalAddPagefile;
        total += KnownLength(entry);
      } else if (IsDirectory(entry)) {
        ++last;
        if (last >= UpperBound(names) - 1) {
          marker = kArrayExtension;
          Grow(names, sizes, last + kEntryArrayStep);
        }
        marker = kDirsAssign;
        names[last].assign(dir).append(entry.name);
      } else {
        marker = kTotalAdd;
        total += FileSize<Variant>(run, dir, entry, Variant::kDirsFallbackPrefix);
      }
    } catch (const FsError& error) {
      fail(error);
    }
    marker = kNextDir;
  }
  listing.reset();
  entry.name.clear();  // no entry is current once the listing is done

  if (n + 1 >= UpperBound(names) - 1) {
    marker = kArrayExtension2;
    Grow(names, sizes, n + kEntryArrayStep);
  }
  marker = kDirsAddCur;
  names[n + 1].assign(dir).append(".");
  marker = kDsAddCur;
  sizes[n + 1] = total;

  // Every subdirectory slot counts as used before the recursion appends after it, so that the
  // entries of one parent lie together.
  const int first = n + 2;
  n = last;
  marker = kLastFor;
  for (i = first; i <= last; ++i) {
    std::int64_t size;
    if (level + 1 > maxlevel) {
      marker = kCallSizeDir;
      size = SizeDirImpl<Variant>(run, names[i]);
    } else {
      marker = Variant::kCallSizeDirs;
      size = SizeDirsImpl<Variant>(run, names[i], names, sizes, n, level + 1, maxlevel);
    }
    sizes[i] = size;
    marker = kTotalAddDs;
    total += sizes[i];
    if (level + 1 == 3) {
      run.log.Raw(run.log.Stamped().Text("  ").Text(names[i]).Zone().Number(sizes[i]));
    }
  }
  marker = kReturnExit;
  return total;
}

}  // namespace

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
