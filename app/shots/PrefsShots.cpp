// pvrj-prefs-shots: draws the servo-bus list, the servo parameter dialog, the environment settings
// and the information window as the README shows them, against an in-process virtual board, and
// saves each as a PNG picture in the folder given (scripts/screenshot-prefs runs it on a virtual X
// display).
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QTreeWidget>
#include <QWindow>
#include <array>
#include <cstdio>
#include <string>

#include "app/shots/Shoot.h"
#include "board/VirtualBoardPort.h"
#include "prefs/FormDlg_u.h"
#include "prefs/InfoDlg_u.h"
#include "prefs/ProgramIcon.h"
#include "protocol/BoardLink.h"
#include "tools/QVSDlg_u.h"
#include "tools/QVSPrm_u.h"
#include "ui/MessageDialog_u.h"

namespace {

using namespace pvrj;

using shots::shoot;

// A user interface that answers nothing and shows nothing: no box is expected here.
class SilentUserInterface : public UserInterface {
 public:
  int ShowMessageBox(int, int, const std::string&) override { return kIdOk; }
  bool NumberPrompt(Prompt&) override { return false; }
  void showStatus(const std::string&) override {}
  void setBusy(bool) override {}
  void setBoardState(const std::string&) override {}
  void processEvents() override {}
};

// The main window as a fresh editor shows it to the environment settings.
class FreshEditor : public EnvironmentHost {
 public:
  QSize canvasSize() const override { return {640, 480}; }
  void setCanvasSize(int, int) override {}
  int gridStepX() const override { return 10; }
  int gridStepY() const override { return 10; }
  void setGridSteps(int, int) override {}
  bool toolBarShown(const QString&) const override { return true; }
  void showToolBar(const QString&, bool) override {}
};

const std::array<const char*, 8> kArmNames = {"右肩", "右肘", "右手首", "右手",
                                              "左肩", "左肘", "左手首", "左手"};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(programIcon());
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  QDir().mkpath(out);

  // The arm's eight servos on the servo bus, each tuned a little differently; the board powered
  // on in servo-bus mode.
  board::VirtualBoardPort port;
  board::BoardMemory& memory = port.board().memory();
  memory.qvsMask = {0xFF, 0x00, 0x00};
  for (std::size_t ch = 0; ch < kArmNames.size(); ++ch) {
    ServoBlock& block = memory.qvsParams[ch];
    const int n = static_cast<int>(ch);
    block[kServoStretch1] = static_cast<std::uint8_t>(1 + n % 5);
    block[kServoSpeed1] = static_cast<std::uint8_t>(1 + n % 3);
    block[kServoPunch] = static_cast<std::uint8_t>(3 + n % 6);
    block[kServoReverse] = static_cast<std::uint8_t>(ch >= 4 ? 1 : 0);
    const int left = kLimitLBase + kLimitStep * (40 + 2 * n);
    block[kServoLimitL] = static_cast<std::uint8_t>(left >> 8);
    block[kServoLimitL + 1] = static_cast<std::uint8_t>(left & 0xFF);
  }
  memory.stored.options |= kOptionQvsMode;
  port.board().powerCycle();
  SilentUserInterface ui;
  BoardLink link(port, ui);

  bool ok = true;
  TQVSPrm prm;
  TQVSDlg qvs(link, ui, prm);
  qvs.channelName = [](int channel) {
    return channel <= static_cast<int>(kArmNames.size())
               ? std::string(kArmNames[static_cast<std::size_t>(channel - 1)])
               : "CH" + std::to_string(channel);
  };
  qvs.LoadServoBusChannels();
  qvs.ShowServoBusChannels();
  qvs.SioReadBtnClick();
  qvs.QVSList->setCurrentItem(qvs.QVSList->topLevelItem(2));
  ok = shoot(qvs, out + "/servo-bus-list.png") && ok;

  ServoBlock block{};
  Bytes reply;
  if (link.CmdReadQvsParams(2, reply) && reply.size() > block.size()) {
    std::copy_n(reply.begin(), block.size(), block.begin());
  }
  prm.setWindowTitle(QString("3:%1").arg(kArmNames[2]));
  prm.LoadServoParameters(block);
  ok = shoot(prm, out + "/servo-parameters.png") && ok;

  FreshEditor editor;
  TFormDlg form(editor, ui);
  ok = shoot(form, out + "/environment-settings.png") && ok;

  TInfoDlg info(&link);
  info.FormActivate();
  ok = shoot(info, out + "/information.png") && ok;
  return ok ? 0 : 1;
}
