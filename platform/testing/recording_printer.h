// A printer for tests: keeps every document it is sent, page by page and line by line with the
// font of each piece of text, and can be told to fail its N-th call.
#pragma once

#include <string>
#include <vector>

#include "platform/printing/printer.h"

namespace brontal {

class RecordingPrinter : public Printer {
 public:
  // One piece of text printed at x, with the font it was printed in.
  struct Segment {
    double x = 0;
    std::string text;
    std::string font;
    double size = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
  };
  // The text printed at one vertical position.
  struct Line {
    double y = 0;
    std::vector<Segment> segments;
    // The segments' text joined, with "\t" where the pen jumped forward between two of them.
    std::string Text() const;
  };
  struct PaintedPicture {
    double left = 0, top = 0, width = 0, height = 0;
    int pixel_width = 0, pixel_height = 0;
  };
  struct PageRecord {
    std::vector<Line> lines;
    std::vector<PaintedPicture> pictures;
  };
  struct Document {
    std::vector<PageRecord> pages;
    PageOrientation orientation = PageOrientation::kPortrait;
  };

  // A printable area of width × height units in portrait (swapped in landscape) and the fonts
  // it offers, the first of which is current at 10 points. A line is 1.2 × the font size high,
  // a character 0.6 × the font size wide.
  explicit RecordingPrinter(double width = 540, double height = 720,
                            std::vector<std::string> fonts = {"Arial", "Courier New", "Helvetica",
                                                              "Times New Roman"});

  // The documents sent by EndDoc, in order.
  const std::vector<Document>& Sent() const { return sent_; }
  // How many documents KillDoc dropped.
  int Abandoned() const { return abandoned_; }
  // The pages of the document being printed; empty when none is open.
  const std::vector<PageRecord>& Pending() const { return pending_; }
  // Every changing call (setters, printing, pages, documents, pictures) counts from 1; the
  // call numbered `call` throws PrinterError without doing anything. 0 fails none.
  void FailCall(int call) { fail_call_ = call; }
  int Calls() const { return calls_; }

  double ScaleWidth() const override;
  double ScaleHeight() const override;
  double CurrentX() const override { return x_; }
  double CurrentY() const override { return y_; }
  void SetCurrentX(double x) override;
  void SetCurrentY(double y) override;
  void PrintLine(std::string_view text) override;
  void PrintText(std::string_view text) override;
  std::vector<std::string> Fonts() const override { return fonts_; }
  std::string FontName() const override { return font_; }
  void SetFontName(std::string_view name) override;
  double FontSize() const override { return size_; }
  void SetFontSize(double points) override;
  bool FontBold() const override { return bold_; }
  void SetFontBold(bool on) override;
  bool FontItalic() const override { return italic_; }
  void SetFontItalic(bool on) override;
  bool FontUnderline() const override { return underline_; }
  void SetFontUnderline(bool on) override;
  void NewPage() override;
  int Page() const override { return page_; }
  void EndDoc() override;
  void KillDoc() override;
  PageOrientation Orientation() const override { return orientation_; }
  void SetOrientation(PageOrientation orientation) override;
  void PaintPicture(const Picture& picture, double left, double top, double width,
                    double height) override;
  std::string DeviceName() const override { return "Recording printer"; }

 private:
  void Count();
  PageRecord& CurrentPage();
  void Add(std::string_view text);
  void Reset();

  double width_;
  double height_;
  std::vector<std::string> fonts_;
  std::string font_;
  double size_ = 10;
  bool bold_ = false, italic_ = false, underline_ = false;
  PageOrientation orientation_ = PageOrientation::kPortrait;
  double x_ = 0, y_ = 0;
  int page_ = 1;
  bool line_open_ = false;
  std::vector<PageRecord> pending_;
  std::vector<Document> sent_;
  int abandoned_ = 0;
  int calls_ = 0;
  int fail_call_ = 0;
};

}  // namespace brontal
