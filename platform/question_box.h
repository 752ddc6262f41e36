// Message boxes that ask a question with OK and Cancel, and a scripted one for tests.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"

namespace brontal {

class QuestionBox {
 public:
  virtual ~QuestionBox() = default;
  // Shows text under title with the icon and the buttons OK and Cancel, and waits for the
  // answer: true for OK. Closing the box any other way counts as Cancel.
  virtual bool OkCancel(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

// Gives the answers it was loaded with, one per question (Cancel once they run out), and keeps
// the questions.
class ScriptedQuestionBox : public QuestionBox {
 public:
  struct Question {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::kNone;
  };

  bool OkCancel(std::string_view text, std::string_view title, MessageIcon icon) override {
    asked.push_back({std::string(text), std::string(title), icon});
    if (answers.empty()) return false;
    bool ok = answers.front();
    answers.pop_front();
    return ok;
  }

  std::deque<bool> answers;     // the next answers, true for OK
  std::vector<Question> asked;  // every question in order
};

}  // namespace brontal
