// The Debian package as an administrator receives it: built by CPack from this build tree,
// unpacked into a temporary root, its scanner run on a small tree into a database made by its
// own brontal-initdb, and its systemd units checked by systemd-analyze where that exists.
// Skipped where the packaging tools are missing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using brontal::testing::ProgramRun;
using brontal::testing::ReadWholeFile;

// The full path of `tool` in one of the PATH's folders; empty when it is in none.
std::string FindOnPath(const std::string& tool) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const fs::path candidate = fs::path(folder.empty() ? "." : folder) / tool;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

class PackageTest : public ::testing::Test {
 protected:
  ProgramRun Run(const std::string& program, std::vector<std::string> args) {
    return brontal::testing::RunProgram(program, std::move(args), temp_.path());
  }

  // The package built into `out`; fails the test when CPack makes none.
  fs::path BuildPackage(const fs::path& out) {
    // Stripping the sanitized debug binaries would only cost time here.
    ProgramRun cpack = Run(BRONTAL_CPACK, {"--config", BRONTAL_CPACK_CONFIG, "-G", "DEB", "-B",
                                           out.string(), "-D", "CPACK_STRIP_FILES=OFF"});
    EXPECT_EQ(cpack.status, 0) << cpack.out << cpack.err;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(out, error)) {
      if (entry.path().extension() == ".deb") return entry.path();
    }
    ADD_FAILURE() << "no package in " << out << "\n" << cpack.out << cpack.err;
    return {};
  }

  // The shipped units, pointed at the unpacked programs, through systemd-analyze where it
  // exists: it refuses a unit whose program is missing or whose settings are bad, and warns
  // about unknown keys.
  void VerifyUnits() {
    const std::string analyze = FindOnPath("systemd-analyze");
    if (analyze.empty()) {
      std::cout << "systemd-analyze is missing: the units are not verified\n";
      return;
    }
    const fs::path units = temp_.path() / "units";
    fs::create_directories(units);
    std::vector<std::string> args{"verify", "--man=no"};
    for (const char* unit :
         {"brontals.service", "brontals.timer", "brontald.service", "brontald.timer"}) {
      std::string text = ReadWholeFile(root_ / "lib/systemd/system" / unit);
      EXPECT_FALSE(text.empty()) << unit;
      const std::string shipped = "/opt/brontal/bin";
      // The unpacked folder ends in the shipped path itself, so the search goes on after it.
      for (std::size_t at = 0; (at = text.find(shipped, at)) != std::string::npos;) {
        text.replace(at, shipped.size(), program_folder_.string());
        at += program_folder_.string().size();
      }
      std::ofstream(units / unit) << text;
      args.push_back((units / unit).string());
    }
    ProgramRun verify = Run(analyze, args);
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.err, "");
  }

  brontal::testing::TempFolder temp_;
  const fs::path root_ = temp_.path() / "root";
  const fs::path program_folder_ = root_ / "opt/brontal/bin";
};

TEST_F(PackageTest, UnpackedPackageHoldsEverythingAndItsScannerStoresATree) {
  const std::string dpkg_deb = FindOnPath("dpkg-deb");
  if (dpkg_deb.empty() || FindOnPath("dpkg-shlibdeps").empty()) {
    GTEST_SKIP() << "dpkg-deb and dpkg-shlibdeps are missing (apt-get install dpkg-dev)";
  }
  const fs::path deb = BuildPackage(temp_.path() / "out");
  ASSERT_FALSE(deb.empty());
  EXPECT_EQ(
      deb.filename().string().rfind(std::string("brontal_") + BRONTAL_EXPECTED_VERSION + "_", 0),
      0u)
      << deb;

  // dpkg-shlibdeps found the libraries the programs link.
  ProgramRun depends = Run(dpkg_deb, {"--field", deb.string(), "Depends"});
  EXPECT_NE(depends.out.find("libsqlite3-0"), std::string::npos) << depends.out;
  EXPECT_NE(depends.out.find("libqt6widgets6"), std::string::npos) << depends.out;

  const fs::path control = temp_.path() / "control";
  ASSERT_EQ(Run(dpkg_deb, {"--control", deb.string(), control.string()}).status, 0);
  EXPECT_EQ(ReadWholeFile(control / "conffiles"), "/etc/default/brontal\n");
  for (const char* script : {"postinst", "prerm", "postrm"}) {
    EXPECT_EQ(::access((control / script).c_str(), X_OK), 0) << script;
  }

  ASSERT_EQ(Run(dpkg_deb, {"--extract", deb.string(), root_.string()}).status, 0);
  for (const char* program : {"brontals", "brontald", "brontalh", "brontalc", "brontal-initdb",
                              "brontal-sql", "brontal-copydb"}) {
    EXPECT_EQ(::access((program_folder_ / program).c_str(), X_OK), 0) << program;
    const fs::path link = root_ / "usr/bin" / program;
    EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(fs::read_symlink(link), fs::path("/opt/brontal/bin") / program);
  }
  for (const char* file :
       {"opt/brontal/bin/README.md", "etc/default/brontal", "usr/share/man/man1/brontals.1.gz",
        "usr/share/man/man1/brontald.1.gz", "usr/share/applications/brontalc.desktop",
        "usr/share/icons/hicolor/scalable/apps/brontalc.svg", "usr/share/doc/brontal/copyright",
        "usr/share/doc/brontal/changelog.gz"}) {
    EXPECT_TRUE(fs::is_regular_file(root_ / file)) << file;
  }

  ProgramRun version = Run((program_folder_ / "brontals").string(), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("brontals ") + BRONTAL_EXPECTED_VERSION + "\n");

  // A node set up as the README says: a fresh database, dbloc.txt beside the programs.
  const std::string db = (temp_.path() / "brontal.mdb").string();
  ProgramRun made = Run((program_folder_ / "brontal-initdb").string(), {db, "2"});
  ASSERT_EQ(made.status, 0) << made.err;
  std::ofstream(program_folder_ / "dbloc.txt") << db << "\r\n";
  const fs::path tree = temp_.path() / "tree";
  fs::create_directories(tree / "alpha" / "deep");
  fs::create_directories(tree / "beta");
  std::ofstream(tree / "alpha" / "deep" / "f") << std::string(1000, 'x');
  std::ofstream(tree / "beta" / "g") << std::string(20, 'y');
  ::setenv("BRONTAL_DRIVES", tree.c_str(), 1);
  ::setenv("BRONTAL_NODENAME", "packaged", 1);
  ::setenv("XDG_CONFIG_HOME", (temp_.path() / "config").c_str(), 1);
  ProgramRun scan = Run((program_folder_ / "brontals").string(), {"uncompressed"});
  EXPECT_EQ(scan.status, 0) << ReadWholeFile(program_folder_ / "brontals.log");
  ProgramRun stored =
      Run((program_folder_ / "brontal-sql").string(),
          {db,
           "select Dir, Brontal from Dirs where Dir = \"packaged\" or Dir = \"alpha\" "
           "order by Dir"});
  EXPECT_EQ(stored.out, "Dir\tBrontal\nalpha\t1000\npackaged\t1020\n") << stored.err;

  VerifyUnits();
}

}  // namespace
