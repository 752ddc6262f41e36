// brontal-demo: a believable history of daily scans of a few Linux servers and a Windows file
// server, for trying the viewer out and for measuring it. Every run is written as brontals writes
// it, through SizeStore.
//
//   brontal-demo DATABASE [--nodes N] [--dirs N] [--days N] [--seed S] [--end YYYY-MM-DD] [--fast]
//
// The servers take turns at five roles (file, mail, web, build and backup server), each with
// its own folders and depth. The Linux nodes' drives are their mount points ("/", "/home",
// "/var", "/srv"); the first file server runs Windows and is sized through the extras.txt of
// backup01, so it is stored as the scanner stores an extra node: its name in lower case, its
// shares D: and E:, no Disks rows. Sizes grow steadily, log folders fill up during the week and
// are cleaned out on Sundays, build01's /srv fills up, a project appears halfway through and
// an old folder vanishes. The same seed gives the same database. --fast writes the same rows
// through one open connection in a transaction a month, for databases too large to write a run
// at a time.
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/message_box.h"
#include "platform/settings.h"
#include "platform/db/sqlite_engine.h"
#include "store/help_version.h"
#include "store/schema.h"
#include "store/size_store.h"
#include "store/text.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kNever = std::numeric_limits<int>::max();
constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kGiB = 1024.0 * kMiB;
// Where the scanner logs on every Linux node: beside itself in the program folder the package
// installs. The viewer opens the log through Todo; the Windows file server's row names the log of
// the node that sizes it.
constexpr std::string_view kLogFile = "/opt/brontal/bin/brontals.log";

constexpr std::string_view kUsage =
    "usage: brontal-demo DATABASE [--nodes N] [--dirs N] [--days N] [--seed S]\n"
    "                    [--end YYYY-MM-DD] [--fast]\n"
    "Creates DATABASE and fills it with daily scans of demo servers at 02:00, the last on the\n"
    "end date (defaults: 5 nodes, about 300 directory rows a node, 365 days ending today,\n"
    "seed 1). --fast writes the same rows in a transaction a month instead of a run at a time.\n";

struct DemoOptions {
  std::string database;
  int nodes = 5;
  int dirs = 300;
  int days = 365;
  std::uint64_t seed = 1;
  std::optional<DateTime> end;  // today when not given
  bool fast = false;
};

// A whole number from first to last, or nullopt.
template <typename Number>
std::optional<Number> ParseNumber(std::string_view text, Number first, Number last) {
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < first || value > last) {
    return std::nullopt;
  }
  return value;
}

// The options, or nullopt after telling what is wrong with them.
std::optional<DemoOptions> ParseOptions(int argc, char** argv) {
  DemoOptions options;
  auto fail = [](const std::string& message) {
    std::fprintf(stderr, "brontal-demo: %s\n%.*s", message.c_str(), static_cast<int>(kUsage.size()),
                 kUsage.data());
    return std::nullopt;
  };
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (argument == "--fast") {
      options.fast = true;
      continue;
    }
    if (!argument.starts_with("--")) {
      if (!options.database.empty()) return fail("one DATABASE only");
      options.database = argument;
      continue;
    }
    if (i + 1 == argc) return fail(std::string(argument) + " needs a value");
    std::string_view value = argv[++i];
    bool good = true;
    if (argument == "--nodes") {
      auto number = ParseNumber(value, 1, 1000);
      good = number.has_value();
      options.nodes = number.value_or(0);
    } else if (argument == "--dirs") {
      auto number = ParseNumber(value, 1, 1'000'000);
      good = number.has_value();
      options.dirs = number.value_or(0);
    } else if (argument == "--days") {
      auto number = ParseNumber(value, 1, 36'500);
      good = number.has_value();
      options.days = number.value_or(0);
    } else if (argument == "--seed") {
      auto number = ParseNumber<std::uint64_t>(value, 0, std::numeric_limits<std::uint64_t>::max());
      good = number.has_value();
      options.seed = number.value_or(0);
    } else if (argument == "--end") {
      options.end = value.size() == 10 ? DateTime::ParseIso(value) : std::nullopt;
      good = options.end.has_value();
    } else {
      return fail("unknown option " + std::string(argument));
    }
    if (!good) return fail("bad value '" + std::string(value) + "' for " + std::string(argument));
  }
  if (options.database.empty()) return fail("no DATABASE given");
  return options;
}

// splitmix64: a well-spread hash, so that every (seed, directory, day) has its own noise
// whatever order the values are asked for in.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// Uniform in [0, 1) for the given coordinates.
double Unit(std::uint64_t a, std::uint64_t b) {
  return static_cast<double>(Mix(Mix(a) ^ b) >> 11) * 0x1.0p-53;
}

// The choices made while the servers are laid out, drawn one after another from the seed.
class Dice {
 public:
  explicit Dice(std::uint64_t seed) : seed_(Mix(seed)) {}
  double Next() { return Unit(seed_, ++drawn_); }
  double Between(double low, double high) { return low + (high - low) * Next(); }
  // Spread over a factor of high / low evenly on a log scale, as file sizes are.
  double Spread(double low, double high) { return low * std::pow(high / low, Next()); }
  int Below(int count) { return static_cast<int>(Next() * count); }
  std::uint64_t Key() { return Mix(seed_ ^ Mix(++drawn_)); }

 private:
  std::uint64_t seed_;
  std::uint64_t drawn_ = 0;
};

// How the files lying directly in one directory change from day to day.
enum class Growth {
  kSteady,     // grows by a small share a day: documents, mail, home folders
  kPatched,    // unchanged but for the monthly updates: system folders, programs
  kWeeklyLog,  // fills during the week and is cleaned out on Sunday night
  kFilling,    // grows by a fixed amount a day: build output that nobody deletes
};

struct Files {
  Growth growth = Growth::kSteady;
  double base = 0;    // bytes on the first day, or on the day the directory appears
  double rate = 0;    // kSteady: share a day; kWeeklyLog and kFilling: bytes a day
  int born = 0;       // the first day it exists
  int gone = kNever;  // the first day it exists no more
};

Files Steady(double base, double yearly_growth) {
  return {Growth::kSteady, base, std::log1p(yearly_growth) / 365};
}
Files Patched(double base) { return {Growth::kPatched, base, 0}; }
Files WeeklyLog(double base, double per_day) { return {Growth::kWeeklyLog, base, per_day}; }

struct ModelDir {
  std::string name;
  int parent = -1;  // -1 for a drive
  int level = 2;    // 2 a drive, 3 a top-level directory, and so on
  Files files;
  std::uint64_t noise_key = 0;
  std::vector<int> children;  // in the order a directory listing gives them
};

