// Print-zone line layout and the CR LF line file that the logs and HTML pages are written to.
#include "store/zone_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "store/text.h"

namespace brontal {
namespace {

std::system_error FileError(int error, const std::string& what, const std::string& path) {
  return std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

}  // namespace

ZoneLine ZoneLine::AtZone(int zone) {
  ZoneLine line;
  for (int i = 0; i < zone; ++i) line.Zone();
  return line;
}

ZoneLine& ZoneLine::Text(std::string_view text) {
  text_.append(text);
  column_ += CharacterCount(text);
  return *this;
}

ZoneLine& ZoneLine::Zone() {
  std::size_t next = (column_ / kZoneWidth + 1) * kZoneWidth;
  text_.append(next - column_, ' ');
  column_ = next;
  return *this;
}

ZoneLine& ZoneLine::Number(std::int64_t value) {
  std::string text = value < 0 ? "-" : " ";
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  text += std::to_string(magnitude);
  return Text(text + " ");
}

ZoneLine& ZoneLine::Number(double value) {
  char digits[40];
  std::snprintf(digits, sizeof digits, "%.15g", value < 0 ? -value : value);
  return Text(std::string(value < 0 ? "-" : " ") + digits + " ");
}

ZoneLine& ZoneLine::Date(DateTime value, const Locale& locale) {
  return Text(locale.GeneralDate(value));
}

ZoneLine StampedLine(DateTime now, const Locale& locale) {
  ZoneLine line;
  line.Date(now, locale).Zone();
  return line;
}

std::string LogLine(DateTime now, std::string_view message, const Locale& locale) {
  return StampedLine(now, locale).Text(message).Str();
}

LineFile::LineFile(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) throw FileError(errno, "cannot create", path_);
}

LineFile::~LineFile() {
  if (fd_ >= 0) ::close(fd_);
}

LineFile::LineFile(LineFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

LineFile& LineFile::operator=(LineFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void LineFile::WriteLine(std::string_view line) {
  if (fd_ < 0) throw FileError(EBADF, "cannot write to closed file", path_);
  // No buffer of our own: once write returns, the line is the kernel's and outlives a crash.
  std::string data(line);
  data += "\r\n";
  std::size_t written = 0;
  while (written < data.size()) {
    ssize_t result = ::write(fd_, data.data() + written, data.size() - written);
    if (result < 0) {
      if (errno == EINTR) continue;
      throw FileError(errno, "cannot write to", path_);
    }
    written += static_cast<std::size_t>(result);
  }
}

void LineFile::Close() {
  if (fd_ < 0) return;
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) throw FileError(errno, "cannot close", path_);
}

}  // namespace brontal
