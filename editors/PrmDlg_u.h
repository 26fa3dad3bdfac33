// The position editor: 24 channel panels, the speed, tool and link panels, the popup menu, the
// background picture and the saved desktop. The rules live in PoseEditor; this window shows them.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "chart/Chart.h"
#include "editors/core/Desktop.h"
#include "editors/core/PatternFile.h"
#include "editors/core/PoseEditor.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QScrollBar;
class QToolButton;

namespace pvrj {

class BoardLink;

// Panels 1 to 24 are the channels; then the speed, tool and link panels.
inline constexpr int kPrmPanelCount = 27;
inline constexpr int kSpeedPanelNo = 25;
inline constexpr int kToolPanelNo = 26;
inline constexpr int kLinkPanelNo = 27;
inline constexpr const char* kPictureMissingMessage = "指定の背景画像がありません";
inline constexpr const char* kEditorCaption = "Parameter";
// The background picture dialog's filters.
inline constexpr const char* kPictureFilters =
    "*.jpg (*.jpg);;*.jpeg (*.jpeg);;*.bmp (*.bmp);;*.* (*)";

// The colour menu: captions and colours (0x00BBGGRR; the first is the button-face reference).
struct NamedColor {
  const char* caption;
  std::uint32_t color;
};
inline constexpr std::array<NamedColor, 17> kPanelColors = {{
    {"標準色", 0x8000000F},
    {"白", 0xFFFFFF},
    {"灰色", 0xC0C0C0},
    {"濃い灰色", 0x808080},
    {"黒", 0x000000},
    {"茶色", 0x000080},
    {"桃色", 0xFF00FF},
    {"赤", 0x0000FF},
    {"紫", 0x800080},
    {"藍色", 0x800000},
    {"青", 0xFF0000},
    {"青緑", 0x808000},
    {"緑", 0x008000},
    {"黄緑", 0x00FF00},
    {"黄", 0x00FFFF},
    {"水色", 0xFFFF00},
    {"黄土", 0x008080},
}};

class TPrmDlg : public QDialog {
  Q_OBJECT
 public:
  // Reads the saved desktop from "PVR3J.ini" and the link sets from "PATTERN.ini" in the settings
  // folder; both are written back when the window goes.
  explicit TPrmDlg(Chart& chart, QWidget* parent = nullptr);
  ~TPrmDlg() override;

  PoseEditor& editor() { return editor_; }
  PatternFile& patternFile() { return patterns_; }
  // The board and the main window's "SYNC" box.
  void setLink(BoardLink* link) { editor_.setLink(link); }
  void setSyncSource(std::function<bool()> syncChecked) {
    editor_.syncChecked = std::move(syncChecked);
  }

  // Opens the editor for a POS item of the chart (a double click on the canvas).
  void openItem(int item);

  // What other windows copy: channel names and label colours (index 0 = CH1).
  std::array<ChannelLabel, kChannelCount> channelLabels() const;
  QString channelName(int index) const;
  float displayRate(int index) const;

  // Hooks the per-channel entry dialog fills in; unset, the menu entries do nothing.
  std::function<void()> channelNamesRequested;  // "名前"
  std::function<void()> displayRatesRequested;  // "表示レート設定"
  std::function<void()> linkSetsRequested;      // the link list's last entry
  // After those dialogs: new names (sent to the board) and new display rates, as typed.
  bool applyChannelNames(std::span<const std::string> entries);
  void applyDisplayRates(std::span<const std::string> entries);
  // The link list from the pattern file's names, plus the last entry; nothing chosen.
  void rebuildLinkList();
  // Loads the link actions of the set at index of the link list (-1 does nothing).
  void LoadLinkSet(int index);
  // Chooses the link list's last entry, "組み合わせの設定" (after a link set was saved).
  void chooseLinkSetsEntry();

  // The saved desktop as the window is now, and applying one.
  DesktopSettings desktop() const;
  void applyDesktop(const DesktopSettings& desktop);
  // Loads a background picture: false without a message for an empty path or a missing file;
  // false with "指定の背景画像がありません" when it cannot be read (the previous picture stays).
  bool loadBackground(const QString& path);
  const QImage& background() const { return picture_; }
  bool backgroundShown() const;