// The sizes of one server on one day, by directory.
struct DaySizes {
  std::vector<char> alive;
  std::vector<std::int64_t> own;    // the files lying directly in the directory
  std::vector<std::int64_t> total;  // everything below it
};

// One server: its drives and the directories on them, as deep as the scanner records them
// (its level) and one further, where whole subtrees are summed up.
class NodeModel {
 public:
  // sized_by: the index of the node whose scanner sizes this one; its own index but for a node
  // named in another node's extras.txt.
  NodeModel(std::string name, int level, int sized_by)
      : name_(std::move(name)), level_(level), sized_by_(sized_by) {}

  const std::string& name() const { return name_; }
  int level() const { return level_; }
  int sized_by() const { return sized_by_; }
  // The Dirs rows of a day on which everything exists, the node row included.
  int rows() const { return rows_; }
  const std::vector<int>& drives() const { return drives_; }
  const ModelDir& dir(int index) const { return dirs_[index]; }
  Files& files(int index) { return dirs_[index].files; }
  int size() const { return static_cast<int>(dirs_.size()); }

  // Adds a drive (a mount point such as "/home", or "D:" of a Windows share) whose root holds
  // `files`; returns its index.
  int Drive(std::string letter, Files files, std::uint64_t noise_key) {
    drives_.push_back(Add(-1, std::move(letter), files, noise_key));
    return drives_.back();
  }

  // Adds a directory below parent; it exists only while its parent does.
  int Add(int parent, std::string name, Files files, std::uint64_t noise_key) {
    ModelDir dir{.name = std::move(name),
                 .parent = parent,
                 .level = parent < 0 ? 2 : dirs_[parent].level + 1,
                 .files = files,
                 .noise_key = noise_key,
                 .children = {}};
    if (dir.level <= level_ + 1) ++rows_;  // its own row
    if (dir.level <= level_) ++rows_;      // its "." row
    if (parent >= 0) dirs_[parent].children.push_back(static_cast<int>(dirs_.size()));
    dirs_.push_back(std::move(dir));
    return static_cast<int>(dirs_.size()) - 1;
  }

  // Puts every directory's children in order by name, case ignored, as NTFS lists them; a Linux
  // listing has an order of its own, and any order stores the same rows.
  void Finish() {
    for (ModelDir& dir : dirs_) {
      std::sort(dir.children.begin(), dir.children.end(),
                [&](int a, int b) { return LowerCase(dirs_[a].name) < LowerCase(dirs_[b].name); });
    }
  }

  // The sizes on `day` (0 the first), a `weekday` from Monday 1 to Sunday 7.
  void Size(int day, int weekday, DaySizes& out) const {
    const std::size_t count = dirs_.size();
    out.alive.assign(count, 0);
    out.own.assign(count, 0);
    out.total.assign(count, 0);
    // Parents come before their children, so one pass down decides what exists and one pass
    // up sums the sizes.
    for (std::size_t i = 0; i < count; ++i) {
      const ModelDir& dir = dirs_[i];
      out.alive[i] = day >= dir.files.born && day < dir.files.gone &&
                     (dir.parent < 0 || out.alive[dir.parent]);
      if (out.alive[i]) out.own[i] = Own(dir, day, weekday);
    }
    for (std::size_t i = count; i-- > 0;) {
      if (!out.alive[i]) continue;
      out.total[i] += out.own[i];
      if (dirs_[i].parent >= 0) out.total[dirs_[i].parent] += out.total[i];
    }
  }

  // The entries of one run as the sizing engine lists them, from names(n + 1) on: for each
  // drive its own entry ("/var"), then for every directory it expands (the drive, and each
  // directory down to the node's level) its own files ("/var\log\.") and its
  // subdirectories together, and after them the expansion of each subdirectory in turn.
  // Returns the node total, the sum of the drives.
  std::int64_t Entries(const DaySizes& sizes, std::vector<std::string>& names,
                       std::vector<std::int64_t>& entry_sizes, int& n) const {
    std::int64_t node_total = 0;
    for (int drive : drives_) {
      Put(dirs_[drive].name, sizes.total[drive], names, entry_sizes, n);
      node_total += sizes.total[drive];
      Expand(drive, dirs_[drive].name + "\\", sizes, names, entry_sizes, n);
    }
    return node_total;
  }

 private:
  static void Put(std::string name, std::int64_t size, std::vector<std::string>& names,
                  std::vector<std::int64_t>& sizes, int& n) {
    ++n;
    if (static_cast<int>(names.size()) <= n) {
      names.resize(n + 1);
      sizes.resize(n + 1);
    }
    names[n] = std::move(name);
    sizes[n] = size;
  }

  void Expand(int index, const std::string& prefix, const DaySizes& sizes,
              std::vector<std::string>& names, std::vector<std::int64_t>& entry_sizes,
              int& n) const {
    const ModelDir& dir = dirs_[index];
    Put(prefix + ".", sizes.own[index], names, entry_sizes, n);
    const int first = n + 1;
    std::vector<int> listed;
    for (int child : dir.children) {
      if (!sizes.alive[child]) continue;
      Put(prefix + dirs_[child].name, sizes.total[child], names, entry_sizes, n);
      listed.push_back(child);
    }
    if (dir.level + 1 > level_) return;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      Expand(listed[i], names[first + static_cast<int>(i)] + "\\", sizes, names, entry_sizes, n);
    }
  }

  static std::int64_t Own(const ModelDir& dir, int day, int weekday) {
    const Files& files = dir.files;
    const double age = day - files.born;
    const double noise = 2 * Unit(dir.noise_key, static_cast<std::uint64_t>(day)) - 1;
    double bytes = 0;
    switch (files.growth) {
      case Growth::kSteady:
        bytes = files.base * std::exp(files.rate * age) * (1 + 0.002 * noise);
        break;
      case Growth::kPatched: {
        // Updates arrive every four weeks, on a day of its own for each folder.
        const auto offset = static_cast<int>(dir.noise_key % 28);
        bytes = files.base * (1 + 0.01 * ((day + offset) / 28));
        break;
      }
      case Growth::kWeeklyLog:
        // The Monday scan finds one day of logs since the Sunday night clean-up.
        bytes = files.base + files.rate * weekday * (1 + 0.25 * noise);
        break;
      case Growth::kFilling:
        bytes = files.base + files.rate * (age + 0.5 * noise);
        break;
    }
    return std::max<std::int64_t>(0, std::llround(bytes));
  }

  std::string name_;
  int level_;
  int sized_by_;
  std::vector<ModelDir> dirs_;
  std::vector<int> drives_;
  int rows_ = 1;  // the node row
};

