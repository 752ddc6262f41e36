// The Qt printer: pages spooled in memory as text and picture operations, painted on the default
// printer or into a PDF file when the document ends.
#include "platform/printing/qt_printer.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <cstdlib>

namespace brontal {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The base fonts that every printer knows by name. Qt asks fontconfig for them, which maps them
// to metric-compatible fonts; the style hint keeps the kind when none of those is installed.
struct BaseFont {
  const char* name;
  QFont::StyleHint hint;
};
constexpr BaseFont kBaseFonts[] = {
    {"Courier", QFont::TypeWriter}, {"Helvetica", QFont::SansSerif}, {"Times", QFont::Serif}};

}  // namespace

QtPrinter::QtPrinter(QtPrinterOptions options) : options_(std::move(options)) {
  QPrinterInfo installed = QPrinterInfo::defaultPrinter();
  pdf_ = options_.force_pdf || installed.isNull();
  if (pdf_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setOutputFormat(QPrinter::PdfFormat);
    // A printer's usual unprintable edge, which leaves room for the 76 columns of a report in
    // Courier 12 on A4 as on Letter.
    printer_->setPageMargins(QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch);
  } else {
    printer_ = std::make_unique<QPrinter>(installed, QPrinter::HighResolution);
  }
  points_to_device_ = printer_->resolution() / 72.0;
  font_name_ = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family().toStdString();
  UpdateArea();
}

QtPrinter::~QtPrinter() = default;

void QtPrinter::UpdateArea() {
  printer_->setPageOrientation(orientation_ == PageOrientation::kLandscape ? QPageLayout::Landscape
                                                                           : QPageLayout::Portrait);
  QRectF paint = printer_->pageLayout().paintRect(QPageLayout::Point);
  area_ = QRectF(0, 0, paint.width(), paint.height());
}

std::vector<std::string> QtPrinter::Fonts() const {
  std::vector<std::string> fonts;
  for (const BaseFont& base : kBaseFonts) fonts.emplace_back(base.name);
  for (const QString& family : QFontDatabase::families()) fonts.push_back(family.toStdString());
  return fonts;
}

QFont QtPrinter::CurrentFont() const {
  QFont font(ToQt(font_name_));
  for (const BaseFont& base : kBaseFonts) {
    if (font_name_.starts_with(base.name)) font.setStyleHint(base.hint);
  }
  font.setPointSizeF(font_size_);
  font.setBold(bold_);
  font.setItalic(italic_);
  font.setUnderline(underline_);
  return font;
}

double QtPrinter::LineHeight(const QFont& font) const {
  return QFontMetricsF(font, printer_.get()).lineSpacing() / points_to_device_;
}

void QtPrinter::SetFontSize(double points) {
  if (!(points > 0)) throw PrinterError("Invalid font size " + std::to_string(points));
  font_size_ = points;
}

void QtPrinter::Draw(std::string_view text) {
  if (pages_.empty()) pages_.emplace_back();
  if (text.empty()) return;
  QFont font = CurrentFont();
  QFontMetricsF metrics(font, printer_.get());
  QString qt_text = ToQt(text);
  pages_.back().push_back(
      TextOp{QPointF(x_, y_ + metrics.ascent() / points_to_device_), qt_text, font});
  x_ += metrics.horizontalAdvance(qt_text) / points_to_device_;
}

void QtPrinter::PrintLine(std::string_view text) {
  Draw(text);
  x_ = 0;
  y_ += LineHeight(CurrentFont());
}

void QtPrinter::PrintText(std::string_view text) { Draw(text); }

void QtPrinter::NewPage() {
  if (pages_.empty()) pages_.emplace_back();
  pages_.emplace_back();
  ++page_;
  x_ = y_ = 0;
}

void QtPrinter::SetOrientation(PageOrientation orientation) {
  orientation_ = orientation;
  UpdateArea();
}

void QtPrinter::PaintPicture(const Picture& picture, double left, double top, double width,
                             double height) {
  if (picture.width <= 0 || picture.height <= 0) return;
  if (picture.pixels.size() < static_cast<std::size_t>(picture.width) * picture.height) {
    throw PrinterError("Picture has fewer pixels than its size");
  }
  if (pages_.empty()) pages_.emplace_back();
  // The copy lets the image outlive the caller's pixels until the document is painted.
  QImage image(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width, picture.height,
               picture.width * 4, QImage::Format_ARGB32);
  pages_.back().push_back(PictureOp{QRectF(left, top, width, height), image.copy()});
}

std::string QtPrinter::NextPdfFile() const {
  QDir folder(ToQt(options_.pdf_folder));
  if (!folder.exists() && !QDir().mkpath(folder.absolutePath())) {
    throw PrinterError("Cannot create the folder " + options_.pdf_folder);
  }
  QString stem = "brontal-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
  QString path = folder.absoluteFilePath(stem + ".pdf");
  for (int n = 2; QFileInfo::exists(path); ++n) {
    path = folder.absoluteFilePath(stem + "-" + QString::number(n) + ".pdf");
  }
  return path.toStdString();
}

void QtPrinter::EndDoc() {
  if (pages_.empty()) return Reset();
  std::vector<std::vector<Op>> pages = std::move(pages_);
  Reset();
  std::string pdf_file;
  if (pdf_) {
    pdf_file = NextPdfFile();
    printer_->setOutputFileName(QString::fromStdString(pdf_file));
  }
  QPainter painter;
  if (!painter.begin(printer_.get())) {
    throw PrinterError(pdf_ ? "Cannot write " + pdf_file : "Cannot print on " + DeviceName());
  }
  // Positions are kept in points; fonts carry point sizes, which Qt already scales to the device.
  const double k = points_to_device_;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (i > 0 && !printer_->newPage()) {
      painter.end();
      throw PrinterError("Cannot start page " + std::to_string(i + 1) + " on " + DeviceName());
    }
    for (const Op& op : pages[i]) {
      if (const auto* text = std::get_if<TextOp>(&op)) {
        painter.setFont(text->font);
        painter.drawText(text->baseline * k, text->text);
      } else {
        const auto& picture = std::get<PictureOp>(op);
        const QRectF& t = picture.target;
        painter.drawImage(QRectF(t.x() * k, t.y() * k, t.width() * k, t.height() * k),
                          picture.image);
      }
    }
  }
  if (!painter.end()) throw PrinterError("Cannot finish the document on " + DeviceName());
  if (pdf_) last_pdf_file_ = pdf_file;
}

void QtPrinter::KillDoc() { Reset(); }

void QtPrinter::Reset() {
  pages_.clear();
  page_ = 1;
  x_ = y_ = 0;
}

std::string QtPrinter::DeviceName() const {
  if (pdf_) return "PDF files in " + options_.pdf_folder;
  return printer_->printerName().toStdString();
}

std::string DefaultPdfFolder() {
  const char* chosen = std::getenv("BRONTAL_PDF_FOLDER");
  if (chosen && *chosen) return chosen;
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

}  // namespace brontal