  // Controls, named as the rest of the program knows them.
  std::array<QFrame*, kPrmPanelCount> panels{};                     // Panel1-27
  std::array<QLabel*, kPrmPanelCount> panelLabels{};                // Label1-24, 25, 27
  std::array<QLineEdit*, kChannelCount> valueEdits{};               // Edit1-24
  std::array<QScrollBar*, kChannelCount> positionBars{};            // Scroll1-24
  std::array<QScrollBar*, kChannelCount> smallBars{};               // SSL1-24
  std::array<QLabel*, kChannelCount> smallTags{};                   // SLB1-24
  std::array<QRadioButton*, kChannelCount * kRadioCount> radios{};  // CkBtn1-144 (tag - 1)
  QScrollBar* SpeedBar;
  QLineEdit* SpeedEdit;
  QComboBox* LinkList;
  QToolButton* GetBtn;
  QToolButton* SetBtn;
  QToolButton* StopBtn;
  QToolButton* SleepBtn;
  QToolButton* LinkSubBtn;
  QToolButton* LinkAddBtn;
  QToolButton* TchBtn;
  QMenu* PrmMenu;
  std::array<QAction*, 8> typeActions{};  // NONE, SERVO, FREE, SET1, SET2, SET3, H, L
  QAction* nameAction;
  QMenu* showMenu;
  std::array<QAction*, kPrmPanelCount> showActions{};
  QMenu* colorMenu;
  std::array<QAction*, kPanelColors.size()> colorActions{};
  QAction* otherColorAction;
  QAction* rateAction;
  QAction* makeHomeAction;
  QAction* backgroundSetAction;
  QAction* backgroundShowAction;
  QAction* fixPanelsAction;

  // Tests switch the popup off and read the entries instead; they also answer the choosers.
  bool popupEnabled = true;
  std::function<std::optional<std::uint32_t>(std::uint32_t initial)> chooseColor;
  std::function<QString()> choosePicture;

  // Handlers.
  void ScrollChange(int channel, int position);
  void SSLChange(int channel, int position);
  void EditEnter(int channel);
  void SpeedBarChange(int position);
  void SpeedEditEnter();
  void CkBtnMouseUp(int tag);
  void GetBtnClick();
  void SetBtnClick();
  void StopBtnClick();
  void SleepBtnClick();
  void LinkAddBtnClick();
  void LinkSubBtnClick();
  void TchBtnClick();
  void LinkListCloseUp(int index);
  // The popup menu for a panel (1-27) or the window (0): entries shown for it, then the menu.
  void popupFor(int target, const QPoint& globalPos);
  int menuTarget() const { return menuTarget_; }
  void ChannelTypeClick(ChannelType type);
  void NameMenuClick();
  void ShowPanelClick(int panel);
  void ColorClick(std::uint32_t color);
  void OtherColorClick();
  void RateMenuClick();
  void MakeHomeClick();
  void BackgroundSetClick();
  void BackgroundShowClick();
  void FixPanelsClick();

  // A panel's colour (0x00BBGGRR or a system reference) and the window's.
  std::uint32_t panelColor(int panel) const {
    return panelColors_[static_cast<std::size_t>(panel - 1)];
  }
  std::uint32_t windowColor() const { return windowColor_; }

 signals:
  // Channel names or label colours changed.
  void channelLabelsChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void buildChannelPanel(int channel);
  void buildLowerPanels();
  void buildMenu();
  QFrame* makePanel(int number);
  // Shows the core's state of a channel, or of the speed, on the controls.
  void showChannel(int channel);
  void showSpeed();
  void showNames();
  void setPanelColor(int panel, std::uint32_t color);
  void linkStep(QToolButton* button, int multiplier);
  int panelOf(QObject* watched) const;
  void saveFiles();

  PoseEditor editor_;
  PatternFile patterns_;
  std::string settingsPath_;
  std::array<std::uint32_t, kPrmPanelCount> panelColors_{};
  std::uint32_t windowColor_ = kButtonFaceColor;
  QString backgroundPath_;
  QImage picture_;
  int menuTarget_ = 0;
  int dragPanel_ = 0;  // the panel being dragged (0: none)
  QPoint dragStart_;
  QPoint dragOrigin_;
};

}  // namespace pvrj
