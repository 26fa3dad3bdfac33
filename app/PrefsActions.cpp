// Connecting the environment, information and servo-bus buttons to their windows.
#include "app/PrefsActions.h"

#include <QAction>

#include "app/Main_u.h"
#include "chart/ChartEditor.h"
#include "prefs/FormDlg_u.h"
#include "prefs/InfoDlg_u.h"
#include "tools/QVSDlg_u.h"
#include "tools/QVSPrm_u.h"

namespace pvrj {
namespace {

// The main window as the environment settings see it.
class MainWindowEnvironment : public EnvironmentHost {
 public:
  explicit MainWindowEnvironment(TPivora3& window) : window_(window) {}
  QSize canvasSize() const override { return window_.canvasSize(); }
  void setCanvasSize(int width, int height) override { window_.setCanvasSize(width, height); }
  int gridStepX() const override { return window_.gridStepX(); }
  int gridStepY() const override { return window_.gridStepY(); }
  void setGridSteps(int stepX, int stepY) override { window_.setGridSteps(stepX, stepY); }
  bool toolBarShown(const QString& name) const override { return window_.toolBarShown(name); }
  void showToolBar(const QString& name, bool shown) override { window_.showToolBar(name, shown); }

 private:
  TPivora3& window_;
};

}  // namespace

PrefsActions::PrefsActions(TPivora3& window)
    : QObject(&window), window_(window), host_(std::make_unique<MainWindowEnvironment>(window)) {
  // In the order the program makes its windows (information, servo-bus list and parameters,
  // environment settings), except that the parameter dialog goes first: the list holds it.
  infoDlg_ = std::make_unique<TInfoDlg>(&window_.boardLink(), &window_);
  qvsPrm_ = std::make_unique<TQVSPrm>(&window_);
  qvsDlg_ = std::make_unique<TQVSDlg>(window_.boardLink(), window_.ui(), *qvsPrm_, &window_);
  formDlg_ = std::make_unique<TFormDlg>(*host_, window_.ui(), &window_);
  window_.hideOnActivation(infoDlg_.get());
  window_.hideOnActivation(formDlg_.get());

  connect(window_.FormBtn, &QAction::triggered, this, [this] { FormBtnClick(); });
  connect(window_.InfoBtn, &QAction::triggered, this, [this] { InfoBtnClick(); });
  connect(window_.QVSBtn, &QAction::triggered, this, [this] { QVSBtnClick(); });
}

PrefsActions::~PrefsActions() = default;

void PrefsActions::FormBtnClick() {
  execModal(*formDlg_);
  window_.ToolBtnClick(kToolSelect);
}

void PrefsActions::InfoBtnClick() {
  infoDlg_->show();
  infoDlg_->raise();
  infoDlg_->activateWindow();
}

void PrefsActions::QVSBtnClick() {
  qvsDlg_->openFromMainWindow();
}

}  // namespace pvrj
