// Directory names that break careless code, from the disk to every reader: the real scanner
// stores a tree of them, an exact lookup finds each, the viewer's main window lists, copies and
// opens each, and the real brontalh writes each into a page as text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/colour_dialog.h"
#include "platform/linux_filesystem.h"
#include "platform/open_file_dialog.h"
#include "platform/qt_shell.h"
#include "platform/question_box.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/env_guard.h"
#include "platform/testing/qt_test_main.h"
#include "platform/testing/query_rows.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_folder.h"
#include "store/format.h"
#include "store/schema.h"
#include "store/sql_text.h"
#include "store/text.h"
#include "viewer/client.h"
#include "viewer/frmMain/frm_main.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMB = 1024 * 1024;
constexpr char kNode[] = "hostile";

// A directory of the tree: its name on the disk, as the database stores it, and as readers
// show it (UTF-8, with U+FFFD for bytes that are not).
struct Name {
  std::string native;
  std::string stored;
  std::string shown;
};

const std::string kLong = [] {
  std::string name;
  for (int i = 0; i < 127; ++i) name += "\xC3\xA9";  // é
  return name + "x";                                 // 255 bytes
}();

const std::vector<Name> kNames = {
    {"say \"hi\" it's", "say \"hi\" it's", "say \"hi\" it's"},
    {"star*", "star*", "star*"},
    {"what?", "what?", "what?"},
    {"100%", "100%", "100%"},
    {"a_b", "a_b", "a_b"},
    {"[a-z]", "[a-z]", "[a-z]"},
    {"#1#", "#1#", "#1#"},
    {"back\\slash", "back\xEF\xBC\xBCslash", "back\xEF\xBC\xBCslash"},  // U+FF3C
    {"new\nline", "new\nline", "new\nline"},
    {"tab\there", "tab\there", "tab\there"},
    {"caf\xE9 latin1", "caf\xE9 latin1", "caf\xEF\xBF\xBD latin1"},
    {"<script>alert(1)&amp;", "<script>alert(1)&amp;", "<script>alert(1)&amp;"},
    {kLong, kLong, kLong},
    {"Case", "Case", "Case"},
    {"case", "case", "case"},
};

// Directory i holds one file of i + 1 megabytes, a hole that takes no disk space.
std::int64_t SizeOf(std::size_t i) { return static_cast<std::int64_t>(i + 1) * kMB; }

// The tree, scanned twice by the real brontals a week apart, shared by the tests.
class HostileNamesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempFolder;
    fs::create_directories(Bin());
    fs::create_directories(Tree());
    for (const char* program : {"brontals", "brontalh"}) {
      fs::copy_file(std::string(BRONTAL_BIN_DIR) + "/" + program, Bin() / program);
    }
    std::ofstream(Bin() / "dbloc.txt") << DbPath() << "\r\n";
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      fs::create_directory(Tree() / kNames[i].native);
      std::ofstream(Tree() / kNames[i].native / "f");
      fs::resize_file(Tree() / kNames[i].native / "f", static_cast<std::uintmax_t>(SizeOf(i)));
    }
    auto engine = db::MakeSqliteEngine();
    CreateBrontalDatabase(*engine, DbPath(), 3);

    testing::EnvGuard drives("BRONTAL_DRIVES", Tree().c_str());
    testing::EnvGuard node("BRONTAL_NODENAME", kNode);
    testing::EnvGuard config("XDG_CONFIG_HOME", (folder_->path() / "config").c_str());
    ASSERT_EQ(Scan().status, 0) << Log("brontals.log");
    // The first run becomes last week's, so that the second gives a week-old comparison.
    auto database = engine->DefaultWorkspace().OpenDatabase(DbPath());
    const DateTime now =
        database->OpenRecordset("Periods", db::RecordsetType::kTable)->Field("pdate").AsDate();
    const std::string week_ago =
        SqlDateText(DateTime::FromSeconds(now.Seconds() - 7 * 86400), "m/d/yyyy h:n:s");
    for (const char* table : {"Dirs", "Parents", "Disks", "Periods"}) {
      database->Execute(std::string("update ") + table + " set pdate = #" + week_ago + "#");
    }
    database->Close();
    ASSERT_EQ(Scan().status, 0) << Log("brontals.log");
  }
  static void TearDownTestSuite() { delete folder_; }

  static testing::ProgramRun Scan() {
    return testing::RunProgram((Bin() / "brontals").string(), {"uncompressed"}, folder_->path());
  }
  static std::string Log(const char* name) { return testing::ReadWholeFile(Bin() / name); }

  static fs::path Bin() { return folder_->path() / "bin"; }
  static fs::path Tree() { return folder_->path() / "tree"; }
  static std::string DbPath() { return *folder_ / "brontal.mdb"; }
  // The drive is the tree's mount point as given; its directories hang below it.
  static std::string DrivePath() { return std::string("R\\") + kNode + "\\" + Tree().string(); }
  // Where the shell finds a directory of the tree: on the node's share, \\node\drive\name.
  static std::string Unc(const Name& name) {
    return std::string("\\\\") + kNode + "\\" + Tree().string() + "\\" + name.stored;
  }

  static testing::TempFolder* folder_;
};

