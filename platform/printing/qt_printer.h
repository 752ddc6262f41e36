// The printer of the Qt programs: the system's default printer, or PDF files in a folder when no
// printer is installed. Needs a QGuiApplication (or QApplication) for its fonts.
#pragma once

#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/printing/printer.h"

class QPrinter;

namespace brontal {

struct QtPrinterOptions {
  // Where documents go, one PDF file each, when no printer is installed (see DefaultPdfFolder).
  // Created when missing.
  std::string pdf_folder;
  // Writes PDF files even when a printer is installed.
  bool force_pdf = false;
};

// Scale units are points (1/72 inch) of the printable area. A document is kept in memory until
// EndDoc and only then painted on the device, so that KillDoc can drop it whole on any printer
// (Qt cannot abort a job that it has started sending).
class QtPrinter : public Printer {
 public:
  explicit QtPrinter(QtPrinterOptions options);
  ~QtPrinter() override;
  QtPrinter(const QtPrinter&) = delete;
  QtPrinter& operator=(const QtPrinter&) = delete;

  // Whether documents go to PDF files rather than a printer.
  bool PrintsToPdf() const { return pdf_; }
  // The PDF file written by the last EndDoc; empty before, and when printing on a printer.
  const std::string& LastPdfFile() const { return last_pdf_file_; }

  double ScaleWidth() const override { return area_.width(); }
  double ScaleHeight() const override { return area_.height(); }
  double CurrentX() const override { return x_; }
  double CurrentY() const override { return y_; }
  void SetCurrentX(double x) override { x_ = x; }
  void SetCurrentY(double y) override { y_ = y; }
  void PrintLine(std::string_view text) override;
  void PrintText(std::string_view text) override;
  // "Courier", "Helvetica" and "Times", which every printer resolves to a fixed-pitch, a
  // sans-serif and a serif font, then the installed font families.
  std::vector<std::string> Fonts() const override;
  std::string FontName() const override { return font_name_; }
  void SetFontName(std::string_view name) override { font_name_ = name; }
  double FontSize() const override { return font_size_; }
  // Throws PrinterError for a size that is not positive.
  void SetFontSize(double points) override;
  bool FontBold() const override { return bold_; }
  void SetFontBold(bool on) override { bold_ = on; }
  bool FontItalic() const override { return italic_; }
  void SetFontItalic(bool on) override { italic_ = on; }
  bool FontUnderline() const override { return underline_; }
  void SetFontUnderline(bool on) override { underline_ = on; }
  void NewPage() override;
  int Page() const override { return page_; }
  // Throws PrinterError when the device or the PDF file cannot be written; the document is
  // dropped either way.
  void EndDoc() override;
  void KillDoc() override;
  PageOrientation Orientation() const override { return orientation_; }
  void SetOrientation(PageOrientation orientation) override;
  void PaintPicture(const Picture& picture, double left, double top, double width,
                    double height) override;
  // The printer's name, or "PDF files in " and the folder.
  std::string DeviceName() const override;

 private:
  struct TextOp {
    QPointF baseline;  // points
    QString text;
    QFont font;
  };
  struct PictureOp {
    QRectF target;  // points
    QImage image;
  };
  using Op = std::variant<TextOp, PictureOp>;

  QFont CurrentFont() const;
  double LineHeight(const QFont& font) const;
  void Draw(std::string_view text);
  void UpdateArea();
  std::string NextPdfFile() const;
  void Reset();

  QtPrinterOptions options_;
  bool pdf_ = false;
  std::unique_ptr<QPrinter> printer_;
  double points_to_device_ = 1;
  QRectF area_;
  std::string font_name_;
  double font_size_ = 10;
  bool bold_ = false, italic_ = false, underline_ = false;
  PageOrientation orientation_ = PageOrientation::kPortrait;
  double x_ = 0, y_ = 0;
  int page_ = 1;
  std::vector<std::vector<Op>> pages_;
  std::string last_pdf_file_;
};

// The folder for PDF output: $BRONTAL_PDF_FOLDER when set and not empty, otherwise the user's
// documents folder (normally ~/Documents).
std::string DefaultPdfFolder();

}  // namespace brontal
