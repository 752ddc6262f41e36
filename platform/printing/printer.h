// The printer as the report code drives it: a pen position on the printable area of the page,
// a current font, lines of text, pictures, pages and one document at a time.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/picture.h"

namespace brontal {

// The one error of the printer: a number and a description, reported like the database's.
class PrinterError : public std::runtime_error {
 public:
  // 482 is the number the programs have always reported for a printer failure.
  static constexpr int kPrinterError = 482;

  explicit PrinterError(const std::string& description, int number = kPrinterError)
      : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }

 private:
  int number_;
};

// Values as the programs set them: 1 portrait, 2 landscape.
enum class PageOrientation { kPortrait = 1, kLandscape = 2 };

// Positions and sizes are in scale units, whose size the implementation chooses; only their
// proportions of the page count. A document begins with the first output after the previous one
// ended and is sent as a whole by EndDoc; until then nothing reaches the device. Every operation
// may throw PrinterError.
class Printer {
 public:
  virtual ~Printer() = default;

  // The printable width and height of the page in the current orientation.
  virtual double ScaleWidth() const = 0;
  virtual double ScaleHeight() const = 0;
  // The pen position from the top left corner of the printable area.
  virtual double CurrentX() const = 0;
  virtual double CurrentY() const = 0;
  virtual void SetCurrentX(double x) = 0;
  virtual void SetCurrentY(double y) = 0;

  // Prints text at the pen in the current font, then moves the pen to the start of the next
  // line (one line height of the current font down). Empty text just moves down a line.
  virtual void PrintLine(std::string_view text) = 0;
  // Prints text at the pen and leaves the pen just after it on the same line.
  virtual void PrintText(std::string_view text) = 0;

  // The names of the fonts the printer offers, in its order.
  virtual std::vector<std::string> Fonts() const = 0;
  virtual std::string FontName() const = 0;
  virtual void SetFontName(std::string_view name) = 0;
  // In points.
  virtual double FontSize() const = 0;
  virtual void SetFontSize(double points) = 0;
  virtual bool FontBold() const = 0;
  virtual void SetFontBold(bool on) = 0;
  virtual bool FontItalic() const = 0;
  virtual void SetFontItalic(bool on) = 0;
  virtual bool FontUnderline() const = 0;
  virtual void SetFontUnderline(bool on) = 0;

  // Ends the current page and starts the next, with the pen at the top left.
  virtual void NewPage() = 0;
  // The number of the current page, 1 for the first page of a document.
  virtual int Page() const = 0;
  // Sends the document to the device; the next output starts a new one. Nothing is sent when
  // nothing was printed.
  virtual void EndDoc() = 0;
  // Drops the current document: nothing of it reaches the device. Nothing happens when no
  // document is open.
  virtual void KillDoc() = 0;

  // Changes ScaleWidth and ScaleHeight at once; a document is sent in the orientation in force
  // when EndDoc is called.
  virtual PageOrientation Orientation() const = 0;
  virtual void SetOrientation(PageOrientation orientation) = 0;
  // Draws a picture scaled into the given rectangle. An empty picture draws nothing.
  virtual void PaintPicture(const Picture& picture, double left, double top, double width,
                            double height) = 0;

  // What the user knows the printer by: its device name, or where its files go.
  virtual std::string DeviceName() const = 0;
};

}  // namespace brontal
