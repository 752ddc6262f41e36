// The desktop's shell as the viewer uses it: open a place or a file with the program the desktop
// chooses, browse a folder in the file manager, show a text file in a text editor, and follow a
// web or mail address. Paths are logical ("\" separators, drives, \\node\share) and reach the
// desktop as native paths; nothing is ever handed to a command interpreter.
#pragma once

#include <string>
#include <vector>

namespace brontal {

class Shell {
 public:
  virtual ~Shell() = default;
  // Each returns false when the desktop could not be asked (no desktop, no program for it).
  virtual bool Open(const std::string& logical_path) = 0;
  virtual bool Explore(const std::string& logical_path) = 0;
  virtual bool Edit(const std::string& logical_path) = 0;
  virtual bool OpenUrl(const std::string& url) = 0;
};

// Remembers what it was asked, for tests: "open PATH", "explore PATH", "edit PATH", "url URL".
class RecordingShell : public Shell {
 public:
  bool Open(const std::string& path) override { return Note("open " + path); }
  bool Explore(const std::string& path) override { return Note("explore " + path); }
  bool Edit(const std::string& path) override { return Note("edit " + path); }
  bool OpenUrl(const std::string& url) override { return Note("url " + url); }

  std::vector<std::string> requests;
  bool result = true;

 private:
  bool Note(std::string request) {
    requests.push_back(std::move(request));
    return result;
  }
};

}  // namespace brontal
