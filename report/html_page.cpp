// HTML page frame, escaping and the buffered page file.
#include "report/html_page.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "store/format.h"

namespace brontal {
namespace {

constexpr std::size_t kFlushAt = 1 << 16;
constexpr std::string_view kReplacement = "\xef\xbf\xbd";  // U+FFFD

// What a lead byte announces: the length of its character and the range its second byte must
// lie in, narrowed where a wider one would allow overlong forms, surrogates or code points past
// U+10FFFF. A length of 0 marks a byte that starts no character.
struct Lead {
  std::size_t length;
  unsigned char low, high;
};

Lead LeadOf(unsigned char byte) {
  if (byte < 0x80) return {1, 0, 0};
  if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// Appends the character of several bytes that starts text[pos] and returns its length; where
// the bytes break off, appends one U+FFFD for the piece up to the break and returns the piece's
// length. The byte that breaks a character starts the next one, so a name cut inside a character
// cannot swallow the markup after it: the replacements a browser's decoder would make.
std::size_t AppendCharacter(std::string_view text, std::size_t pos, std::string& out) {
  const Lead lead = LeadOf(static_cast<unsigned char>(text[pos]));
  std::size_t length = 1;
  while (length < lead.length && pos + length < text.size()) {
    auto byte = static_cast<unsigned char>(text[pos + length]);
    bool second = length == 1;
    if (byte < (second ? lead.low : 0x80) || byte > (second ? lead.high : 0xBF)) break;
    ++length;
  }
  if (length == lead.length) {
    out.append(text.substr(pos, length));
  } else {
    out.append(kReplacement);
  }
  return length;
}

std::system_error FileError(int error, const std::string& what, const std::string& path) {
  return std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

std::string PageTitle(std::string_view title) {
  return title == "\\" ? std::string("All Servers") : HtmlText(title);
}

}  // namespace

std::string HtmlText(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    switch (char c = text[pos]) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x80) {
          pos += AppendCharacter(text, pos, escaped);
          continue;
        }
        escaped += c;
    }
    ++pos;
  }
  return escaped;
}

HtmlFile::HtmlFile(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) throw FileError(errno, "cannot create", path_);
}

HtmlFile::~HtmlFile() {
  try {
    Close();
  } catch (const std::system_error&) {
    // Close was not called, so nobody asked to hear about it.
  }
}

void HtmlFile::WriteLine(std::string_view line) {
  if (fd_ < 0) throw FileError(EBADF, "cannot write to closed file", path_);
  buffer_ += line;
  buffer_ += "\r\n";
  if (buffer_.size() >= kFlushAt) Flush();
}

void HtmlFile::Flush() {
  std::size_t written = 0;
  while (written < buffer_.size()) {
    ssize_t result = ::write(fd_, buffer_.data() + written, buffer_.size() - written);
    if (result < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      buffer_.clear();
      throw FileError(error, "cannot write to", path_);
    }
    written += static_cast<std::size_t>(result);
  }
  buffer_.clear();
}

void HtmlFile::Close() {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (...) {
    ::close(std::exchange(fd_, -1));
    throw;
  }
  if (::close(std::exchange(fd_, -1)) != 0) throw FileError(errno, "cannot close", path_);
}

void HtmlHeader(LineWriter& file, std::string_view title) {
  std::string t = PageTitle(title);
  file.WriteLine("<html>");
  file.WriteLine("");
  file.WriteLine("<head>");
  // First in the head, before any text the browser must decode: without it, names are read in
  // the browser's default character set and garbled.
  file.WriteLine(ZoneLine::AtZone(1).Text(
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"));
  file.WriteLine(ZoneLine::AtZone(1).Text("<title>" + t + "</title>"));
  file.WriteLine("</head>");
  file.WriteLine("");
  file.WriteLine("<body bgcolor=#ffffff>");
  file.WriteLine("<ul>");
  file.WriteLine("");
  file.WriteLine(ZoneLine::AtZone(1).Text("<h1><font color=#990099>" + t + "</font></h1>"));
  file.WriteLine("");
  file.WriteLine(ZoneLine::AtZone(1).Text("<p><i>All figures are in megabytes</i></p>"));
  file.WriteLine(ZoneLine::AtZone(1).Text("<table cellpadding=5>"));
  file.WriteLine("");
}

void HtmlFooter(LineWriter& file, DateTime now, const Locale& locale) {
  file.WriteLine(ZoneLine::AtZone(1));
  file.WriteLine(ZoneLine::AtZone(1).Text("</table>"));
  file.WriteLine(ZoneLine::AtZone(1));
  file.WriteLine(ZoneLine::AtZone(1).Text("<br>"));
  file.WriteLine(ZoneLine::AtZone(1).Text("<hr>"));
  file.WriteLine(ZoneLine::AtZone(1).Text("<i>Created with Brontal at " +
                                          FormatDate(now, "dd-mmm-yyyy hh:nn", locale) + "</i>"));
  file.WriteLine(ZoneLine::AtZone(1));
  file.WriteLine("</ul>");
  file.WriteLine("</body>");
  file.WriteLine("</html>");
}

std::string AskHtmlFileName(SaveFileDialog* dialog, PrintState& state, MessageBox& message_box) {
  const SaveFileRequest request{.title = "Print to HTML file...",
                                .filter = "HTML (*.htm;*.html)|*.htm;*.html",
                                .initial_name = "brontal.htm",
                                .default_extension = ".htm",
                                .overwrite_prompt = true,
                                .hide_read_only = true,
                                .path_must_exist = true,
                                .no_read_only_return = true};
  std::optional<std::string> answer;
  try {
    if (dialog) answer = dialog->Ask(request);
  } catch (const std::invalid_argument& error) {
    message_box.Show(error.what(), "Brontal");
    return {};
  } catch (const DialogError&) {
    answer.reset();
  }
  state.last_html_file = answer.value_or("");
  return state.last_html_file;
}

}  // namespace brontal
