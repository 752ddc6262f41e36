// The busy mouse pointer that an interactive program shows while it works without a window of
// its own to report progress in.
#pragma once

#include <string>
#include <vector>

namespace brontal {

class BusyPointer {
 public:
  virtual ~BusyPointer() = default;
  // Shows the busy pointer over all of the program's windows; showing it twice is once.
  virtual void Show() = 0;
  // Brings the normal pointer back; nothing when it is not busy.
  virtual void Restore() = 0;
};

// Remembers what it was told, for tests: "show" and "restore" for each change it made.
class RecordingBusyPointer : public BusyPointer {
 public:
  void Show() override {
    if (!busy) changes.push_back("show");
    busy = true;
  }
  void Restore() override {
    if (busy) changes.push_back("restore");
    busy = false;
  }
  bool busy = false;
  std::vector<std::string> changes;
};

}  // namespace brontal
