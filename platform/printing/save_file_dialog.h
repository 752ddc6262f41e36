// The save-file dialog through which a user names a file to write, and a scripted one for tests.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace brontal {

// What the dialog shows and how strict it is about the answer.
struct SaveFileRequest {
  std::string title;
  // Pairs of description and patterns, all joined by "|": "HTML (*.htm;*.html)|*.htm;*.html".
  std::string filter;
  std::string initial_name;
  // Added to a name typed without one, with its dot: ".htm".
  std::string default_extension;
  bool overwrite_prompt = false;     // confirm before naming a file that exists
  bool hide_read_only = false;       // no "open read-only" choice
  bool path_must_exist = false;      // the folder must exist
  bool no_read_only_return = false;  // refuse a file that cannot be written
};

// The dialog itself failed (could not be shown, or broke while open).
class DialogError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SaveFileDialog {
 public:
  virtual ~SaveFileDialog() = default;
  // Shows the dialog modally and returns the chosen path, or nullopt when the user cancels.
  // Throws std::invalid_argument for a request it cannot set up (a filter whose parts do not
  // pair up) before showing anything, and DialogError when the dialog fails.
  virtual std::optional<std::string> Ask(const SaveFileRequest& request) = 0;
};

// Gives the answers it was loaded with, one per call (nullopt, a cancel, when they run out), and
// keeps the requests.
class ScriptedSaveFileDialog : public SaveFileDialog {
 public:
  // The call numbered `call` (from 1) throws: std::invalid_argument when `while_preparing`,
  // DialogError otherwise.
  void FailCall(int call, bool while_preparing = false) {
    fail_call_ = call;
    fail_preparing_ = while_preparing;
  }

  std::optional<std::string> Ask(const SaveFileRequest& request) override {
    requests.push_back(request);
    if (static_cast<int>(requests.size()) == fail_call_) {
      if (fail_preparing_) throw std::invalid_argument("Invalid filter");
      throw DialogError("The dialog could not be shown");
    }
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<std::optional<std::string>> answers;  // the next answers, nullopt for a cancel
  std::vector<SaveFileRequest> requests;           // every request, failed ones included

 private:
  int fail_call_ = 0;
  bool fail_preparing_ = false;
};

}  // namespace brontal
