// The user interface of pvrj-cli: messages and status lines on stderr, questions on the terminal.
#pragma once

#include <cstdio>
#include <string>

#include "common/UserInterface.h"

namespace pvrj::cli {

// Questions are answered Yes/OK when assumeYes is set; otherwise they are asked on the terminal
// when stdin is one, and answered No/Cancel when it is not (a script never hangs on a question).
class ConsoleUserInterface : public UserInterface {
 public:
  explicit ConsoleUserInterface(bool assumeYes, std::FILE* out = stderr, std::FILE* in = stdin);

  int ShowMessageBox(int kind, int buttons, const std::string& text) override;
  bool NumberPrompt(Prompt& prompt) override;
  void showStatus(const std::string& message) override;
  void setBusy(bool busy) override;
  void setBoardState(const std::string& text) override;
  void processEvents() override {}

  // Number of message boxes of the error or warning kind shown so far.
  int problemsShown() const { return problems_; }

 private:
  bool interactive() const;
  // Reads one answer line from the terminal; empty on end of input.
  std::string readLine();

  bool assumeYes_;
  std::FILE* out_;
  std::FILE* in_;
  int problems_ = 0;
};

// The caption of a message box kind ("警告", "情報", "確認", "エラー").
const char* messageCaption(int kind);

}  // namespace pvrj::cli
