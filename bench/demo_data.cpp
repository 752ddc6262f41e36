// brontal-demo: a believable history of daily scans of a few Windows servers, for trying the
// viewer out and for measuring it. Every run is written as brontals writes it, through SizeStore.
//
//   brontal-demo DATABASE [--nodes N] [--dirs N] [--days N] [--seed S] [--end YYYY-MM-DD] [--fast]
//
// The servers take turns at five roles (file, mail, web, build and backup server), each with
// its own folders and depth. Sizes grow steadily, log folders fill up during the week and are
// cleaned out on Sundays, one build server's D: fills up, a project appears halfway through and
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
#include "platform/database.h"
#include "platform/message_box.h"
#include "platform/settings.h"
#include "platform/sqlite_engine.h"
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
// Where the scanner lives on every server; the viewer opens its log through Todo.
constexpr std::string_view kLogFile = "C:\\Program Files\\Brontal\\brontals.log";

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
  NodeModel(std::string name, int level) : name_(std::move(name)), level_(level) {}

  const std::string& name() const { return name_; }
  int level() const { return level_; }
  // The Dirs rows of a day on which everything exists, the node row included.
  int rows() const { return rows_; }
  const std::vector<int>& drives() const { return drives_; }
  const ModelDir& dir(int index) const { return dirs_[index]; }
  Files& files(int index) { return dirs_[index].files; }
  int size() const { return static_cast<int>(dirs_.size()); }

  // Adds a drive ("C:") whose root holds `files`; returns its index.
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

  // Puts every directory's children into the order NTFS lists them: by name, case ignored.
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
  // drive its own entry ("C:"), then for every directory it expands (the drive, and each
  // directory down to the node's level) its own files ("C:\Windows\.") and its
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

