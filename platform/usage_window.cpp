// The usage window shared by the command-line programs.
#include "platform/usage_window.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace brontal {

bool DesktopAvailable(const std::function<const char*(const char*)>& getenv) {
  auto set = [&](const char* name) {
    const char* value = getenv(name);
    return value != nullptr && *value != '\0';
  };
  if (const char* platform = getenv("QT_QPA_PLATFORM")) {
    std::string_view name = platform;
    if (name.starts_with("offscreen") || name.starts_with("minimal")) return false;
  }
  return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

UsageWindow::UsageWindow(std::string_view caption, std::span<const std::string_view> lines,
                         int columns, int rows, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));

  auto* text = new QPlainTextEdit(this);
  text->setObjectName("Text1");
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The texts line up their paragraphs and examples with blanks, which only a fixed font keeps.
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QStringList all;
  for (std::string_view line : lines) {
    all << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  }
  text->setPlainText(all.join('\n'));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("cmdOK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(ok, 0, Qt::AlignRight);

  const QFontMetrics metrics(text->font());
  resize(metrics.horizontalAdvance(QString(columns, 'x')), metrics.lineSpacing() * rows);
}

int ShowUsageWindow(int& argc, char** argv, const std::string& text,
                    const std::function<std::unique_ptr<QDialog>()>& make_window) {
  if (!DesktopAvailable(std::getenv)) {
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  QApplication application(argc, argv);
  std::unique_ptr<QDialog> window = make_window();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    window->move(screen->availableGeometry().center() - window->rect().center());
  }
  window->exec();
  return 0;
}

}  // namespace brontal
