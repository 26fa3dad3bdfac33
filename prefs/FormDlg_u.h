// The environment settings: the canvas size, the grid steps, which of four tool bars show, and
// whether chart files are registered on the desktop; applied by "更新" for as long as the
// program runs, reloaded every time the dialog becomes active.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "prefs/core/FileAssociation.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace pvrj {

class UserInterface;

// What the environment settings read and change in the main window.
class EnvironmentHost {
 public:
  virtual ~EnvironmentHost() = default;
  virtual QSize canvasSize() const = 0;
  virtual void setCanvasSize(int width, int height) = 0;
  virtual int gridStepX() const = 0;
  virtual int gridStepY() const = 0;
  // Steps below 2 become 2.
  virtual void setGridSteps(int stepX, int stepY) = 0;
  // Tool bars by object name ("CommandMenu", "PartsMenu", "CommMenu", "ToolsMenu").
  virtual bool toolBarShown(const QString& name) const = 0;
  virtual void showToolBar(const QString& name, bool shown) = 0;
};

// The caption: the application name and "の設定".
inline constexpr const char* kFormDlgCaption = "Pivora Type3Jの設定";
// The status line when chart files could not be registered or removed; the reason follows.
inline constexpr const char* kAssociationFailed = "VLBファイルの関連付けを変更できませんでした: ";

class TFormDlg : public QDialog {
  Q_OBJECT
 public:
  TFormDlg(EnvironmentHost& host, UserInterface& ui, QWidget* parent = nullptr);

  // An on/off setting as a check box among the dialog's options: read into the box at every
  // activation, applied from it by "更新" (after the size, grid and association, before the tool
  // bars). Returns the box, named name.
  QCheckBox* addOption(const char* name, const QString& caption, std::function<bool()> read,
                       std::function<void(bool)> apply);

  void FormCreate();
  void FormActivate();
  void ReWriteBtnClick();
  // Chart files on the user's desktop.
  bool IsAssociationRegistered() const;
  void RegisterAssociation(bool on);
  // Where registering writes; by default the user's XDG folders and this program.
  void setAssociation(FileAssociation association);

  QLabel* Label4;
  QLabel* Label5;
  QLineEdit* FormWidth;
  QLabel* Label6;
  QLineEdit* FormHeight;
  QLabel* Label3;
  QLabel* Label1;
  QLineEdit* GridX;
  QLabel* Label2;
  QLineEdit* GridY;
  QCheckBox* FileIcon;
  QLabel* Label7;
  QCheckBox* ViewCmdMenu;
  QCheckBox* ViewPartMenu;
  QCheckBox* ViewCommMenu;
  QCheckBox* ViewToolMenu;
  QPushButton* ReWriteBtn;

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  struct Option {
    QCheckBox* box;
    std::function<bool()> read;
    std::function<void(bool)> apply;
  };
  // Each box and the tool bar it shows.
  struct ToolBarBox {
    QCheckBox* box;
    QString toolBar;
  };

  EnvironmentHost& host_;
  UserInterface& ui_;
  std::unique_ptr<FileAssociation> association_;
  std::vector<Option> options_;
  std::vector<ToolBarBox> toolBarBoxes_;
  QVBoxLayout* optionsColumn_ = nullptr;
};

}  // namespace pvrj
