// The shared message box and slot prompt, and the user interface the core reaches the windows by.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>

#include "common/UserInterface.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;

namespace pvrj {

// Stands in for the person at the screen: when set, it receives every modal dialog of this module
// once the dialog is showing, and must close it (tests, scripted runs). Empty: a person answers.
using DialogAnswerer = std::function<void(QDialog& dialog)>;
void setDialogAnswerer(DialogAnswerer answerer);

// Runs a dialog modally, handing it to the answerer when one is set; returns exec()'s result.
int execModal(QDialog& dialog);

// Caption of a message box kind ("警告", "情報", "確認", "エラー"; "" for any other kind).
QString messageCaption(int kind);

// Message box: caption and icon from kind, buttons from the button set, text as given. Returns
// the code of the button pressed (kIdOk ... kIdNo). Closed without a button, it returns the
// set's refusing answer (Cancel, No, Abort or OK), never a Yes.
int ShowMessageBox(int kind, int buttons, const std::string& text, QWidget* parent = nullptr);

// The modal slot prompt, sized in dialog units of its font.
class NumberPromptDialog : public QDialog {
  Q_OBJECT
 public:
  NumberPromptDialog(const Prompt& prompt, QWidget* parent = nullptr);

  QLabel* label() const { return label_; }
  QComboBox* list() const { return list_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  // Average character width and character height of the dialog's font.
  int charWidth() const { return cx_; }
  int charHeight() const { return cy_; }
  // Dialog units to pixels, by integer multiply-then-divide.
  int horizontalUnits(int u) const { return u * cx_ / 4; }
  int verticalUnits(int u) const { return u * cy_ / 8; }

 private:
  QLabel* label_;
  QComboBox* list_;
  QPushButton* ok_;
  QPushButton* cancel_;
  int cx_ = 0;
  int cy_ = 0;
};

// Shows the slot prompt. On OK stores the chosen index (-1 for none) in PromptIndex and returns
// true; on Cancel or close returns false and leaves PromptIndex alone.
bool NumberPrompt(Prompt& prompt, QWidget* parent = nullptr);

// "hh:mm:ss> message", the status line's text for a message shown now.
QString statusLineText(const std::string& message);

// The windows' side of UserInterface: boxes and prompt above, the main window's status line,
// caption and board-state panel.
class QtUserInterface : public UserInterface {
 public:
  QtUserInterface() = default;
  // The window that owns the boxes and gets the busy caption, its status line and board panel.
  void attach(QWidget* window, QLineEdit* statusLine, QLabel* boardStatePanel);

  int ShowMessageBox(int kind, int buttons, const std::string& text) override;
  bool NumberPrompt(Prompt& prompt) override;
  void showStatus(const std::string& message) override;
  // While the board is talked to the caption is the window's title and " [通信中]".
  void setBusy(bool busy) override;
  void setBoardState(const std::string& text) override;
  // The window's title when the board is not being talked to ("Pivora J" until set).
  void setTitle(const QString& title);
  // Handles pending events except user input, so a click cannot start a second board exchange
  // in the middle of one that is waiting for its reply.
  void processEvents() override;

 private:
  QPointer<QWidget> window_;
  QString title_ = QString::fromUtf8(kAppTitle);
  bool busy_ = false;
  QPointer<QLineEdit> statusLine_;
  QPointer<QLabel> boardState_;
};

}  // namespace pvrj
