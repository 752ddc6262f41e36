// Reading the database location from dbloc.txt.
#include "store/dbloc.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace brontal {

std::string FirstLine(std::string_view content) {
  return std::string(content.substr(0, content.find_first_of("\r\n")));
}

std::string ReadDbLoc(const std::string& program_folder) {
  const std::string path = program_folder + "/dbloc.txt";
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "";
    throw std::system_error(errno, std::generic_category(), "cannot open \"" + path + "\"");
  }
  // Only the first line counts, so stop reading at the first line end.
  std::string content;
  char buffer[4096];
  for (;;) {
    ssize_t length = ::read(fd, buffer, sizeof buffer);
    if (length < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      throw std::system_error(error, std::generic_category(), "cannot read \"" + path + "\"");
    }
    if (length == 0) break;
    content.append(buffer, static_cast<std::size_t>(length));
    if (content.find_first_of("\r\n") != std::string::npos) break;
  }
  ::close(fd);
  return FirstLine(content);
}

}  // namespace brontal
