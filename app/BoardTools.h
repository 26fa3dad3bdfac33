// The main window's board tool buttons: the trim, option, analog and receiver dialogs, and the
// streamed reports that feed the analog and receiver dialogs.
#pragma once

#include <QObject>
#include <memory>

#include "tools/ToolWidgets.h"

namespace pvrj {

class MotionTable;
class TAdDlg;
class THomeDlg;
class TOptDlg;
class TPivora3;
class TPropoDlg;

class BoardTools : public QObject {
  Q_OBJECT
 public:
  // table: the motion table the lists show. Owned by the main window.
  BoardTools(TPivora3& window, const MotionTable& table);
  ~BoardTools() override;

  // Where the dialogs take the position editor's channel names, colours and arrangement.
  void setChannelSources(ChannelLabelSource labels, EditorArrangementSource arrangement);

  TOptDlg& optDlg() { return *optDlg_; }
  THomeDlg& homeDlg() { return *homeDlg_; }
  TAdDlg& adDlg() { return *adDlg_; }
  TPropoDlg& propoDlg() { return *propoDlg_; }

  void HomeBtnClick();
  void OptionBtnClick();
  void AdBtnClick();
  void OptionMenu3Click();

 private:
  TPivora3& window_;
  std::unique_ptr<TOptDlg> optDlg_;
  std::unique_ptr<THomeDlg> homeDlg_;
  std::unique_ptr<TAdDlg> adDlg_;
  std::unique_ptr<TPropoDlg> propoDlg_;
};

}  // namespace pvrj
