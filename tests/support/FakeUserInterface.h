// A scripted user interface for tests: answers questions from a queue and records what was shown.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/UserInterface.h"

namespace pvrj::test {

class FakeUserInterface : public UserInterface {
 public:
  struct Shown {
    int kind;
    int buttons;
    std::string text;
  };

  std::deque<int> answers;  // results for ShowMessageBox, in order; empty: first button's OK/Yes
  std::deque<int> promptAnswers;  // chosen index per NumberPrompt; -2 means Cancel
  std::vector<Shown> messages;
  std::vector<Prompt> prompts;
  std::vector<std::string> statuses;
  std::vector<std::string> boardStates;
  int busyDepthChanges = 0;
  bool busy = false;
  int eventsProcessed = 0;

  int ShowMessageBox(int kind, int buttons, const std::string& text) override {
    messages.push_back({kind, buttons, text});
    if (!answers.empty()) {
      int a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == kBtnYesNo || buttons == kBtnYesNoCancel ? kIdYes : kIdOk;
  }
  bool NumberPrompt(Prompt& prompt) override {
    prompts.push_back(prompt);
    if (promptAnswers.empty()) return false;
    int a = promptAnswers.front();
    promptAnswers.pop_front();
    if (a == -2) return false;
    prompt.PromptIndex = a;
    return true;
  }
  void showStatus(const std::string& message) override { statuses.push_back(message); }
  void setBusy(bool b) override {
    busy = b;
    ++busyDepthChanges;
  }
  void setBoardState(const std::string& text) override { boardStates.push_back(text); }
  void processEvents() override { ++eventsProcessed; }

  const std::string& lastMessage() const {
    static const std::string none;
    return messages.empty() ? none : messages.back().text;
  }
};

}  // namespace pvrj::test