// The names of the bulk of a server's folders; past the end of a list they repeat with a number.
constexpr std::string_view kProjects[] = {
    "Atlas",  "Borealis", "Cobalt",   "Delta",  "Ember",    "Falcon", "Granite", "Harbor",
    "Ion",    "Juniper",  "Keystone", "Lumen",  "Meridian", "Nimbus", "Orion",   "Pioneer",
    "Quartz", "Redwood",  "Summit",   "Tundra", "Umbra",    "Vector", "Willow",  "Zephyr"};
constexpr std::string_view kDepartments[] = {"Facilities", "Finance",   "HR",         "IT",
                                             "Legal",      "Marketing", "Purchasing", "Sales"};
constexpr std::string_view kSites[] = {"intranet", "helpdesk", "shop", "wiki",
                                       "status",   "portal",   "docs", "api"};
constexpr std::string_view kMailDomains[] = {"example.com", "example.net", "example.org",
                                             "shop.example.com"};
constexpr std::string_view kRepositories[] = {
    "billing",   "inventory",    "payroll",       "webshop",   "mobile-app",
    "reporting", "auth-service", "data-pipeline", "installer", "customer-portal"};
constexpr std::string_view kComponents[] = {"client", "server", "installer", "docs",
                                            "tools",  "tests",  "sdk",       "web"};

template <std::size_t N>
std::string Named(const std::string_view (&names)[N], int i) {
  std::string name(names[i % N]);
  if (i >= static_cast<int>(N)) name += " " + std::to_string(i / N + 1);
  return name;
}

// "user007": numbered to the width the largest number needs, so that they list in order.
std::string Numbered(std::string_view stem, int number, int width) {
  std::string digits = std::to_string(number);
  return std::string(stem) +
         std::string(std::max<int>(0, width - static_cast<int>(digits.size())), '0') + digits;
}

// A directory below parent, or, when parent is -1, a drive of its own mounted at "/" + name:
// the scanner walks every local disk file system as a drive and leaves mount points out of the
// file system above them.
int AddMounted(NodeModel& m, int parent, std::string_view name, Files files,
               std::uint64_t noise_key) {
  if (parent < 0) return m.Drive("/" + std::string(name), files, noise_key);
  return m.Add(parent, std::string(name), files, noise_key);
}

// What "/" holds on every Linux node: a swap file, the system, and under /opt the scanner's
// program folder, where it logs, beside the programs of the node's role. /var, /home and /srv
// are added by the roles, on "/" or as drives of their own.
int AddRootDrive(NodeModel& m, Dice& dice, std::initializer_list<std::string_view> programs) {
  int root = m.Drive("/", Patched(dice.Between(1, 4) * kGiB), dice.Key());
  m.Add(root, "boot", Patched(dice.Between(150, 400) * kMiB), dice.Key());
  m.Add(root, "etc", Patched(dice.Between(5, 20) * kMiB), dice.Key());
  int opt = m.Add(root, "opt", Patched(0), dice.Key());
  int brontal = m.Add(opt, "brontal", Patched(0), dice.Key());
  m.Add(brontal, "bin", Steady(dice.Between(20, 40) * kMiB, 0.1), dice.Key());
  for (std::string_view program : programs) {
    m.Add(opt, std::string(program), Patched(dice.Spread(0.2, 4) * kGiB), dice.Key());
  }
  m.Add(root, "root", Steady(dice.Between(5, 200) * kMiB, 0.2), dice.Key());
  m.Add(root, "tmp", WeeklyLog(dice.Between(1, 20) * kMiB, dice.Between(5, 30) * kMiB), dice.Key());
  int usr = m.Add(root, "usr", Patched(0), dice.Key());
  m.Add(usr, "bin", Patched(dice.Between(0.3, 0.8) * kGiB), dice.Key());
  m.Add(usr, "include", Patched(dice.Between(50, 300) * kMiB), dice.Key());
  m.Add(usr, "lib", Patched(dice.Between(1.5, 4) * kGiB), dice.Key());
  m.Add(usr, "local", Patched(dice.Between(0.1, 50) * kMiB), dice.Key());
  m.Add(usr, "sbin", Patched(dice.Between(20, 60) * kMiB), dice.Key());
  m.Add(usr, "share", Patched(dice.Between(0.5, 1.5) * kGiB), dice.Key());
  m.Add(usr, "src", Patched(dice.Between(50, 300) * kMiB), dice.Key());
  return root;
}

// The folders of /var that the roles add to.
struct VarDirs {
  int var, cache, lib, log, spool;
};

// /var below root, or a drive of its own when root is -1: package caches and state, and the
// system's logs, which logrotate empties on Sunday nights.
VarDirs AddVar(NodeModel& m, Dice& dice, int root) {
  VarDirs v{};
  v.var = AddMounted(m, root, "var", Patched(0), dice.Key());
  m.Add(v.var, "backups", Patched(dice.Between(1, 10) * kMiB), dice.Key());
  v.cache = m.Add(v.var, "cache", Patched(dice.Between(1, 5) * kMiB), dice.Key());
  m.Add(v.cache, "apt", WeeklyLog(dice.Between(50, 200) * kMiB, dice.Between(5, 40) * kMiB),
        dice.Key());
  v.lib = m.Add(v.var, "lib", Patched(0), dice.Key());
  m.Add(v.lib, "apt", Patched(dice.Between(40, 120) * kMiB), dice.Key());
  m.Add(v.lib, "dpkg", Patched(dice.Between(20, 60) * kMiB), dice.Key());
  v.log = m.Add(v.var, "log", WeeklyLog(dice.Between(5, 20) * kMiB, dice.Between(1, 10) * kMiB),
                dice.Key());
  m.Add(v.log, "apt", Steady(dice.Between(1, 5) * kMiB, 0.5), dice.Key());
  m.Add(v.log, "journal", Steady(dice.Between(0.2, 1) * kGiB, 0.3), dice.Key());
  v.spool = m.Add(v.var, "spool", Patched(0), dice.Key());
  m.Add(v.spool, "cron", Patched(dice.Between(0.01, 0.1) * kMiB), dice.Key());
  m.Add(v.var, "tmp", WeeklyLog(dice.Between(1, 10) * kMiB, dice.Between(1, 5) * kMiB), dice.Key());
  return v;
}

// /home below root, or a drive of its own when root is -1, with the administrator's home.
int AddHome(NodeModel& m, Dice& dice, int root) {
  int home = AddMounted(m, root, "home", Patched(0), dice.Key());
  m.Add(home, "admin", Steady(dice.Spread(10, 500) * kMiB, 0.2), dice.Key());
  return home;
}

