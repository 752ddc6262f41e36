// The viewer's services: path keys as UNC paths, list cells read back, the copy text, window
// placement, and the database connection with its one repair, the log file and the shell.
#include "viewer/client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "maintenance/repair_compact.h"
#include "platform/fixed_locale.h"
#include "platform/linux_file_operations.h"
#include "platform/linux_filesystem.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

using Lines = std::vector<std::string>;

TEST(ClientTextTest, KeysAsUncPaths) {
  EXPECT_EQ(KeyToUnc("r\\node1\\d:\\users\\x"), "\\\\node1\\d$\\users\\x");
  EXPECT_EQ(KeyToUnc("r\\node1"), "\\\\node1");
  EXPECT_EQ(KeyToUnc("r"), "\\");
  EXPECT_EQ(KeyToUnc("r\\node1\\share\\dir"), "\\\\node1\\share\\dir");
  EXPECT_EQ(KeyToUnc("R\\NODE1\\C:"), "\\\\NODE1\\C$");
  // Only a drive letter becomes a share: a Linux drive is a mount point, and a ":" in it or in
  // a directory's name is the name's own.
  EXPECT_EQ(KeyToUnc("r\\server1\\/home\\a:b"), "\\\\server1\\/home\\a:b");
  EXPECT_EQ(KeyToUnc("r\\server1\\/srv:old\\x"), "\\\\server1\\/srv:old\\x");
  EXPECT_EQ(KeyToUnc("r\\server1\\/home\\c:"), "\\\\server1\\/home\\c:");
  EXPECT_EQ(KeyToUnc("r\\node1\\c:x\\y"), "\\\\node1\\c:x\\y");
  EXPECT_EQ(KeyToUnc("r\\node1\\1:\\y"), "\\\\node1\\1:\\y");
  EXPECT_EQ(KeyToUnc("r\\node1\\d:\\e:"), "\\\\node1\\d$\\e:");
  EXPECT_EQ(KeyToUnc("r\\a:b"), "\\\\a:b");
}

TEST(ClientTextTest, CellsReadBackAsNumbers) {
  const FixedLocale english;
  EXPECT_EQ(ToCurrency("      1,234,567", english), 1234567);
  EXPECT_EQ(ToCurrency("             12 ", english), 12);
  EXPECT_EQ(ToCurrency("         1,234-", english), -1234);
  EXPECT_EQ(ToCurrency("  -2.5", english), -2.5);
  EXPECT_EQ(ToCurrency("1.234,5-", FixedLocale::German()), -1234.5);
  EXPECT_EQ(ToCurrency("   1\xC2\xA0"
                       "234",
                       FixedLocale({.thousands_separator = "\xC2\xA0"})),
            1234);
  for (const char* text : {"", "    ", "-", "abc", "12abc", "1 2", "1.2.3", "--3", "1-2"}) {
    EXPECT_EQ(ToCurrency(text, english), 0) << text;
  }
}

TEST(ClientTextTest, TheCopyTextOfAList) {
  const std::vector<std::string> captions = {"Name", "Change MB", "Size MB (P1)", "Size MB (P2)"};
  const std::vector<std::vector<std::string>> rows = {
      {"WINNT", "             0 ", "            600", "            600"},
      {" Old", "            12-", "", "             12"},
      {"New", "            10 ", "             10"},  // a row short of a cell
  };
  EXPECT_EQ(ListCopyText(captions, rows),
            "Name\tChange MB\tSize MB (P1)\tSize MB (P2)\r\n"
            "WINNT\t0\t600\t600\r\n"
            " Old\t12-\t\t12\r\n"
            "New\t10\t10\t\r\n");
  EXPECT_EQ(ListCopyText(captions, {}), "");
  EXPECT_EQ(ListCopyText({}, rows), "");
}

