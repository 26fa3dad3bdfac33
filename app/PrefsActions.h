// The main window's environment, information and servo-bus buttons with the windows they open.
#pragma once

#include <QObject>
#include <memory>

namespace pvrj {

class EnvironmentHost;
class TFormDlg;
class TInfoDlg;
class TPivora3;
class TQVSDlg;
class TQVSPrm;

class PrefsActions : public QObject {
  Q_OBJECT
 public:
  // Owned by the main window.
  explicit PrefsActions(TPivora3& window);
  ~PrefsActions() override;

  TFormDlg& formDlg() { return *formDlg_; }
  TInfoDlg& infoDlg() { return *infoDlg_; }
  TQVSDlg& qvsDlg() { return *qvsDlg_; }
  TQVSPrm& qvsPrm() { return *qvsPrm_; }

  // The environment settings, modally; afterwards the select tool, a line being drawn abandoned.
  void FormBtnClick();
  // The information window, not modally.
  void InfoBtnClick();
  // The servo-bus dialog with the stored servo-bus bit set around it.
  void QVSBtnClick();

 private:
  TPivora3& window_;
  std::unique_ptr<EnvironmentHost> host_;
  std::unique_ptr<TInfoDlg> infoDlg_;
  std::unique_ptr<TQVSPrm> qvsPrm_;
  std::unique_ptr<TQVSDlg> qvsDlg_;
  std::unique_ptr<TFormDlg> formDlg_;
};

}  // namespace pvrj