// Home folders, some of them of people who join or leave during the history.
void AddUser(NodeModel& m, Dice& dice, int users, const std::string& name, int days) {
  Files home = Patched(0);
  const double fate = dice.Next();
  if (fate < 0.08) home.born = 1 + dice.Below(std::max(1, days - 1));
  if (fate > 0.96) home.gone = 1 + dice.Below(std::max(1, days - 1));
  int user = m.Add(users, name, home, dice.Key());
  Files documents = Steady(dice.Spread(0.05, 2) * kGiB, dice.Between(0.05, 0.4));
  Files desktop = Steady(dice.Spread(5, 200) * kMiB, dice.Between(0, 0.2));
  Files pictures = Steady(dice.Spread(0.01, 3) * kGiB, dice.Between(0, 0.3));
  for (Files* files : {&documents, &desktop, &pictures}) files->born = home.born;
  m.Add(user, "Desktop", desktop, dice.Key());
  m.Add(user, "Documents", documents, dice.Key());
  m.Add(user, "Pictures", pictures, dice.Key());
}

// A project share: its own files and five folders; one that starts later starts small and
// grows fast.
void AddProject(NodeModel& m, Dice& dice, int projects, const std::string& name, int born) {
  Files files = Steady(dice.Spread(1, 50) * kMiB, 0.1);
  files.born = born;
  int project = m.Add(projects, name, files, dice.Key());
  for (std::string_view folder : {"Archive", "CAD", "Documents", "Photos", "Reports"}) {
    Files folder_files = Steady(dice.Spread(0.1, 20) * kGiB, dice.Between(0, 0.5));
    folder_files.born = born;
    if (born > 0) {
      folder_files.base /= 20;
      folder_files.rate *= 8;
    }
    m.Add(project, std::string(folder), folder_files, dice.Key());
  }
}

// A file server: shares of projects and departments, an archive and the users' home folders.
// The Windows one, which a Linux node sizes through its extras.txt, holds them on D: and E:
// (the administrative shares D$ and E$); a Linux one shares /srv through Samba and keeps the
// homes on /home.
void BuildFileServer(NodeModel& m, Dice& dice, int budget, int days, int end_year, bool windows) {
  int shares, users, archive;
  if (windows) {
    int d = m.Drive("D:", Patched(0), dice.Key());
    shares = m.Add(d, "Shares", Patched(0), dice.Key());
    users = m.Add(d, "Users", Patched(0), dice.Key());
    archive = m.Add(m.Drive("E:", Patched(0), dice.Key()), "Archive", Patched(0), dice.Key());
  } else {
    int root = AddRootDrive(m, dice, {});
    m.Add(AddVar(m, dice, root).lib, "samba", Steady(dice.Between(5, 50) * kMiB, 0.2), dice.Key());
    users = AddHome(m, dice, -1);
    int srv = m.Drive("/srv", Patched(0), dice.Key());
    shares = m.Add(srv, "samba", Patched(0), dice.Key());
    archive = m.Add(srv, "archive", Patched(0), dice.Key());
  }
  int departments = m.Add(shares, "Departments", Patched(0), dice.Key());
  for (std::string_view name : kDepartments) {
    int department = m.Add(departments, std::string(name), Patched(0), dice.Key());
    m.Add(department, "Common", Steady(dice.Spread(1, 40) * kGiB, 0.15), dice.Key());
    m.Add(department, "Restricted", Steady(dice.Spread(0.2, 10) * kGiB, 0.1), dice.Key());
  }
  m.Add(shares, "Scans", WeeklyLog(dice.Between(0.2, 1) * kGiB, dice.Between(0.2, 1) * kGiB),
        dice.Key());
  int temp = m.Add(shares, "Temp", Steady(dice.Between(0.1, 2) * kGiB, 0), dice.Key());
  Files old_scans = Steady(dice.Between(5, 15) * kGiB, 0);
  old_scans.gone = days / 3;  // cleared away a third of the way through
  m.Add(temp, "OldScans", old_scans, dice.Key());
  int projects = m.Add(shares, "Projects", Patched(0), dice.Key());
  AddProject(m, dice, projects, "Phoenix", days / 2);  // starts halfway through
  for (int year = end_year - 8; year < end_year; ++year) {
    int folder = m.Add(archive, std::to_string(year), Patched(0), dice.Key());
    for (std::string_view quarter : {"Q1", "Q2", "Q3", "Q4"}) {
      m.Add(folder, std::string(quarter), Patched(dice.Spread(5, 80) * kGiB), dice.Key());
    }
  }
  const int project_share = m.rows() + std::max(0, budget - m.rows()) / 3;
  for (int i = 0; i == 0 || m.rows() < project_share; ++i) {
    AddProject(m, dice, projects, Named(kProjects, i), 0);
  }
  const int width = std::max(3, static_cast<int>(std::to_string(budget / 8 + 1).size()));
  for (int i = 1; i == 1 || m.rows() < budget; ++i) {
    AddUser(m, dice, users, Numbered("user", i, width), days);
  }
}

// A mail server (Postfix and Dovecot): a folder of mailboxes for each domain on /var, the queue
// and the mail log, which fill during the week and are emptied on Sunday nights, and mail
// restored from a backup that is cleared away a third of the way through.
void BuildMailServer(NodeModel& m, Dice& dice, int budget, int days) {
  AddHome(m, dice, AddRootDrive(m, dice, {}));
  VarDirs var = AddVar(m, dice, -1);
  m.Add(var.lib, "dovecot", Steady(dice.Between(0.5, 2) * kGiB, 0.2), dice.Key());
  m.Add(var.log, "mail", WeeklyLog(dice.Between(10, 50) * kMiB, dice.Between(50, 300) * kMiB),
        dice.Key());
  int postfix = m.Add(var.spool, "postfix", Patched(dice.Between(1, 5) * kMiB), dice.Key());
  m.Add(postfix, "active", WeeklyLog(dice.Between(5, 20) * kMiB, dice.Between(5, 20) * kMiB),
        dice.Key());
  m.Add(postfix, "deferred", WeeklyLog(dice.Between(50, 200) * kMiB, dice.Between(10, 50) * kMiB),
        dice.Key());
  int vmail = m.Add(var.var, "vmail", Patched(0), dice.Key());
  Files restore = Steady(dice.Between(20, 60) * kGiB, 0);
  restore.gone = days / 3;
  m.Add(vmail, "restore", restore, dice.Key());
  const int domain_count = std::clamp(std::max(0, budget - m.rows()) / 100, 1,
                                      static_cast<int>(std::size(kMailDomains)));
  std::vector<int> domains;
  for (int i = 0; i < domain_count; ++i) {
    domains.push_back(m.Add(vmail, std::string(kMailDomains[i]), Patched(0), dice.Key()));
  }
  const int width = std::max(3, static_cast<int>(std::to_string(budget).size()));
  for (int i = 1; i == 1 || m.rows() < budget; ++i) {
    m.Add(domains[i % domain_count], Numbered("user", i, width),
          Steady(dice.Spread(0.2, 15) * kGiB, dice.Between(0, 0.1)), dice.Key());
  }
}

