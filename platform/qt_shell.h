// The desktop's shell through QDesktopServices: logical paths become native ones and are handed
// to the desktop as file URLs, never to a command interpreter. Needs a QGuiApplication, which
// the program creates first; without one every request fails.
#pragma once

#include <string>

#include "platform/linux_filesystem.h"
#include "platform/shell.h"

namespace brontal {

class QtShell : public Shell {
 public:
  // \\node\share paths resolve under unc_root, as for the file system.
  explicit QtShell(std::string unc_root = UncRootFromEnvironment())
      : unc_root_(std::move(unc_root)) {}

  // The path opened with the desktop's program for it (a folder in the file manager).
  bool Open(const std::string& logical_path) override;
  // The folder shown in the file manager; for a file, the folder that holds it.
  bool Explore(const std::string& logical_path) override;
  // The file opened with the desktop's program for it, a text editor for a log.
  bool Edit(const std::string& logical_path) override;
  // An http, https, mailto or file address followed by the desktop; false for any other scheme
  // and for text that is no valid address.
  bool OpenUrl(const std::string& url) override;

 private:
  bool OpenNative(const std::string& native_path);

  std::string unc_root_;
};

}  // namespace brontal
