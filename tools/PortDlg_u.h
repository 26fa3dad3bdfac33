// The per-channel entry dialog: one box per channel for a conversion, the channel names, the
// display rates or a link set, and the pattern file that keeps conversion sets and link sets.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "chart/ChannelConversion.h"
#include "chart/Chart.h"
#include "editors/core/PatternFile.h"
#include "tools/ChannelLook.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace pvrj {

class BoardLink;

// The dialog's modes; each caller sets its own before showing it.
enum PortDlgMode : int {
  kPortModeNone = 0,
  kPortModeConversion = 2,
  kPortModeChannelNames = 3,
  kPortModeDisplayRates = 4,
  kPortModeLinkSets = 5,
};

inline constexpr int kPortBoxVisibleRows = 20;

// A display rate as the rate boxes show it: at most three decimals ("1", "0.5", "0.333").
QString formatRateForBox(float rate);

class TPortDlg : public QDialog {
  Q_OBJECT
 public:
  // Reads the pattern file at patternPath; the conversion acts on chart's selected items.
  TPortDlg(Chart& chart, const std::string& patternPath, QWidget* parent = nullptr);
  // Writes the pattern file back when anything in it changed.
  ~TPortDlg() override;

  // What the dialog takes from the position editor; each may stay unset (then the channels show
  // "CH" + n, rates are 1 and link actions go nowhere).
  BoardLink* link = nullptr;                            // channel names are read from the board
  std::function<ChannelLook(int channel)> channelLook;  // the editor's channel label n
  std::function<float(int channel)> displayRate;        // the editor's display rate of channel n
  // The editor's 24 link actions (CH1 first); an empty list clears them.
  std::function<void(const std::vector<std::string>& entries)> setLinkActions;
  // The position editor's link list: filled now with the link sets and "組み合わせの設定".
  void attachLinkList(QComboBox* linkList);

  PatternFile& pattern() { return pattern_; }
  int mode() const { return mode_; }
  // The text of channel n's box (1 to 24).
  QString boxText(int channel) const;
  // Writes the pattern file now; the destructor does the same.
  Status savePattern();

  // Set-up before showing the dialog modally.
  void PrepareConversion();
  void PrepareChannelNames();
  void PrepareDisplayRates();
  void PrepareLinkSets();
  // The editor chose entry index of its link list (not the last): that set becomes its link
  // actions. -1 does nothing.
  void LoadLinkSet(int index);

  // Handlers.
  void ListMenuCloseUp();
  void DelBtnClick();
  void OKBtnClick();
  void Button1Click();

  std::array<QLabel*, kChannelCount> PortName{};
  std::array<QComboBox*, kChannelCount> Cmb{};
  QLabel* ListLabel;
  QComboBox* ListMenu;
  QPushButton* DelBtn;
  QPushButton* OKBtn;
  QPushButton* Button1;

 private:
  void showRowLabels(bool channelNumbers);
  void showSetControls(bool shown);
  // Fills the 24 boxes: editable, with the given list, nothing chosen and empty.
  void prepareBoxes(const std::vector<std::string>& items);
  void setBoxTexts(const ChannelRules& texts);
  std::vector<std::string> boxTexts() const;
  std::vector<std::string> setNames() const;
  void setSetNames(const std::vector<std::string>& names);
  std::vector<std::string> listMenuNames() const;
  void fillListMenu(const std::vector<std::string>& names);
  // The entry chosen from ListMenu and not typed over since, or -1.
  int chosenEntry() const;
  void rebuildLinkList();
  void chooseLastLinkEntry();
  void clearLinkActions();
  // Saves the boxes as a set: under the chosen entry, or a typed name appended to the list.
  void saveSet(const std::string& name, bool typed);
  bool acceptConversion();
  bool acceptLinkSet();

  Chart& chart_;
  PatternFile pattern_;
  QPointer<QComboBox> linkList_;
  int mode_ = kPortModeNone;
  int chosen_ = -1;
};

}  // namespace pvrj