// A web server (nginx and PostgreSQL): sites under /srv/www with their code, static files,
// uploads and logs, emptied weekly by logrotate, and their database in /var/lib/postgresql.
void BuildWebServer(NodeModel& m, Dice& dice, int budget) {
  AddHome(m, dice, AddRootDrive(m, dice, {"nodejs"}));
  VarDirs var = AddVar(m, dice, -1);
  m.Add(var.cache, "nginx", WeeklyLog(dice.Between(50, 500) * kMiB, dice.Between(5, 20) * kMiB),
        dice.Key());
  m.Add(var.lib, "postgresql", Steady(dice.Between(2, 8) * kGiB, dice.Between(0.1, 0.3)),
        dice.Key());
  m.Add(var.log, "nginx", WeeklyLog(dice.Between(10, 100) * kMiB, dice.Spread(20, 500) * kMiB),
        dice.Key());
  m.Add(var.log, "postgresql", WeeklyLog(dice.Between(1, 10) * kMiB, dice.Between(1, 20) * kMiB),
        dice.Key());
  int www = m.Add(m.Drive("/srv", Patched(0), dice.Key()), "www", Patched(0), dice.Key());
  for (int i = 0; i == 0 || m.rows() < budget; ++i) {
    std::string name = i < static_cast<int>(std::size(kSites)) ? std::string(kSites[i])
                                                               : Numbered("site", i + 1, 3);
    int site = m.Add(www, name, Patched(dice.Spread(0.01, 1) * kMiB), dice.Key());
    m.Add(site, "app", Patched(dice.Spread(5, 200) * kMiB), dice.Key());
    m.Add(site, "logs", WeeklyLog(dice.Between(1, 10) * kMiB, dice.Spread(5, 500) * kMiB),
          dice.Key());
    m.Add(site, "public", Steady(dice.Spread(0.05, 10) * kGiB, dice.Between(0, 0.3)), dice.Key());
    m.Add(site, "uploads", Steady(dice.Spread(0.01, 5) * kGiB, dice.Between(0.1, 0.6)), dice.Key());
  }
}

// A build server (Jenkins): sources, nightly builds purged weekly, releases that are kept, and a
// cache that nobody cleans, which fills /srv of the first of them.
void BuildBuildServer(NodeModel& m, Dice& dice, int budget, int days, bool fills_up) {
  int root = AddRootDrive(m, dice, {"gradle", "jdk"});
  m.Add(AddVar(m, dice, root).lib, "jenkins", Steady(dice.Between(1, 4) * kGiB, 0.3), dice.Key());
  int home = AddHome(m, dice, -1);
  int jenkins = m.Add(home, "jenkins", Patched(dice.Between(1, 10) * kMiB), dice.Key());
  m.Add(jenkins, ".cache", Steady(dice.Between(1, 5) * kGiB, 0.2), dice.Key());
  m.Add(jenkins, "workspace", WeeklyLog(dice.Between(2, 8) * kGiB, dice.Between(0.1, 0.3) * kGiB),
        dice.Key());
  int srv = m.Drive("/srv", Patched(0), dice.Key());
  int builds = m.Add(srv, "builds", Patched(0), dice.Key());
  int nightly = m.Add(builds, "nightly", Patched(0), dice.Key());
  // A few hundred megabytes a night: the weekly purge stays below what the filling cache adds
  // in a week, so that the filling /srv shows more used whichever weekdays are compared.
  for (std::string_view component : kComponents) {
    m.Add(nightly, std::string(component),
          WeeklyLog(dice.Between(0.2, 1) * kGiB, dice.Spread(0.01, 0.1) * kGiB), dice.Key());
  }
  int releases = m.Add(builds, "release", Patched(0), dice.Key());
  for (int version = 1; version <= 4; ++version) {
    Files files = Patched(dice.Between(2, 12) * kGiB);
    if (version == 4) files.born = days / 2;  // released halfway through
    m.Add(releases, "v" + std::to_string(version) + ".0", files, dice.Key());
  }
  Files legacy = Patched(dice.Between(10, 40) * kGiB);
  legacy.gone = days / 3;
  m.Add(builds, "legacy", legacy, dice.Key());
  int cache =
      m.Add(builds, "cache",
            Files{Growth::kFilling, dice.Between(1, 5) * kGiB, dice.Between(0.05, 0.2) * kGiB},
            dice.Key());
  int src = m.Add(srv, "src", Patched(0), dice.Key());
  for (int i = 0; i == 0 || m.rows() < budget; ++i) {
    int repository =
        m.Add(src, Named(kRepositories, i), Patched(dice.Spread(0.1, 2) * kMiB), dice.Key());
    m.Add(repository, ".git", Steady(dice.Spread(0.05, 5) * kGiB, dice.Between(0.1, 0.5)),
          dice.Key());
    m.Add(repository, "build", Patched(dice.Spread(0.01, 1) * kGiB), dice.Key());
    m.Add(repository, "docs", Steady(dice.Spread(1, 200) * kMiB, 0.2), dice.Key());
    m.Add(repository, "src", Steady(dice.Spread(0.01, 2) * kGiB, dice.Between(0.1, 0.4)),
          dice.Key());
    m.Add(repository, "tests", Steady(dice.Spread(1, 500) * kMiB, 0.3), dice.Key());
  }
  if (fills_up) {
    // Take /srv from about three fifths full to full by the last day.
    DaySizes first;
    m.Size(0, 1, first);
    m.files(cache).rate = 0.65 * static_cast<double>(first.total[srv]) / std::max(1, days - 1);
  }
}

