// The recording printer: a pen moved by fixed text metrics over pages kept in memory.
#include "platform/testing/recording_printer.h"

#include <utility>

namespace brontal {
namespace {

constexpr double kLineFactor = 1.2;
constexpr double kCharFactor = 0.6;

// Text width by the recorder's metrics, counting UTF-8 characters.
double Width(std::string_view text, double size) {
  double chars = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  }
  return chars * size * kCharFactor;
}

}  // namespace

std::string RecordingPrinter::Line::Text() const {
  std::string text;
  double end = 0;
  for (const Segment& segment : segments) {
    if (!text.empty() && segment.x > end + 0.001) text += '\t';
    text += segment.text;
    end = segment.x + Width(segment.text, segment.size);
  }
  return text;
}

RecordingPrinter::RecordingPrinter(double width, double height, std::vector<std::string> fonts)
    : width_(width), height_(height), fonts_(std::move(fonts)) {
  if (!fonts_.empty()) font_ = fonts_.front();
}

double RecordingPrinter::ScaleWidth() const {
  return orientation_ == PageOrientation::kPortrait ? width_ : height_;
}

double RecordingPrinter::ScaleHeight() const {
  return orientation_ == PageOrientation::kPortrait ? height_ : width_;
}

void RecordingPrinter::Count() {
  if (++calls_ == fail_call_) {
    throw PrinterError("Printer error on call " + std::to_string(calls_));
  }
}

RecordingPrinter::PageRecord& RecordingPrinter::CurrentPage() {
  if (pending_.empty()) pending_.emplace_back();
  return pending_.back();
}

void RecordingPrinter::Add(std::string_view text) {
  PageRecord& page = CurrentPage();
  if (!line_open_ || page.lines.empty() || page.lines.back().y != y_) {
    page.lines.push_back(Line{y_, {}});
    line_open_ = true;
  }
  if (!text.empty()) {
    page.lines.back().segments.push_back(
        Segment{x_, std::string(text), font_, size_, bold_, italic_, underline_});
  }
}

void RecordingPrinter::SetCurrentX(double x) {
  Count();
  x_ = x;
}

void RecordingPrinter::SetCurrentY(double y) {
  Count();
  y_ = y;
}

void RecordingPrinter::PrintLine(std::string_view text) {
  Count();
  Add(text);
  line_open_ = false;
  x_ = 0;
  y_ += size_ * kLineFactor;
}

void RecordingPrinter::PrintText(std::string_view text) {
  Count();
  Add(text);
  x_ += Width(text, size_);
}

void RecordingPrinter::SetFontName(std::string_view name) {
  Count();
  font_ = name;
}

void RecordingPrinter::SetFontSize(double points) {
  Count();
  size_ = points;
}

void RecordingPrinter::SetFontBold(bool on) {
  Count();
  bold_ = on;
}

void RecordingPrinter::SetFontItalic(bool on) {
  Count();
  italic_ = on;
}

void RecordingPrinter::SetFontUnderline(bool on) {
  Count();
  underline_ = on;
}

void RecordingPrinter::NewPage() {
  Count();
  CurrentPage();  // a page break starts a document like any output
  pending_.emplace_back();
  ++page_;
  x_ = y_ = 0;
  line_open_ = false;
}

void RecordingPrinter::EndDoc() {
  Count();
  if (!pending_.empty()) sent_.push_back(Document{std::move(pending_), orientation_});
  Reset();
}

void RecordingPrinter::KillDoc() {
  Count();
  if (!pending_.empty()) ++abandoned_;
  Reset();
}

void RecordingPrinter::Reset() {
  pending_.clear();
  page_ = 1;
  x_ = y_ = 0;
  line_open_ = false;
}

void RecordingPrinter::SetOrientation(PageOrientation orientation) {
  Count();
  orientation_ = orientation;
}

void RecordingPrinter::PaintPicture(const Picture& picture, double left, double top, double width,
                                    double height) {
  Count();
  if (picture.width <= 0 || picture.height <= 0) return;
  CurrentPage().pictures.push_back(
      PaintedPicture{left, top, width, height, picture.width, picture.height});
}

}  // namespace brontal
