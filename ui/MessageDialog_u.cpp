// The shared message box and slot prompt, and the user interface the core reaches the windows by.
#include "ui/MessageDialog_u.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <utility>

#include "common/CommaText.h"

namespace pvrj {

namespace {

constexpr int kPromptVisibleRows = 20;

DialogAnswerer& answerer() {
  static DialogAnswerer a;
  return a;
}

struct ButtonCode {
  QMessageBox::StandardButton button;
  int code;
};

constexpr ButtonCode kButtonCodes[] = {
    {QMessageBox::Ok, kIdOk},         {QMessageBox::Cancel, kIdCancel},
    {QMessageBox::Abort, kIdAbort},   {QMessageBox::Retry, kIdRetry},
    {QMessageBox::Ignore, kIdIgnore}, {QMessageBox::Yes, kIdYes},
    {QMessageBox::No, kIdNo},
};

QMessageBox::StandardButtons buttonSet(int buttons) {
  switch (buttons) {
    case kBtnAbortRetryIgnore:
      return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case kBtnOkHelp:
      return QMessageBox::Ok | QMessageBox::Help;
    case kBtnOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case kBtnRetryCancel:
      return QMessageBox::Retry | QMessageBox::Cancel;
    case kBtnYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case kBtnYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    default:
      return QMessageBox::Ok;
  }
}

// The first button of each set is the default, as the system box has it.
QMessageBox::StandardButton firstButton(int buttons) {
  switch (buttons) {
    case kBtnAbortRetryIgnore:
      return QMessageBox::Abort;
    case kBtnRetryCancel:
      return QMessageBox::Retry;
    case kBtnYesNo:
    case kBtnYesNoCancel:
      return QMessageBox::Yes;
    default:
      return QMessageBox::Ok;
  }
}

// What a box closed without a button means: the set's refusing answer.
int refusal(int buttons) {
  switch (buttons) {
    case kBtnAbortRetryIgnore:
      return kIdAbort;
    case kBtnOkCancel:
    case kBtnRetryCancel:
    case kBtnYesNoCancel:
      return kIdCancel;
    case kBtnYesNo:
      return kIdNo;
    default:
      return kIdOk;
  }
}

QMessageBox::Icon iconOf(int kind) {
  switch (kind) {
    case kMsgWarning:
      return QMessageBox::Warning;
    case kMsgInformation:
      return QMessageBox::Information;
    case kMsgQuestion:
      return QMessageBox::Question;
    case kMsgError:
      return QMessageBox::Critical;
    default:
      return QMessageBox::NoIcon;
  }
}

QWidget* ownerOr(QWidget* parent) {
  return parent ? parent : QApplication::activeWindow();
}

}  // namespace

void setDialogAnswerer(DialogAnswerer a) {
  answerer() = std::move(a);
}

int execModal(QDialog& dialog) {
  if (answerer()) {
    // Queued so that it runs inside exec(), once the dialog is up.
    QPointer<QDialog> guard(&dialog);
    QTimer::singleShot(0, &dialog, [guard] {
      if (guard && answerer()) answerer()(*guard);
    });
  }
  return dialog.exec();
}

QString messageCaption(int kind) {
  switch (kind) {
    case kMsgWarning:
      return QStringLiteral("警告");
    case kMsgInformation:
      return QStringLiteral("情報");
    case kMsgQuestion:
      return QStringLiteral("確認");
    case kMsgError:
      return QStringLiteral("エラー");
    default:
      return {};
  }
}

int ShowMessageBox(int kind, int buttons, const std::string& text, QWidget* parent) {
  QMessageBox box(iconOf(kind), messageCaption(kind), QString::fromStdString(text),
                  buttonSet(buttons), ownerOr(parent));
  box.setTextFormat(Qt::PlainText);  // a file name with "<" is text, not markup
  box.setDefaultButton(firstButton(buttons));
  QAbstractButton* help = box.button(QMessageBox::Help);
  // Help explains and leaves the question open, as on the system box.
  do {
    execModal(box);
  } while (help && box.clickedButton() == help);
  QAbstractButton* clicked = box.clickedButton();
  if (!clicked) return refusal(buttons);
  QMessageBox::StandardButton pressed = box.standardButton(clicked);
  for (const ButtonCode& bc : kButtonCodes) {
    if (bc.button == pressed) return bc.code;
  }
  return refusal(buttons);
}

NumberPromptDialog::NumberPromptDialog(const Prompt& prompt, QWidget* parent)
    : QDialog(parent),
      label_(new QLabel(this)),
      list_(new QComboBox(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
  setObjectName(QStringLiteral("NumberPrompt"));
  setWindowTitle(QString::fromStdString(prompt.PromptTitle));
  // A fixed dialog: no resizing, no help or system menu extras.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  const QFontMetrics fm(font());
  cx_ =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
      52;
  cy_ = fm.height();

  label_->setObjectName(QStringLiteral("PromptLabel"));
  label_->setTextFormat(Qt::PlainText);
  label_->setWordWrap(true);
  label_->setText(QString::fromStdString(prompt.PromptText));
  const int labelWidth = horizontalUnits(164);
  label_->setGeometry(horizontalUnits(8), verticalUnits(8), labelWidth,
                      std::max(label_->heightForWidth(labelWidth), 0));

  list_->setObjectName(QStringLiteral("PromptList"));
  list_->setEditable(false);  // the user can only pick
  list_->setMaxVisibleItems(kPromptVisibleRows);
  // Styles that open the list over the box as a menu ignore the row limit and showed all 85 slots
  // as tall as the screen; a drop-down list keeps it.
  list_->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
  for (const std::string& item : splitCommaText(prompt.PromptItems)) {
    list_->addItem(QString::fromStdString(item));
  }
  list_->setCurrentIndex(
      prompt.PromptIndex >= 0 && prompt.PromptIndex < list_->count() ? prompt.PromptIndex : -1);
  const int listTop = label_->geometry().y() + label_->height() + 5;
  list_->setGeometry(label_->x(), listTop, horizontalUnits(164), list_->sizeHint().height());

  const int buttonTop = listTop + list_->height() + 15;
  const int buttonWidth = horizontalUnits(50);
  const int buttonHeight = verticalUnits(14);
  ok_->setObjectName(QStringLiteral("OkBtn"));
  ok_->setGeometry(horizontalUnits(38), buttonTop, buttonWidth, buttonHeight);
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  cancel_->setObjectName(QStringLiteral("CancelBtn"));
  cancel_->setGeometry(horizontalUnits(92), buttonTop, buttonWidth, buttonHeight);
  cancel_->setAutoDefault(false);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);  // Escape rejects too

  setFixedSize(horizontalUnits(180), buttonTop + buttonHeight + 13);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

bool NumberPrompt(Prompt& prompt, QWidget* parent) {
  NumberPromptDialog dialog(prompt, ownerOr(parent));
  if (execModal(dialog) != QDialog::Accepted) return false;
  prompt.PromptIndex = dialog.list()->currentIndex();
  return true;
}

QString statusLineText(const std::string& message) {
  return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("> ") +
         QString::fromStdString(message);
}

void QtUserInterface::attach(QWidget* window, QLineEdit* statusLine, QLabel* boardStatePanel) {
  window_ = window;
  statusLine_ = statusLine;
  boardState_ = boardStatePanel;
}

int QtUserInterface::ShowMessageBox(int kind, int buttons, const std::string& text) {
  return pvrj::ShowMessageBox(kind, buttons, text, window_);
}

bool QtUserInterface::NumberPrompt(Prompt& prompt) {
  return pvrj::NumberPrompt(prompt, window_);
}

void QtUserInterface::showStatus(const std::string& message) {
  if (statusLine_) statusLine_->setText(statusLineText(message));
}

void QtUserInterface::setBusy(bool busy) {
  busy_ = busy;
  // kBusyTitle is what this gives for the plain title.
  if (window_) window_->setWindowTitle(busy ? title_ + QStringLiteral(" [通信中]") : title_);
}

void QtUserInterface::setTitle(const QString& title) {
  title_ = title;
  setBusy(busy_);
}

void QtUserInterface::setBoardState(const std::string& text) {
  if (boardState_) boardState_->setText(QString::fromStdString(text));
}

void QtUserInterface::processEvents() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace pvrj
