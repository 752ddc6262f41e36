// The Qt save-file dialog on the offscreen platform: the request as the dialog shows it, the
// answers, and the names it refuses.
#include "platform/printing/qt_save_file_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>

#include "platform/qt_file_filters.h"
#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

// Acts on the modal windows as they come up, one step each; a step returns false when the
// window on top is not yet the one it expects.
class ModalScript {
 public:
  explicit ModalScript(std::deque<std::function<bool(QWidget*)>> steps) : steps_(std::move(steps)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* top = QApplication::activeModalWidget();
      if (!steps_.empty() && top && steps_.front()(top)) steps_.pop_front();
      if (steps_.empty()) timer_.stop();
    });
    timer_.start(10);
  }
  bool Done() const { return steps_.empty(); }

 private:
  std::deque<std::function<bool(QWidget*)>> steps_;
  QTimer timer_;
};

// Types `name` into the name field of the dialog shown in `folder`, as a user does. selectFile
// would not do: Qt leaves the name field alone while it has the focus, which it has once the
// dialog is active.
void Choose(QFileDialog* dialog, const std::filesystem::path& folder, const QString& name) {
  dialog->setDirectory(QString::fromStdString(folder.string()));
  auto* name_field = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(name_field, nullptr);
  name_field->setText(name);
}

const SaveFileRequest kHtmlRequest{.title = "Print to HTML file...",
                                   .filter = "HTML (*.htm;*.html)|*.htm;*.html",
                                   .initial_name = "brontal.htm",
                                   .default_extension = ".htm",
                                   .overwrite_prompt = true,
                                   .hide_read_only = true,
                                   .path_must_exist = true,
                                   .no_read_only_return = true};

TEST(PrintingSaveFileDialogTest, FiltersTakeQtsForm) {
  EXPECT_EQ(QtNameFilters("HTML (*.htm;*.html)|*.htm;*.html"), QStringList{"HTML (*.htm *.html)"});
  EXPECT_EQ(QtNameFilters("Text|*.txt|All files (*.*)|*.*"),
            (QStringList{"Text (*.txt)", "All files (*.*)"}));
  EXPECT_THROW(QtNameFilters("HTML|*.htm|odd"), std::invalid_argument);
  EXPECT_THROW(QtNameFilters(""), std::invalid_argument);
}

TEST(PrintingSaveFileDialogTest, ShowsTheRequestAndAddsTheDefaultExtension) {
  testing::TempFolder folder;
  QString seen_title, seen_suffix;
  QStringList seen_filters;
  ModalScript script({[&](QWidget* top) {
    auto* dialog = qobject_cast<QFileDialog*>(top);
    if (!dialog) return false;
    seen_title = dialog->windowTitle();
    seen_suffix = dialog->defaultSuffix();
    seen_filters = dialog->nameFilters();
    Choose(dialog, folder.path(), "report");
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
    return true;
  }});
  QtSaveFileDialog save_dialog;
  std::optional<std::string> answer = save_dialog.Ask(kHtmlRequest);
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(answer, folder / "report.htm");
  EXPECT_EQ(seen_title, "Print to HTML file...");
  EXPECT_EQ(seen_suffix, "htm");
  EXPECT_EQ(seen_filters, QStringList{"HTML (*.htm *.html)"});
}

TEST(PrintingSaveFileDialogTest, CancelGivesNothing) {
  ModalScript script({[](QWidget* top) {
    auto* dialog = qobject_cast<QFileDialog*>(top);
    if (dialog) dialog->reject();
    return dialog != nullptr;
  }});
  QtSaveFileDialog save_dialog;
  EXPECT_EQ(save_dialog.Ask(kHtmlRequest), std::nullopt);
  EXPECT_TRUE(script.Done());
}

TEST(PrintingSaveFileDialogTest, AMissingFolderIsRefusedAndTheDialogAsksAgain) {
  testing::TempFolder folder;
  QString warning;
  ModalScript script({[&](QWidget* top) {
                        auto* dialog = qobject_cast<QFileDialog*>(top);
                        if (!dialog) return false;
                        Choose(dialog, folder.path(), "missing/x.htm");
                        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
                        return true;
                      },
                      [&](QWidget* top) {
                        auto* box = qobject_cast<QMessageBox*>(top);
                        if (!box) return false;
                        warning = box->text();
                        box->accept();
                        return true;
                      },
                      [&](QWidget* top) {
                        auto* dialog = qobject_cast<QFileDialog*>(top);
                        if (!dialog) return false;
                        Choose(dialog, folder.path(), "x.htm");
                        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
                        return true;
                      }});
  QtSaveFileDialog save_dialog;
  EXPECT_EQ(save_dialog.Ask(kHtmlRequest), folder / "x.htm");
  EXPECT_TRUE(script.Done());
  EXPECT_TRUE(warning.contains("does not exist")) << warning.toStdString();
}

}  // namespace
}  // namespace brontal