TEST(ClientTextTest, PlacementByWindowState) {
  MemorySettings settings;
  const Placement current{0, 100, 200, 300, 400};
  EXPECT_EQ(ReadPlacement(settings, "frmMain", current), current);
  SavePlacement(settings, "frmMain", {0, 15, 30, 8850, 5700});
  EXPECT_EQ(settings.Get("frmMain", "WindowLeft", ""), "15");
  // Maximized keeps the normal placement saved before; minimized saves nothing.
  SavePlacement(settings, "frmMain", {2, 0, 0, 19200, 10800});
  SavePlacement(settings, "frmMain", {1, 1, 1, 1, 1});
  EXPECT_EQ(ReadPlacement(settings, "frmMain", current), (Placement{2, 15, 30, 8850, 5700}));

  settings.Set("frmGraph", "WindowLeft", "abc");
  settings.Set("frmGraph", "WindowTop", " 42 ");
  settings.Set("frmGraph", "WindowWidth", "99999999999999");
  EXPECT_EQ(ReadPlacement(settings, "frmGraph", current), (Placement{0, 100, 42, 300, 400}));
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The client opens the file itself; the fixture's connection would keep a repair out.
    fixture_.database->Close();
    fixture_.database.reset();
    settings_.Set("Options", "dbFilename", fixture_.path);
  }

  testing::ViewerDatabase fixture_;
  MemorySettings settings_;
  FixedLocale locale_;
  RecordingMessageBox message_box_;
  RecordingBusyPointer pointer_;
  LinuxFileOperations files_;
  RecordingShell shell_;
  MemoryClipboard clipboard_;
  Client client_{{.engine = *fixture_.engine,
                  .settings = settings_,
                  .clock = fixture_.clock,
                  .locale = locale_,
                  .message_box = message_box_,
                  .pointer = pointer_,
                  .files = files_,
                  .shell = shell_,
                  .clipboard = clipboard_,
                  .file_exists = [](const std::string& path) {
                    return std::filesystem::is_regular_file(path);
                  }}};
};

TEST_F(ClientTest, OpensTheDatabaseOfTheSettingsAndKeepsPeriodsWhenNoneAreLeft) {
  EXPECT_EQ(client_.OpenSizeDatabase({}), Client::OpenOutcome::kOpened);
  client_.ReloadPeriodDates();
  EXPECT_EQ(client_.PeriodDates(),
            (std::vector<DateTime>{testing::kP1, testing::kP2, testing::kP0}));
  client_.database().Execute("delete * from Periods");
  client_.ReloadPeriodDates();
  EXPECT_EQ(client_.PeriodCount(), 0);
  EXPECT_EQ(client_.PeriodDates().size(), 3u);

  EXPECT_EQ(client_.CompactAndReopen(), Client::OpenOutcome::kOpened);
  EXPECT_TRUE(std::filesystem::exists(CompactionNamesOf(fixture_.path).backup));
  client_.CloseSizeDatabase();
  EXPECT_THROW(client_.database(), db::DbError);
  EXPECT_TRUE(message_box_.shown.empty());
}

TEST_F(ClientTest, AMissingDatabaseIsAskedForAndTheViewerEndsWhenItStaysMissing) {
  const std::string missing = fixture_.folder / "moved.mdb";
  settings_.Set("Options", "dbFilename", missing);
  int asked = 0;
  auto quit = [&] {
    EXPECT_EQ(client_.DbFilename(), missing);  // the dialog shows the path in use
    return ++asked < 0;
  };
  auto confirm_nothing = [&] { return ++asked > 0; };
  EXPECT_EQ(client_.OpenSizeDatabase(quit), Client::OpenOutcome::kNoDatabase);
  EXPECT_EQ(client_.OpenSizeDatabase(confirm_nothing), Client::OpenOutcome::kNoDatabase);
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(message_box_.shown.empty());
  EXPECT_TRUE(pointer_.changes.empty());  // no repair of a file that is not there

  // The dialog sets the viewer's path, or only saves it: either is opened.
  EXPECT_EQ(client_.OpenSizeDatabase([&] {
    client_.SetDbFilename(fixture_.path);
    return true;
  }),
            Client::OpenOutcome::kOpened);
  settings_.Set("Options", "dbFilename", "");
  EXPECT_EQ(client_.OpenSizeDatabase([&] {
    settings_.Set("Options", "dbFilename", fixture_.path);
    return true;
  }),
            Client::OpenOutcome::kOpened);
}

