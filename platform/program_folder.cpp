// The running program's folder, read from the link the kernel keeps to its executable.
#include "platform/program_folder.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace brontal {

std::string ProgramFolder() {
  // readlink does not say whether it cut the target short, so grow until the result fits.
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      throw std::system_error(errno, std::generic_category(), "reading /proc/self/exe");
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<std::size_t>(length));
      std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) return ".";
      return slash == 0 ? "/" : path.substr(0, slash);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace brontal
