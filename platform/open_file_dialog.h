// The open-file dialog through which a user picks a file to read, and a scripted one for tests.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/printing/save_file_dialog.h"

namespace brontal {

// What the dialog shows.
struct OpenFileRequest {
  std::string title;
  // Pairs of description and patterns, all joined by "|": "Access databases(*.mdb)|*.mdb".
  std::string filter;
  std::string initial_name;
  // Added to a name typed without one, with its dot: ".mdb".
  std::string default_extension;
};

class OpenFileDialog {
 public:
  virtual ~OpenFileDialog() = default;
  // Shows the dialog modally and returns the chosen path, or nullopt when the user cancels. The
  // path need not name an existing file: the caller decides what a missing one means. Throws
  // std::invalid_argument for a filter whose parts do not pair up, before showing anything, and
  // DialogError when the dialog fails.
  virtual std::optional<std::string> Ask(const OpenFileRequest& request) = 0;
};

// Gives the answers it was loaded with, one per call (nullopt, a cancel, when they run out), and
// keeps the requests.
class ScriptedOpenFileDialog : public OpenFileDialog {
 public:
  // The call numbered `call` (from 1) throws DialogError.
  void FailCall(int call) { fail_call_ = call; }

  std::optional<std::string> Ask(const OpenFileRequest& request) override {
    requests.push_back(request);
    if (static_cast<int>(requests.size()) == fail_call_) {
      throw DialogError("The dialog could not be shown");
    }
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<std::optional<std::string>> answers;  // the next answers, nullopt for a cancel
  std::vector<OpenFileRequest> requests;           // every request, failed ones included

 private:
  int fail_call_ = 0;
};

}  // namespace brontal