testing::TempFolder* HostileNamesTest::folder_ = nullptr;

// Each directory is stored once, under its own name, with its own size; a lookup of the name as
// a literal finds it (and, the database comparing without regard to case, its twin of another
// case); the stored name leads back to the directory on the disk.
TEST_F(HostileNamesTest, EachNameIsStoredOnceAndFoundByAnExactLookup) {
  auto engine = db::MakeSqliteEngine();
  const std::string where = " where DirParent = \"" + SqlText(DrivePath()) + "\"";
  std::vector<std::string> all = testing::QueryRows(
      *engine, DbPath(), "select Dir, Brontal, pdate from Dirs" + where + " and Dir <> \".\"");
  EXPECT_EQ(all.size(), 2 * kNames.size());
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    const Name& name = kNames[i];
    const std::vector<std::string> found = testing::QueryRows(
        *engine, DbPath(),
        "select Dir, Brontal from Dirs" + where + " and Dir = \"" + SqlText(name.stored) + "\"");
    const std::string row = name.stored + "|" + std::to_string(SizeOf(i));
    EXPECT_EQ(std::count(found.begin(), found.end(), row), 2) << name.shown;  // two periods
    EXPECT_EQ(found.size(), LowerCase(name.stored) == "case" ? 4u : 2u) << name.shown;
    EXPECT_TRUE(fs::is_directory(NativePathOf(Tree().string() + "\\" + name.stored, "/net")))
        << name.shown;
  }
}

// Everything the main window needs, with fakes where the desktop would answer.
struct Viewer : testing::FakeDesktop {
  explicit Viewer(const std::string& database_path) {
    settings.Set("Options", "dbFilename", database_path);
    settings.Set("Options", "CompareWhen", "1");  // the week-old period beside the newest
  }

  std::unique_ptr<db::Engine> engine = db::MakeSqliteEngine();
  SystemClock clock;
  ScriptedQuestionBox questions;
  ScriptedOpenFileDialog open_file;
  ScriptedColourDialog colours;
  LinuxFileSystem file_system{"/net"};
  Client client{Services(*engine, clock)};
  FrmMain window{client, OptionsDialogs{questions, open_file, file_system, &colours}, ""};
};

// Takes the addresses the desktop is asked to open, in its place.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() { QDesktopServices::setUrlHandler("file", this, "Open"); }
  ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }

  // The bytes of the last address's path, as the file system takes them.
  std::string LastPath() const {
    if (urls_.empty()) return {};
    return QByteArray::fromPercentEncoding(urls_.back().path(QUrl::FullyEncoded).toLatin1())
        .toStdString();
  }

 public slots:
  void Open(const QUrl& url) { urls_.push_back(url); }

 private:
  std::vector<QUrl> urls_;
};

QTreeWidgetItem* RowNamed(QTreeWidget& list, const std::string& text) {
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    if (list.topLevelItem(i)->text(0).toStdString() == text) return list.topLevelItem(i);
  }
  return nullptr;
}

