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

  // A progress bar on one line that redraws itself, shown only when the output is a terminal;
  // total 0 ends it. Messages and status lines printed meanwhile go above it.
  void showProgress(const std::string& label, int done, int total);
  // The bar's text: "label  120/2400 [###.......]   5%".
  static std::string progressLine(const std::string& label, int done, int total);

 private:
  bool interactive() const;
  bool outputIsTerminal() const;
  // Takes the progress line away before other output, and puts it back after.
  void clearProgress();
  void redrawProgress();
  // Reads one answer line from the terminal; empty on end of input.
  std::string readLine();

  bool assumeYes_;
  std::FILE* out_;
  std::FILE* in_;
  int problems_ = 0;
  std::string progress_;  // the bar shown now; empty when none
};

// The caption of a message box kind ("警告", "情報", "確認", "エラー").
const char* messageCaption(int kind);

}  // namespace pvrj::cli