// A backup server: a folder of every machine it backs up on /srv, the workstations included,
// and a staging area that is emptied weekly.
void BuildBackupServer(NodeModel& m, Dice& dice, int budget,
                       const std::vector<std::string>& peers) {
  int root = AddRootDrive(m, dice, {});
  AddVar(m, dice, root);
  AddHome(m, dice, root);
  int srv = m.Drive("/srv", Patched(0), dice.Key());
  int backups = m.Add(srv, "backup", Patched(0), dice.Key());
  int staging = m.Add(srv, "staging",
                      WeeklyLog(dice.Between(1, 5) * kGiB, dice.Between(5, 40) * kGiB), dice.Key());
  m.Add(staging, "incoming", WeeklyLog(dice.Between(1, 5) * kGiB, dice.Between(5, 40) * kGiB),
        dice.Key());
  m.Add(staging, "verify", WeeklyLog(dice.Between(0.1, 1) * kGiB, dice.Between(1, 10) * kGiB),
        dice.Key());
  for (const std::string& peer : peers) {
    if (peer == m.name()) continue;
    m.Add(backups, peer, Steady(dice.Spread(50, 800) * kGiB, dice.Between(0.05, 0.3)), dice.Key());
  }
  const int width = std::max(4, static_cast<int>(std::to_string(budget).size()));
  for (int i = 1; i == 1 || m.rows() < budget; ++i) {
    m.Add(backups, Numbered("ws-", i, width),
          Steady(dice.Spread(5, 80) * kGiB, dice.Between(0, 0.2)), dice.Key());
  }
}

enum class Role { kFile, kMail, kWeb, kBuild, kBackup };
// build01, the first build server, whose /srv fills up.
constexpr int kFillingNode = 3;
constexpr std::string_view kFillingDrive = "/srv";

// The first node is the Windows file server when another node is there to size it.
bool IsWindowsServer(int i, int nodes) { return i == 0 && nodes > 1; }

// The node whose extras.txt names the Windows file server: backup01, or the last node when
// there are fewer than five.
int ExtrasHost(int nodes) { return std::min(nodes, 5) - 1; }

// winfs01, mail01, web01, build01, backup01, then files01, mail02 and so on: Linux host names,
// and the Windows file server as the scanner stores an extra node's name, in lower case. A single
// node is a Linux file server.
std::string NodeName(int i, int nodes) {
  const int round = i / 5 + 1;
  switch (static_cast<Role>(i % 5)) {
    case Role::kFile:
      if (IsWindowsServer(i, nodes)) return "winfs01";
      return Numbered("files", nodes > 1 ? round - 1 : round, 2);
    case Role::kMail:
      return Numbered("mail", round, 2);
    case Role::kWeb:
      return Numbered("web", round, 2);
    case Role::kBuild:
      return Numbered("build", round, 2);
    case Role::kBackup:
      return Numbered("backup", round, 2);
  }
  return "";
}

// The depth each role is scanned to; 3, the default, stays -1 in Todo.
int LevelOf(Role role) {
  switch (role) {
    case Role::kFile:
    case Role::kWeb:
      return 5;
    case Role::kMail:
    case Role::kBuild:
      return 4;
    case Role::kBackup:
      break;
  }
  return kInitialDefaultLevel;
}

std::vector<NodeModel> BuildNodes(const DemoOptions& options, int end_year) {
  std::vector<std::string> names;
  for (int i = 0; i < options.nodes; ++i) names.push_back(NodeName(i, options.nodes));
  std::vector<NodeModel> nodes;
  for (int i = 0; i < options.nodes; ++i) {
    const auto role = static_cast<Role>(i % 5);
    const bool windows = IsWindowsServer(i, options.nodes);
    Dice dice(options.seed * 1000003 + static_cast<std::uint64_t>(i));
    NodeModel& m =
        nodes.emplace_back(names[i], LevelOf(role), windows ? ExtrasHost(options.nodes) : i);
    switch (role) {
      case Role::kFile:
        BuildFileServer(m, dice, options.dirs, options.days, end_year, windows);
        break;
      case Role::kMail:
        BuildMailServer(m, dice, options.dirs, options.days);
        break;
      case Role::kWeb:
        BuildWebServer(m, dice, options.dirs);
        break;
      case Role::kBuild:
        BuildBuildServer(m, dice, options.dirs, options.days, i == kFillingNode);
        break;
      case Role::kBackup:
        BuildBackupServer(m, dice, options.dirs, names);
        break;
    }
    m.Finish();
  }
  return nodes;
}

// The order of a day's runs: each Linux node's run, followed by the nodes its extras.txt names,
// which the scanner sizes and stores in the same run, after the node's own rows.
std::vector<int> RunOrder(const std::vector<NodeModel>& nodes) {
  std::vector<int> order;
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i) {
    if (nodes[i].sized_by() != i) continue;
    order.push_back(i);
    for (int j = 0; j < static_cast<int>(nodes.size()); ++j) {
      if (j != i && nodes[j].sized_by() == i) order.push_back(j);
    }
  }
  return order;
}

// The share of a disk that its file system keeps for its own records (journal, inode tables):
// 1/64, about what ext4 takes. Free space never includes it, so the disk graph shows it as lost
// space.
std::int64_t FileSystemShare(std::int64_t disk_size) { return disk_size / 64; }

// The size of each drive of a node: the first usual disk size with a quarter to spare over the
// most the drive ever holds, except /srv of the server that fills up, which is left just enough.
std::vector<std::int64_t> DiskSizes(const NodeModel& node, int days, DateTime first_period,
                                    bool fills_up) {
  std::vector<std::int64_t> most(node.drives().size(), 0);
  DaySizes sizes;
  for (int day = 0; day < days; ++day) {
    node.Size(day, (first_period + day).Weekday(2), sizes);
    for (std::size_t i = 0; i < most.size(); ++i) {
      most[i] = std::max(most[i], sizes.total[node.drives()[i]]);
    }
  }
  std::vector<std::int64_t> disk_sizes;
  for (std::size_t i = 0; i < most.size(); ++i) {
    const auto used = static_cast<double>(most[i]);
    if (fills_up && node.dir(node.drives()[i]).name == kFillingDrive) {
      disk_sizes.push_back(
          static_cast<std::int64_t>(std::ceil(used * 1.003 / (1 - 1.0 / 64) / kMiB) * kMiB));
      continue;
    }
    double disk = 40 * kGiB;
    for (double step : {2.0, 1.5, 2.0, 2.0}) {
      if (disk >= used * 1.25) break;
      disk *= step;
    }
    while (disk < used * 1.25) disk *= 2;
    disk_sizes.push_back(static_cast<std::int64_t>(disk));
  }
  return disk_sizes;
}

// What brontals hands SizeStore in one run; the arrays count from 1.
struct ScanRun {
  const NodeModel* node = nullptr;
  // A node of another node's extras.txt: the scanner stores only its directories, after the
  // other node's run has stored that node's disks, directories and period.
  bool extra = false;
  DateTime started;
  DateTime period;  // as SizeStore files a run started then
  std::vector<std::string> drives{""};
  std::vector<std::int64_t> freebytes{0}, totalbytes{0};
  std::vector<std::string> names{""};
  std::vector<std::int64_t> sizes{0};
  int n = 0;
  std::int64_t nodetotal = 0;
};