// What a server of any role has on C:, with the programs of its role.
void AddSystemDrive(NodeModel& m, Dice& dice, std::initializer_list<std::string_view> programs) {
  int c = m.Drive("C:", Patched(dice.Between(3.5, 6) * kGiB), dice.Key());  // pagefile.sys
  int windows = m.Add(c, "Windows", Patched(dice.Between(0.2, 0.4) * kGiB), dice.Key());
  m.Add(windows, "System32", Patched(dice.Between(2.8, 3.6) * kGiB), dice.Key());
  m.Add(windows, "SysWOW64", Patched(dice.Between(0.9, 1.3) * kGiB), dice.Key());
  m.Add(windows, "WinSxS", Patched(dice.Between(6, 9) * kGiB), dice.Key());
  m.Add(windows, "Installer", Patched(dice.Between(1, 2.5) * kGiB), dice.Key());
  m.Add(windows, "SoftwareDistribution", Patched(dice.Between(0.5, 1.5) * kGiB), dice.Key());
  m.Add(windows, "Logs", Steady(dice.Between(80, 300) * kMiB, 0.3), dice.Key());
  m.Add(windows, "Temp", WeeklyLog(dice.Between(10, 40) * kMiB, dice.Between(5, 30) * kMiB),
        dice.Key());
  int program_files = m.Add(c, "Program Files", Patched(0), dice.Key());
  m.Add(program_files, "Brontal", Patched(dice.Between(3, 5) * kMiB), dice.Key());
  m.Add(program_files, "Common Files", Patched(dice.Between(100, 300) * kMiB), dice.Key());
  m.Add(program_files, "Windows Defender", Patched(dice.Between(20, 60) * kMiB), dice.Key());
  for (std::string_view program : programs) {
    m.Add(program_files, std::string(program), Patched(dice.Spread(0.2, 6) * kGiB), dice.Key());
  }
  int x86 = m.Add(c, "Program Files (x86)", Patched(0), dice.Key());
  m.Add(x86, "Common Files", Patched(dice.Between(50, 200) * kMiB), dice.Key());
  m.Add(x86, "Microsoft", Patched(dice.Between(200, 600) * kMiB), dice.Key());
  int program_data = m.Add(c, "ProgramData", Patched(dice.Between(5, 20) * kMiB), dice.Key());
  m.Add(program_data, "Microsoft", Steady(dice.Between(0.3, 1.2) * kGiB, 0.1), dice.Key());
  m.Add(program_data, "Package Cache", Patched(dice.Between(0.5, 2) * kGiB), dice.Key());
  int users = m.Add(c, "Users", Patched(0), dice.Key());
  m.Add(users, "Administrator", Steady(dice.Between(0.2, 1.5) * kGiB, 0.2), dice.Key());
  m.Add(users, "Default", Patched(dice.Between(2, 5) * kMiB), dice.Key());
  m.Add(users, "Public", Patched(dice.Between(1, 3) * kMiB), dice.Key());
  m.Add(c, "PerfLogs", Patched(0), dice.Key());
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

// A file server: shares of projects and departments and the users' home folders.
void BuildFileServer(NodeModel& m, Dice& dice, int budget, int days, int end_year) {
  AddSystemDrive(m, dice, {"Microsoft Office"});
  int d = m.Drive("D:", Patched(0), dice.Key());
  int shares = m.Add(d, "Shares", Patched(0), dice.Key());
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
  int users = m.Add(d, "Users", Patched(0), dice.Key());
  int e = m.Drive("E:", Patched(0), dice.Key());
  int archive = m.Add(e, "Archive", Patched(0), dice.Key());
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

// A mail server: mailbox databases, their transaction logs, truncated by the weekly full
// backup, and archived mailboxes.
void BuildMailServer(NodeModel& m, Dice& dice, int budget, int days) {
  AddSystemDrive(m, dice, {"Microsoft"});
  int d = m.Drive("D:", Patched(0), dice.Key());
  int exchange = m.Add(d, "Exchange", Patched(0), dice.Key());
  int mdbdata = m.Add(exchange, "MDBDATA", Patched(0), dice.Key());
  int logs = m.Add(exchange, "Logs", Patched(0), dice.Key());
  m.Add(exchange, "Queue", WeeklyLog(dice.Between(50, 200) * kMiB, dice.Between(10, 50) * kMiB),
        dice.Key());
  Files recovery = Steady(dice.Between(20, 60) * kGiB, 0);
  recovery.gone = days / 3;
  m.Add(mdbdata, "Recovery", recovery, dice.Key());
  int archive = m.Add(d, "Archive", Patched(0), dice.Key());
  int mailboxes = m.Add(archive, "Mailboxes", Patched(0), dice.Key());
  const int databases = std::clamp(std::max(0, budget - m.rows()) / 60, 2, 40);
  for (int i = 1; i <= databases; ++i) {
    std::string name = Numbered("DB", i, 2);
    m.Add(mdbdata, name, Steady(dice.Between(20, 120) * kGiB, dice.Between(0.15, 0.35)),
          dice.Key());
    m.Add(logs, name, WeeklyLog(dice.Between(0.3, 1) * kGiB, dice.Between(1, 6) * kGiB),
          dice.Key());
  }
  const int width = std::max(3, static_cast<int>(std::to_string(budget).size()));
  for (int i = 1; i == 1 || m.rows() < budget; ++i) {
    m.Add(mailboxes, Numbered("user", i, width),
          Steady(dice.Spread(0.2, 15) * kGiB, dice.Between(0, 0.1)), dice.Key());
  }
}

// A web server: sites, and their logs, which are cleaned out weekly.
void BuildWebServer(NodeModel& m, Dice& dice, int budget) {
  AddSystemDrive(m, dice, {"IIS", "dotnet"});
  int d = m.Drive("D:", Patched(0), dice.Key());
  int inetpub = m.Add(d, "inetpub", Patched(0), dice.Key());
  int wwwroot = m.Add(inetpub, "wwwroot", Patched(0), dice.Key());
  int logs = m.Add(inetpub, "logs", Patched(0), dice.Key());
  int log_files = m.Add(logs, "LogFiles", Patched(0), dice.Key());
  m.Add(inetpub, "temp", WeeklyLog(dice.Between(5, 50) * kMiB, dice.Between(5, 20) * kMiB),
        dice.Key());
  for (int i = 0; i == 0 || m.rows() < budget; ++i) {
    std::string name = i < static_cast<int>(std::size(kSites)) ? std::string(kSites[i])
                                                               : Numbered("site", i + 1, 3);
    int site = m.Add(wwwroot, name, Patched(dice.Spread(0.5, 20) * kMiB), dice.Key());
    m.Add(site, "App_Data", Steady(dice.Spread(0.01, 5) * kGiB, dice.Between(0.1, 0.6)),
          dice.Key());
    m.Add(site, "bin", Patched(dice.Spread(5, 200) * kMiB), dice.Key());
    m.Add(site, "content", Steady(dice.Spread(0.05, 10) * kGiB, dice.Between(0, 0.3)), dice.Key());
    m.Add(site, "images", Steady(dice.Spread(0.01, 4) * kGiB, dice.Between(0, 0.2)), dice.Key());
    m.Add(log_files, "W3SVC" + std::to_string(i + 1),
          WeeklyLog(dice.Between(10, 100) * kMiB, dice.Spread(5, 500) * kMiB), dice.Key());
  }
}

// A build server: sources, nightly builds purged weekly, releases that are kept, and a cache
// that nobody cleans, which fills D: of the first of them.
void BuildBuildServer(NodeModel& m, Dice& dice, int budget, int days, bool fills_up) {
  AddSystemDrive(m, dice, {"Git", "Microsoft Visual Studio", "Jenkins"});
  int d = m.Drive("D:", Patched(0), dice.Key());
  int builds = m.Add(d, "builds", Patched(0), dice.Key());
  int nightly = m.Add(builds, "nightly", Patched(0), dice.Key());
  for (std::string_view component : kComponents) {
    m.Add(nightly, std::string(component),
          WeeklyLog(dice.Between(0.2, 1) * kGiB, dice.Spread(0.05, 0.5) * kGiB), dice.Key());
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
  int src = m.Add(d, "src", Patched(0), dice.Key());
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
    // Take D: from about three fifths full to full by the last day.
    DaySizes first;
    m.Size(0, 1, first);
    m.files(cache).rate = 0.65 * static_cast<double>(first.total[d]) / std::max(1, days - 1);
  }
}

// A backup server: a folder of every machine it backs up, the workstations included.
void BuildBackupServer(NodeModel& m, Dice& dice, int budget,
                       const std::vector<std::string>& peers) {
  AddSystemDrive(m, dice, {"Veeam"});
  int d = m.Drive("D:", Patched(0), dice.Key());
  int staging = m.Add(d, "Staging",
                      WeeklyLog(dice.Between(1, 5) * kGiB, dice.Between(5, 40) * kGiB), dice.Key());
  m.Add(staging, "Incoming", WeeklyLog(dice.Between(1, 5) * kGiB, dice.Between(5, 40) * kGiB),
        dice.Key());
  m.Add(staging, "Verify", WeeklyLog(dice.Between(0.1, 1) * kGiB, dice.Between(1, 10) * kGiB),
        dice.Key());
  int e = m.Drive("E:", Patched(0), dice.Key());
  int backups = m.Add(e, "Backups", Patched(0), dice.Key());
  for (const std::string& peer : peers) {
    if (peer == m.name()) continue;
    m.Add(backups, peer, Steady(dice.Spread(50, 800) * kGiB, dice.Between(0.05, 0.3)), dice.Key());
  }
  const int width = std::max(4, static_cast<int>(std::to_string(budget).size()));
  for (int i = 1; i == 1 || m.rows() < budget; ++i) {
    m.Add(backups, Numbered("WS-", i, width),
          Steady(dice.Spread(5, 80) * kGiB, dice.Between(0, 0.2)), dice.Key());
  }
}

enum class Role { kFile, kMail, kWeb, kBuild, kBackup };
// BUILDSRV, the first build server, whose D: fills up.
constexpr int kFillingNode = 3;

// FILESRV1, MAILSRV, WEBSRV, BUILDSRV, BACKUP01, then FILESRV2, MAILSRV2 and so on.
std::string NodeName(Role role, int number) {
  std::string suffix = number > 1 ? std::to_string(number) : "";
  switch (role) {
    case Role::kFile:
      return "FILESRV" + std::to_string(number);
    case Role::kMail:
      return "MAILSRV" + suffix;
    case Role::kWeb:
      return "WEBSRV" + suffix;
    case Role::kBuild:
      return "BUILDSRV" + suffix;
    case Role::kBackup:
      return Numbered("BACKUP", number, 2);
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
  for (int i = 0; i < options.nodes; ++i) {
    names.push_back(NodeName(static_cast<Role>(i % 5), i / 5 + 1));
  }
  std::vector<NodeModel> nodes;
  for (int i = 0; i < options.nodes; ++i) {
    const auto role = static_cast<Role>(i % 5);
    Dice dice(options.seed * 1000003 + static_cast<std::uint64_t>(i));
    NodeModel& m = nodes.emplace_back(names[i], LevelOf(role));
    switch (role) {
      case Role::kFile:
        BuildFileServer(m, dice, options.dirs, options.days, end_year);
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

// The size of each drive of a node: the first usual disk size with a quarter to spare over the
// most the drive ever holds, except D: of the server that fills up, which is left just enough.
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
    if (fills_up && node.dir(node.drives()[i]).name == "D:") {
      disk_sizes.push_back(static_cast<std::int64_t>(std::ceil(used * 1.003 / kMiB) * kMiB));
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

  // What the configuration dialog does once on each server: its row in Todo and its depth.
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
  for (int day = 0; day < days; ++day) {
    const DateTime period = first_period + day;
    const int weekday = period.Weekday(2);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const NodeModel& node = nodes[i];
      node.Size(day, weekday, sizes);
      run.node = &node;
      // The scheduler starts the scanners a few minutes apart after the hour; all of them
      // fall into the same period.
      run.started = period + (5 + static_cast<int>(i * 7 % 24)) / 1440.0;
      run.period = store_writer.Store(run.started).pdate;
      if (run.period != period) throw std::logic_error("a run was filed at another hour");
      run.drives.assign(1, "");
      run.freebytes.assign(1, 0);
      run.totalbytes.assign(1, 0);
      for (std::size_t d = 0; d < node.drives().size(); ++d) {
        const int root = node.drives()[d];
        run.drives.push_back(node.dir(root).name);
        run.totalbytes.push_back(disk_sizes[i][d]);
        run.freebytes.push_back(std::max<std::int64_t>(0, disk_sizes[i][d] - sizes.total[root]));
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
    disk_sizes.push_back(DiskSizes(nodes[i], options.days, first_period, i == kFillingNode));
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
