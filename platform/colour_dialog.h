// Asking the user for a colour, and a scripted chooser for tests. Colours are 0x00BBGGRR, as the
// settings store them.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace brontal {

class ColourDialog {
 public:
  virtual ~ColourDialog() = default;
  // Shows the chooser with `initial` preselected and waits; nullopt when the user cancelled.
  virtual std::optional<std::uint32_t> Choose(std::uint32_t initial) = 0;
};

// Gives the answers it was loaded with, one per question (a cancel once they run out), and keeps
// the colours each question started from.
class ScriptedColourDialog : public ColourDialog {
 public:
  void Answer(std::optional<std::uint32_t> colour) { answers_.push_back(colour); }

  std::optional<std::uint32_t> Choose(std::uint32_t initial) override {
    asked_.push_back(initial);
    if (answers_.empty()) return std::nullopt;
    const std::optional<std::uint32_t> answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  const std::vector<std::uint32_t>& Asked() const { return asked_; }

 private:
  std::deque<std::optional<std::uint32_t>> answers_;
  std::vector<std::uint32_t> asked_;
};

}  // namespace brontal
