// The usage window of brontald and its fallback on standard output.
#include "maintenance/frm_maintenance.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "maintenance/usage.h"

namespace brontal {

frmMaintenance::frmMaintenance(QWidget* parent) : QDialog(parent) {
  setWindowTitle(
      QString::fromUtf8(kUsageCaption.data(), static_cast<qsizetype>(kUsageCaption.size())));

  auto* text = new QPlainTextEdit(this);
  text->setObjectName("Text1");
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The text lines up its numbered paragraphs with blanks, which only a fixed font keeps.
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QStringList lines;
  for (std::string_view line : UsageLines()) {
    lines << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  }
  text->setPlainText(lines.join('\n'));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("cmdOK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(ok, 0, Qt::AlignRight);

  const QFontMetrics metrics(text->font());
  resize(metrics.horizontalAdvance(QString(86, 'x')), metrics.lineSpacing() * 24);
}

int ShowUsage(int& argc, char** argv) {
  if (!DesktopAvailable(std::getenv)) {
    std::fputs(UsageText("\n").c_str(), stdout);
    return 0;
  }
  QApplication application(argc, argv);
  frmMaintenance window;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    window.move(screen->availableGeometry().center() - window.rect().center());
  }
  window.exec();
  return 0;
}

}  // namespace brontal