// The rows a run adds to each table, counted by the rules SaveDirs and SaveFree follow.
struct RowCounts {
  std::int64_t dirs = 0, parents = 0, disks = 0, periods = 0;
  RowCounts& operator+=(const RowCounts& other) {
    dirs += other.dirs;
    parents += other.parents;
    disks += other.disks;
    periods += other.periods;
    return *this;
  }
};

// SaveDirs leaves out the entries whose name or parent is blank.
bool StoredAsText(std::string_view text) { return !Trim(text).empty(); }

// The tree paths of a run's entries, split as Dirs holds them.
struct DirRow {
  std::string dir, parent;
};
DirRow TreeRow(const std::string& nodename, const std::string& entry) {
  std::string path = "R\\" + nodename + "\\" + entry;
  return {LastPathPart(path), ParentPath(path)};
}

// Writes runs the way the scanner does: a SizeStore for each, which opens and closes the
// database around every operation.
class StoreWriter {
 public:
  StoreWriter(db::Engine& engine, std::string program_folder)
      : engine_(engine), program_folder_(std::move(program_folder)) {}

  SizeStore Store(DateTime started) {
    clock_.Set(started);
    return SizeStore(
        MakeSizeStoreServices(engine_, settings_, clock_, message_box_, program_folder_));
  }

  // What the configuration dialog does once on each Linux node: its row in Todo and its depth.
  // The Windows file server gets the same from its first scan and the viewer's options.
  void SetUpNode(const NodeModel& node, DateTime now) {
    SizeStore store = Store(now);
    store.nodename = node.name();
    store.DefaultLevel();
    store.SetDefaultLevel(node.level());
    store.SetLogFile(std::string(kLogFile));
  }

  void Write(const ScanRun& run) {
    SizeStore store = Store(run.started);
    store.nodename = run.node->name();
    store.DefaultLevel();
    store.SetLogFile(std::string(kLogFile));
    if (run.extra) {
      store.SaveDirs(run.names, run.sizes, run.n, run.nodetotal);
      return;
    }
    store.BeginScan();
    store.SaveFree(run.drives, run.freebytes, run.totalbytes,
                   static_cast<int>(run.drives.size()) - 1);
    store.SaveDirs(run.names, run.sizes, run.n, run.nodetotal);
    store.AddPeriod(store.pdate);
    store.CommitScan();
  }

  void EndOfDay() {}
  void Finish() {}

 private:
  db::Engine& engine_;
  std::string program_folder_;
  FixedClock clock_{DateTime()};
  MemorySettings settings_;
  StderrMessageBox message_box_;
};

// Writes the rows SizeStore would write, in the same order, through one connection that stays
// open, in a transaction a month. The rows of one day land all over the indexes, which lead with
// DirParent, so a commit a day rewrites a page for nearly every row; a month's rows of one
// parent share their pages, which writes a quarter as much and takes half the time.
class FastWriter {
 public:
  FastWriter(db::Engine& engine, const std::string& path)
      : workspace_(engine.DefaultWorkspace()), database_(workspace_.OpenDatabase(path)) {
    dirs_ = database_->OpenRecordset("Dirs", db::RecordsetType::kTable);
    parents_ = database_->OpenRecordset("Parents", db::RecordsetType::kTable);
    disks_ = database_->OpenRecordset("Disks", db::RecordsetType::kTable);
    periods_ = database_->OpenRecordset("Periods", db::RecordsetType::kTable);
  }
  ~FastWriter() {
    try {
      if (in_transaction_) workspace_.Rollback();
      database_->Close();
    } catch (const db::DbError&) {
    }
  }
  FastWriter(const FastWriter&) = delete;
  FastWriter& operator=(const FastWriter&) = delete;

  void Write(const ScanRun& run) {
    const DateTime period = run.period;
    if (!in_transaction_) {
      workspace_.BeginTrans();
      in_transaction_ = true;
    }
    const std::string& nodename = run.node->name();
    const std::string disk_parent = "R\\" + nodename;
    for (std::size_t i = 1; i < run.drives.size(); ++i) {
      Append(*disks_, {{"pdate", period},
                       {"Disk", run.drives[i]},
                       {"DiskParent", disk_parent},
                       {"DiskFree", run.freebytes[i]},
                       {"DiskSize", run.totalbytes[i]}});
    }
    for (int i = 1; i <= run.n; ++i) {
      DirRow row = TreeRow(nodename, run.names[i]);
      if (!StoredAsText(row.dir) || !StoredAsText(row.parent)) continue;
      Append(*dirs_, {{"pdate", period},
                      {"Dir", row.dir},
                      {"DirParent", row.parent},
                      {"Brontal", run.sizes[i]}});
    }
    Append(*dirs_,
           {{"pdate", period}, {"Dir", nodename}, {"DirParent", "R"}, {"Brontal", run.nodetotal}});
    std::string last_parent;
    for (int i = 1; i <= run.n; ++i) {
      std::string parent = TreeRow(nodename, run.names[i]).parent;
      if (!StoredAsText(parent) || parent == last_parent) continue;
      Append(*parents_, {{"pdate", period}, {"DirParent", parent}});
      last_parent = std::move(parent);
    }
    // The first node of a period stores it; the others find it there.
    if (period != last_period_) Append(*periods_, {{"pdate", period}});
    last_period_ = period;
  }

  void EndOfDay() {
    if (++days_ % kDaysPerTransaction == 0) Commit();
  }

  void Finish() {
    Commit();
    for (auto* table : {&dirs_, &parents_, &disks_, &periods_}) (*table)->Close();
    database_->Close();
  }

 private:
  static constexpr int kDaysPerTransaction = 30;

  void Commit() {
    if (!in_transaction_) return;
    workspace_.CommitTrans();
    in_transaction_ = false;
  }

  using Fields = std::initializer_list<std::pair<std::string_view, db::Value>>;
  static void Append(db::Recordset& table, Fields fields) {
    table.AddNew();
    for (const auto& [name, value] : fields) table.SetField(name, value);
    table.Update();
  }

  db::Workspace& workspace_;
  std::unique_ptr<db::Database> database_;
  std::unique_ptr<db::Recordset> dirs_, parents_, disks_, periods_;
  bool in_transaction_ = false;
  int days_ = 0;
  DateTime last_period_;
};

RowCounts CountRows(const ScanRun& run) {
  RowCounts counts{.dirs = 1, .parents = 0, .disks = 0, .periods = 0};
  counts.disks = static_cast<std::int64_t>(run.drives.size()) - 1;
  std::string last_parent;
  for (int i = 1; i <= run.n; ++i) {
    DirRow row = TreeRow(run.node->name(), run.names[i]);
    counts.dirs += StoredAsText(row.dir) && StoredAsText(row.parent);
    if (StoredAsText(row.parent) && row.parent != last_parent) {
      ++counts.parents;
      last_parent = row.parent;
    }
  }
  return counts;
}

