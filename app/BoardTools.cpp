// Connecting the board tool buttons to their dialogs, and the reports to the dialogs they feed.
#include "app/BoardTools.h"

#include <QAction>

#include "app/Main_u.h"
#include "tools/AdDlg_u.h"
#include "tools/HomeDlg_u.h"
#include "tools/OptDlg_u.h"
#include "tools/PropoDlg_u.h"

namespace pvrj {

BoardTools::BoardTools(TPivora3& window, const MotionTable& table)
    : QObject(&window), window_(window) {
  BoardLink& link = window_.boardLink();
  BoardMessages& messages = window_.boardMessages();
  // Made in the order the program makes its dialogs: options, trim, ..., analog, receiver.
  optDlg_ = std::make_unique<TOptDlg>(link, table, &window_);
  homeDlg_ = std::make_unique<THomeDlg>(link, window_.ui(), &window_);
  adDlg_ = std::make_unique<TAdDlg>(link, messages, table, &window_);
  propoDlg_ = std::make_unique<TPropoDlg>(link, window_.ui(), &window_);

  // The reports reach these dialogs besides whoever listened before.
  auto receiverBefore = messages.onReceiverReport;
  messages.onReceiverReport = [this, receiverBefore](const ReceiverReport& report) {
    if (receiverBefore) receiverBefore(report);
    propoDlg_->showReceiverReport(report);
  };
  auto analogBefore = messages.onAnalogReport;
  messages.onAnalogReport = [this, analogBefore](const AnalogReport& report) {
    if (analogBefore) analogBefore(report);
    adDlg_->showAnalogReport(report);
  };

  connect(window_.HomeBtn, &QAction::triggered, this, [this] { HomeBtnClick(); });
  connect(window_.OptionBtn, &QAction::triggered, this, [this] { OptionBtnClick(); });
  connect(window_.AdBtn, &QAction::triggered, this, [this] { AdBtnClick(); });
  connect(window_.receiverBtn, &QAction::triggered, this, [this] { OptionMenu3Click(); });
}

BoardTools::~BoardTools() = default;

void BoardTools::setChannelSources(ChannelLabelSource labels, EditorArrangementSource arrangement) {
  optDlg_->channelLabels = labels;
  adDlg_->channelLabels = labels;
  homeDlg_->arrangement = std::move(arrangement);
}

void BoardTools::HomeBtnClick() {
  homeDlg_->execute();
}

void BoardTools::OptionBtnClick() {
  optDlg_->execute();
}

void BoardTools::AdBtnClick() {
  adDlg_->execute();
}

void BoardTools::OptionMenu3Click() {
  propoDlg_->execute();
}

}  // namespace pvrj
