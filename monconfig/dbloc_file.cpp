// Replacing dbloc.txt whole, through a temporary file and a rename.
#include "monconfig/dbloc_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace brontal {
namespace {

[[noreturn]] void ThrowErrno(int error, const std::string& action) {
  throw std::system_error(error, std::generic_category(), action);
}

// Creates `path` holding `content`, flushed to the disk. Throws std::system_error naming the
// file; what was created is left for the caller to remove.
void WriteFlushed(const std::string& path, const std::string& content) {
  // The name holds the process id, so two dialogs never write into one file; O_NOFOLLOW keeps a
  // link planted under that name from redirecting the write.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) ThrowErrno(errno, "cannot create \"" + path + "\"");
  int error = 0;
  for (std::size_t done = 0; done < content.size() && error == 0;) {
    const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno != EINTR) error = errno;
    if (written > 0) done += static_cast<std::size_t>(written);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ThrowErrno(error, "cannot write \"" + path + "\"");
}

}  // namespace

void SaveDBLoc(FileOperations& files, const std::string& program_folder, const std::string& path) {
  if (path.find_first_of("\r\n") != std::string::npos) {
    throw std::invalid_argument("a database path cannot hold a line break");
  }
  const std::string target = program_folder + "/dbloc.txt";
  const std::string temporary = target + "." + std::to_string(::getpid()) + ".tmp";
  try {
    WriteFlushed(temporary, path + "\r\n");
    files.RenameOver(temporary, target);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // The new file is whole already; a folder that cannot be flushed only risks the old name
  // coming back after a power failure, which is no reason to report the save as failed.
  try {
    files.FlushFolder(program_folder);
  } catch (const FsError&) {
  }
}

}  // namespace brontal
