// The frame of every HTML page the programs write: the file that receives the lines, the page
// header and footer, the text escaping, and the dialog that asks where the page goes.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/printing/save_file_dialog.h"
#include "report/print_state.h"
#include "store/zone_line.h"

namespace brontal {

// `text` as HTML element content of a UTF-8 page: "&", "<" and ">" become entities, bytes that
// are not well-formed UTF-8 (names as Latin-1 file systems store them, a character cut off)
// become U+FFFD, one for each broken piece, and everything else stays as it is. None of the
// pages' attributes carry data, so quotes need no escaping.
std::string HtmlText(std::string_view text);

// Somewhere HTML lines go, each ended with CR LF.
class LineWriter {
 public:
  virtual ~LineWriter() = default;
  // Writes `line` and CR LF. Throws std::system_error when the line cannot be written.
  virtual void WriteLine(std::string_view line) = 0;
  void WriteLine(const ZoneLine& line) { WriteLine(std::string_view(line.Str())); }
};

// An HTML file written through a buffer: a page of many thousand rows costs a few large writes,
// not one per line. Unlike a log, a page that breaks off half-written is worth nothing anyway.
class HtmlFile : public LineWriter {
 public:
  // Creates the file or empties an existing one. Throws std::system_error naming the path.
  explicit HtmlFile(std::string path);
  // Closes the file; a failure there goes unreported (call Close to see it).
  ~HtmlFile() override;
  HtmlFile(const HtmlFile&) = delete;
  HtmlFile& operator=(const HtmlFile&) = delete;

  using LineWriter::WriteLine;
  // Throws std::system_error naming the path when a write fails or the file is closed.
  void WriteLine(std::string_view line) override;
  // Writes what is buffered and closes the file. Throws std::system_error naming the path when
  // that fails; closing twice does nothing.
  void Close();

 private:
  void Flush();

  std::string path_;
  int fd_ = -1;
  std::string buffer_;
};

// Writes the page's head, which declares the page UTF-8, its heading and the opening of the
// table. The title "\" reads "All Servers"; any other title goes through HtmlText.
void HtmlHeader(LineWriter& file, std::string_view title);

// Closes the table and the page, stamped "Created with Brontal at" `now`, written
// "dd-mmm-yyyy hh:nn" in `locale`.
void HtmlFooter(LineWriter& file, DateTime now, const Locale& locale);

// Asks for the HTML file to write with the save dialog and remembers the answer in
// state.last_html_file. A cancel, a failing dialog or no dialog at all (null) give "" and clear
// the last file; a request the dialog cannot set up is reported in `message_box` and gives "".
std::string AskHtmlFileName(SaveFileDialog* dialog, PrintState& state, MessageBox& message_box);

}  // namespace brontal