TEST_F(ClientTest, ADamagedFileGetsOneRepairThenTheMessage) {
  const std::string damaged = fixture_.folder / "damaged.mdb";
  std::ofstream(damaged) << "no database at all";
  settings_.Set("Options", "dbFilename", damaged);
  EXPECT_EQ(client_.OpenSizeDatabase({}), Client::OpenOutcome::kFailed);
  EXPECT_FALSE(client_.IsOpen());
  EXPECT_EQ(pointer_.changes, (Lines{"show", "restore"}));
  ASSERT_EQ(message_box_.shown.size(), 2u);  // the repair's report, then the viewer's
  const std::string& last = message_box_.shown.back();
  EXPECT_TRUE(last.starts_with("Error: ") && last.size() > 70) << last;
  EXPECT_TRUE(last.ends_with(".  Unable to open database, please try a compact/repair")) << last;
  EXPECT_EQ(testing::ReadWholeFile(damaged), "no database at all");
}

TEST_F(ClientTest, AShareIsCheckedOpenedAndCompactedWhereItLiesAndKeptAsWritten) {
  // \\server1\brontal resolves under a folder of the test, as under /net on a real machine.
  const std::string unc_root = fixture_.folder / "net";
  std::filesystem::create_directories(unc_root + "/server1/brontal");
  const std::string native = unc_root + "/server1/brontal/brontal.mdb";
  std::filesystem::copy_file(fixture_.path, native);
  std::filesystem::copy_file(fixture_.path, unc_root + "/server1/brontal/other.mdb");
  ClientServices services = client_.services();
  services.native_path = [unc_root](const std::string& path) {
    return NativePathOf(path, unc_root);
  };
  Client client(services);

  const std::string share = "\\\\server1\\brontal\\brontal.mdb";
  settings_.Set("Options", "dbFilename", share);
  EXPECT_TRUE(client.FileExists(share));
  ASSERT_EQ(client.OpenSizeDatabase({}), Client::OpenOutcome::kOpened);
  EXPECT_EQ(client.DbFilename(), share);
  client.ReloadPeriodDates();
  EXPECT_EQ(client.PeriodCount(), 3);
  EXPECT_EQ(client.CompactAndReopen(), Client::OpenOutcome::kOpened);
  EXPECT_TRUE(std::filesystem::exists(CompactionNamesOf(native).backup));

  EXPECT_EQ(client.SwitchDatabase("\\\\server2\\brontal\\brontal.mdb"),
            Client::OpenOutcome::kNoDatabase);
  const std::string other = "\\\\server1\\brontal\\other.mdb";
  EXPECT_EQ(client.SwitchDatabase(other), Client::OpenOutcome::kOpened);
  EXPECT_EQ(client.DbFilename(), other);
  EXPECT_EQ(settings_.Get("Options", "dbFilename", ""), other);
  EXPECT_TRUE(message_box_.shown.empty());
}

TEST_F(ClientTest, LogFilesExplorerAndTheClipboard) {
  ASSERT_EQ(client_.OpenSizeDatabase({}), Client::OpenOutcome::kOpened);
  client_.database().Execute(
      "insert into Todo (Nodename, DirParent, Levels, LogFile) values ('o''brien', 'R', -1, "
      "'E:\\logs\\scan.log')");
  client_.database().Execute(
      "insert into Todo (Nodename, DirParent, Levels, LogFile) values ('web1', 'R', -1, "
      "'/opt/brontal:2/brontals.log')");
  for (const char* key :
       {"r\\SERVER1", "r\\o'brien", "r\\web1", "r\\server9", "r\\x' or nodename<>'", "r"}) {
    client_.ViewLogFile(key);
  }
  client_.ExploreKey("r\\node1\\d:\\users");
  client_.OpenKey("r\\node1");
  client_.OpenMailTo();
  EXPECT_EQ(shell_.requests,
            (Lines{"edit \\\\SERVER1\\C$\\tools\\scan.log", "edit \\\\o'brien\\E$\\logs\\scan.log",
                   "edit \\\\web1\\/opt/brontal:2/brontals.log", "explore \\\\node1\\d$\\users",
                   "open \\\\node1", "url mailto:root@localhost"}));
  EXPECT_TRUE(WebPageAddress().starts_with("file:///"));

  client_.CopyText("Name\r\n");
  EXPECT_TRUE(clipboard_.cleared);
  EXPECT_EQ(clipboard_.text, "Name\r\n");
  client_.CopyText("");
  EXPECT_EQ(clipboard_.text, "");
}

}  // namespace
}  // namespace brontal
