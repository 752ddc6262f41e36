// The usage window of brontalh and its fallback on standard output.
#include "htmltool/frm_html_report.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "htmltool/usage.h"

namespace brontal {

frmHtmlReport::frmHtmlReport(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Brontal HTMLer");

  auto* text = new QPlainTextEdit(this);
  text->setObjectName("Text1");
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The example command is long; a fixed font keeps it on one readable line.
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QStringList lines;
  for (std::string_view line : HtmlReportUsageLines()) {
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
  resize(metrics.horizontalAdvance(QString(100, 'x')), metrics.lineSpacing() * 16);
}

int ShowHtmlReportUsage(int& argc, char** argv) {
  if (!HtmlReportDesktopAvailable(std::getenv)) {
    std::fputs(HtmlReportUsageText("\n").c_str(), stdout);
    return 0;
  }
  QApplication application(argc, argv);
  frmHtmlReport window;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    window.move(screen->availableGeometry().center() - window.rect().center());
  }
  window.exec();
  return 0;
}

}  // namespace brontal