// A folder of its own for dbloc.txt, as SizeStore finds the database beside the program;
// removed with everything in it at the end.
class ProgramFolder {
 public:
  explicit ProgramFolder(const std::string& database) {
    std::string pattern = (fs::temp_directory_path() / "brontal-demo-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
      throw std::system_error(errno, std::generic_category(),
                              "cannot make a folder in " + fs::temp_directory_path().string());
    }
    path_ = pattern;
    std::ofstream dbloc(path_ / "dbloc.txt", std::ios::binary);
    dbloc << fs::absolute(database).string() << "\r\n";
    if (!dbloc.flush()) throw std::runtime_error("cannot write " + (path_ / "dbloc.txt").string());
  }
  ~ProgramFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  std::string path() const { return path_.string(); }

 private:
  fs::path path_;
};

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

template <typename Writer>
RowCounts WriteHistory(Writer& writer, StoreWriter& store_writer,
                       const std::vector<NodeModel>& nodes,
                       const std::vector<std::vector<std::int64_t>>& disk_sizes,
                       DateTime first_period, int days, SteadyClock::time_point start) {
  RowCounts written;
  DaySizes sizes;
  ScanRun run;
  const std::vector<int> order = RunOrder(nodes);
  for (int day = 0; day < days; ++day) {
    const DateTime period = first_period + day;
    const int weekday = period.Weekday(2);
    for (int i : order) {
      const NodeModel& node = nodes[i];
      node.Size(day, weekday, sizes);
      run.node = &node;
      run.extra = node.sized_by() != i;
      // The scheduler starts the scanners a few minutes apart after the hour; all of them
      // fall into the same period.
      run.started = period + (5 + node.sized_by() * 7 % 24) / 1440.0;
      run.period = store_writer.Store(run.started).pdate;
      if (run.period != period) throw std::logic_error("a run was filed at another hour");
      run.drives.assign(1, "");
      run.freebytes.assign(1, 0);
      run.totalbytes.assign(1, 0);
      for (std::size_t d = 0; !run.extra && d < node.drives().size(); ++d) {
        const int root = node.drives()[d];
        run.drives.push_back(node.dir(root).name);
        run.totalbytes.push_back(disk_sizes[i][d]);
        run.freebytes.push_back(std::max<std::int64_t>(
            0, disk_sizes[i][d] - FileSystemShare(disk_sizes[i][d]) - sizes.total[root]));
      }
      run.n = 0;
      run.nodetotal = node.Entries(sizes, run.names, run.sizes, run.n);
      writer.Write(run);
      written += CountRows(run);
    }
    ++written.periods;  // one for all the nodes of the day
    writer.EndOfDay();
    if ((day + 1) * 10 / days != day * 10 / days || day + 1 == days) {
      std::fprintf(stderr, "brontal-demo: %3d%%  %d of %d days, up to %s, %lld Dirs rows, %.1f s\n",
                   (day + 1) * 100 / days, day + 1, days, period.ToIso().substr(0, 10).c_str(),
                   static_cast<long long>(written.dirs), SecondsSince(start));
    }
  }
  writer.Finish();
  return written;
}

int Run(const DemoOptions& options) {
  const auto start = SteadyClock::now();
  std::error_code error;
  if (fs::exists(fs::symlink_status(options.database, error))) {
    std::fprintf(stderr, "brontal-demo: %s exists already; give the path of a new database\n",
                 options.database.c_str());
    return 1;
  }
  const DateTime end = options.end.value_or(SystemClock().Now()).DateOnly();
  const DateTime first_period = end - (options.days - 1) + 2 / 24.0;
  auto engine = db::MakeSqliteEngine();
  CreateBrontalDatabase(*engine, options.database, kInitialDefaultLevel);
  bool complete = false;
  // A database that was not written to the end is taken away again: it would look like a
  // history with missing days.
  struct RemoveUnlessComplete {
    const std::string& path;
    const bool& complete;
    ~RemoveUnlessComplete() {
      if (complete) return;
      std::error_code ignored;
      fs::remove(path, ignored);
      fs::remove(path + ".lock", ignored);
      std::fprintf(stderr, "brontal-demo: removed the incomplete %s\n", path.c_str());
    }
  } remove_unless_complete{options.database, complete};

  ProgramFolder folder(options.database);
  std::vector<NodeModel> nodes = BuildNodes(options, end.Year());
  std::vector<std::vector<std::int64_t>> disk_sizes;
  std::int64_t rows_a_day = 0;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const bool extra = nodes[i].sized_by() != static_cast<int>(i);
    disk_sizes.push_back(extra
                             ? std::vector<std::int64_t>()
                             : DiskSizes(nodes[i], options.days, first_period, i == kFillingNode));
    rows_a_day += nodes[i].rows();
  }
  std::fprintf(stderr, "brontal-demo: %d nodes, about %lld Dirs rows a day, %d days to %s%s\n",
               options.nodes, static_cast<long long>(rows_a_day), options.days,
               end.ToIso().substr(0, 10).c_str(), options.fast ? " (fast)" : "");

  // Every server is set up before its first scan, as an administrator installs it.
  StoreWriter store_writer(*engine, folder.path());
  for (const NodeModel& node : nodes) store_writer.SetUpNode(node, first_period);
  RowCounts written;
  if (options.fast) {
    FastWriter writer(*engine, options.database);
    written =
        WriteHistory(writer, store_writer, nodes, disk_sizes, first_period, options.days, start);
  } else {
    written = WriteHistory(store_writer, store_writer, nodes, disk_sizes, first_period,
                           options.days, start);
  }
  complete = true;
  std::printf(
      "brontal-demo: wrote %lld Dirs, %lld Parents, %lld Disks and %lld Periods rows for %d "
      "nodes over %d days in %.1f s\n",
      static_cast<long long>(written.dirs), static_cast<long long>(written.parents),
      static_cast<long long>(written.disks), static_cast<long long>(written.periods), options.nodes,
      options.days, SecondsSince(start));
  return 0;
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) {
  if (brontal::AnswerHelpOrVersion(argc, argv, "brontal-demo", brontal::kUsage)) return 0;
  auto options = brontal::ParseOptions(argc, argv);
  if (!options) return 2;
  try {
    return brontal::Run(*options);
  } catch (const brontal::db::DbError& error) {
    std::fprintf(stderr, "brontal-demo: error %d: %s\n", error.Number(), error.what());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "brontal-demo: %s\n", error.what());
  }
  return 1;
}
