// The few ways the core reaches the user: message box, slot prompt, status line, busy caption,
// board-state panel and event processing during waits. Windows implement it; tests fake it.
#pragma once

#include <string>

namespace pvrj {

// Message box kinds: the caption and icon of the box.
enum MessageKind : int { kMsgWarning = 0, kMsgInformation = 1, kMsgQuestion = 2, kMsgError = 3 };

// Message box button sets.
enum MessageButtons : int {
  kBtnAbortRetryIgnore = 0,
  kBtnOkHelp = 1,
  kBtnOk = 2,
  kBtnOkCancel = 3,
  kBtnRetryCancel = 4,
  kBtnYesNo = 5,
  kBtnYesNoCancel = 6,
};

// Message box results, the codes callers compare against.
enum MessageResult : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
};

// Inputs and output of the slot prompt; the caller fills it before NumberPrompt.
struct Prompt {
  std::string PromptTitle;
  std::string PromptText;
  std::string PromptItems;  // quoted comma list, as AppendMotionList builds it
  int PromptIndex = -1;     // in: preselected item; out: chosen item (unchanged on Cancel)
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Shows a modal message box and returns the MessageResult of the button pressed.
  virtual int ShowMessageBox(int kind, int buttons, const std::string& text) = 0;
  // Shows the slot prompt; true on OK (PromptIndex set, -1 if nothing chosen).
  virtual bool NumberPrompt(Prompt& prompt) = 0;
  // Writes "hh:mm:ss> message" into the status line.
  virtual void showStatus(const std::string& message) = 0;
  // Shows or clears the busy caption while a board exchange runs.
  virtual void setBusy(bool busy) = 0;
  // The status bar panel that tells whether the board sleeps or runs.
  virtual void setBoardState(const std::string& text) = 0;
  // Lets the user interface handle pending events while the core waits.
  virtual void processEvents() = 0;
};

// The application title, and the caption shown while the board is being talked to.
inline constexpr const char* kAppTitle = "Pivora J";
inline constexpr const char* kBusyTitle = "Pivora J [通信中]";

}  // namespace pvrj