// The list shows each name as its text with its size; Copy puts that text on the clipboard;
// Open and Explore hand the shell the directory's own path as one argument; the directory's
// own list (its files) is found through the tree.
TEST_F(HostileNamesTest, TheViewerListsCopiesAndOpensEachName) {
  Viewer viewer(DbPath());
  ASSERT_TRUE(viewer.window.Start());
  const std::string drive_key = LowerCase(DrivePath());
  viewer.window.FindT(drive_key);
  auto* list = viewer.window.findChild<QTreeWidget*>("l");
  // The names and "." for the files lying in the drive's folder itself (none).
  ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(kNames.size()) + 1);

  list->setFocus();
  QFocusEvent focus(QEvent::FocusIn, Qt::OtherFocusReason);
  QApplication::sendEvent(list, &focus);
  viewer.window.findChild<QAction*>("mnuEditCopy")->trigger();
  const std::string copied = viewer.clipboard.text;

  for (std::size_t i = 0; i < kNames.size(); ++i) {
    const Name& name = kNames[i];
    QTreeWidgetItem* row = RowNamed(*list, name.shown);
    ASSERT_NE(row, nullptr) << name.shown;
    EXPECT_EQ(row->text(2).trimmed().toStdString(), std::to_string(i + 1)) << name.shown;
    EXPECT_NE(copied.find("\r\n" + name.shown + "\t0\t" + std::to_string(i + 1) + "\t"),
              std::string::npos)
        << name.shown;

    viewer.shell.requests.clear();
    list->setCurrentItem(row);
    viewer.window.findChild<QAction*>("mnuPopupsLOpen")->trigger();
    viewer.window.findChild<QAction*>("mnuPopupsLExplore")->trigger();
    const std::string unc = Unc(name);
    EXPECT_EQ(viewer.shell.requests, (std::vector<std::string>{"open " + unc, "explore " + unc}));
    // The desktop's shell hands on the directory's own bytes, under the share root.
    UrlCatcher desktop;
    EXPECT_TRUE(QtShell("/net").Open(unc));
    EXPECT_EQ(desktop.LastPath(), "/net/" + std::string(kNode) + (Tree() / name.native).string())
        << name.shown;
  }

  for (const Name& name : kNames) {
    viewer.window.FindT(drive_key + "\\" + LowerCase(name.stored));
    ASSERT_EQ(list->topLevelItemCount(), 1) << name.shown;
    EXPECT_EQ(list->topLevelItem(0)->text(0), QString(".")) << name.shown;
    viewer.shell.requests.clear();
    viewer.window.findChild<QAction*>("mnuPopupsTOpen")->trigger();
    ASSERT_EQ(viewer.shell.requests.size(), 1u);
    // Case and case share one tree item, which opens one of them.
    EXPECT_EQ(LowerCase(viewer.shell.requests[0]), LowerCase("open " + Unc(name)));
    if (LowerCase(name.stored) != "case") {
      EXPECT_EQ(viewer.shell.requests[0], "open " + Unc(name));
    }
  }
  EXPECT_TRUE(viewer.messages.shown.empty());
}

// Each name is written into the page as text: markup characters as entities, cut to the page's
// 30 characters, and nothing the browser would take for a tag.
TEST_F(HostileNamesTest, TheHtmlReportShowsEachNameAsText) {
  testing::EnvGuard no_display("DISPLAY", nullptr);
  testing::EnvGuard platform("QT_QPA_PLATFORM", "offscreen");
  const std::string page_path = *folder_ / "page.htm";
  const testing::ProgramRun run =
      testing::RunProgram((Bin() / "brontalh").string(),
                          {"/d:7", std::string("/u:\\\\") + kNode + "\\" + Tree().string(),
                           "/h:" + page_path, "/list", "/s:name"},
                          folder_->path());
  ASSERT_EQ(run.status, 0) << Log("brontalh.log");
  const std::string page = testing::ReadWholeFile(page_path);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  for (const Name& name : kNames) {
    std::string escaped;
    int characters = 0;
    for (const char c : name.shown) {
      if ((c & 0xC0) != 0x80 && ++characters > 30) break;
      escaped += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    }
    EXPECT_NE(page.find("<td>&nbsp;&nbsp;&nbsp;" + escaped + "\r\n"), std::string::npos)
        << name.shown;
  }
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) { return brontal::testing::RunAllTestsInApplication(argc, argv); }

#include "hostile_names_test.moc"
