// The editor's main window: tool bars, status line, chart canvas, settings file, keys and quitting.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "chart/ChartFile.h"
#include "common/Settings.h"
#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"
#include "ui/MessageDialog_u.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QScrollArea;
class QStatusBar;
class QTabWidget;
class QTreeWidget;

namespace pvrj {

class ChartCanvas;
class FlowToolBar;

// Runs the serial port's events on the user-interface thread, through the Qt event loop.
class QtMainThreadDispatcher : public MainThreadDispatcher {
 public:
  // Calls still queued when context goes away are dropped.
  explicit QtMainThreadDispatcher(QObject* context) : context_(context) {}
  void post(std::function<void()> call) override;

 private:
  QObject* context_;
};

inline constexpr int kClientWidth = 650;
inline constexpr int kClientHeight = 580;
inline constexpr int kCanvasWidth = 640;
inline constexpr int kCanvasHeight = 480;
inline constexpr int kBoardRetryCount = 5;

class TPivora3 : public QMainWindow {
  Q_OBJECT
 public:
  // arguments: the program's arguments after its name; the first names a chart to open.
  explicit TPivora3(const QStringList& arguments = {}, QWidget* parent = nullptr);
  ~TPivora3() override;

  Chart& chart() { return chart_; }
  BoardLink& boardLink() { return *link_; }
  BoardMessages& boardMessages() { return messages_; }
  UserInterface& ui() { return ui_; }
  // The settings file "PVR3J.ini" in the settings folder.
  std::string settingsPath() const;
  const MainSettings& settings() const { return settings_; }

  // "hh:mm:ss> message" in the status line.
  void showStatus(const std::string& message);
  // Text of a status bar panel (0 mouse position, 1 board state, 2 empty).
  QString panelText(int panel) const;

  // Opens a chart file into the chart (adding or replacing as the file's type asks) and redraws.
  // The canvas is sized from the window's client area as it is now; a chart larger than that
  // grows the window up to the screen's available area, and the canvas scrolls for the rest.
  void openChart(const std::string& path);
  // A file dropped onto the window.
  void openDroppedFile(const std::string& path);
  // A file that a second start handed over: the window comes to the front and opens it as a
  // dropped file.
  void openHandedOverFile(const QString& path);
  // Shows the window unminimised, raised and active (as far as the window manager lets it).
  void bringToFront();
  // Windows hidden whenever the main window becomes active (the item editors and the like).
  void hideOnActivation(QWidget* window);

  // What the environment settings change for the rest of the run: the canvas size, the grid
  // steps (below 2 raised to 2; snapping stays as it is), and the tool bars shown, by object name.
  QSize canvasSize() const;
  void setCanvasSize(int width, int height);
  int gridStepX() const;
  int gridStepY() const;
  void setGridSteps(int stepX, int stepY);
  bool toolBarShown(const QString& name) const;
  void showToolBar(const QString& name, bool shown);

  // Controls, named as the rest of the program knows them. The tool bars share one area above the
  // pages, in which they wrap (and their buttons too) when the window is narrow.
  QWidget* toolBarArea;
  FlowToolBar* fileBar;
  FlowToolBar* partsBar;
  FlowToolBar* commandBar;
  FlowToolBar* toolsBar;
  FlowToolBar* commBar;
  FlowToolBar* statusLineBar;
  QAction* OpenBtn;
  QAction* SaveBtn;
  QAction* FormBtn;
  QAction* InfoBtn;
  QAction* ExitBtn;
  QAction* SelectBtn;
  QCheckBox* GridSw;
  QAction* SetStartBtn;
  QAction* SetItem1Btn;
  QAction* SetItem2Btn;
  QAction* SetItem3Btn;
  QAction* Link1Btn;
  QAction* Link2Btn;
  QAction* CompileBtn;
  QActionGroup* ToolGroup;
  QAction* HomePosBtn;
  QAction* MotWriteBtn;
  QAction* MotReadBtn;
  QAction* MotDelBtn;
  QAction* MotStpBtn;
  QAction* pauseBtn;
  QAction* MotRunBtn;
  QAction* HomeBtn;
  QAction* OptionBtn;
  QAction* AdBtn;
  QAction* QVSBtn;
  QAction* receiverBtn;
  QAction* TableBtn;
  QCheckBox* Sync;
  QComboBox* CommPort;
  QLineEdit* statusLine;
  QTabWidget* pages;
  QWidget* editPage;
  QWidget* listPage;
  QWidget* listingPage;
  QScrollArea* canvasScroll;
  ChartCanvas* canvas;
  QListWidget* dumpView;
  QTreeWidget* listingView;
  QStatusBar* statusPanels;

  // The serial port; declared before the link so that it closes after the link is gone.
  std::unique_ptr<QtMainThreadDispatcher> dispatcher_;
  std::unique_ptr<TCommX> serialPort;

  // Handlers.
  void OpenBtnClick();
  void SaveBtnClick();
  void ExitBtnClick();
  void ToolBtnClick(int tag);
  void GridSwClick();
  void CommPortCloseUp();
  void CommX1Receive(std::int32_t receiveSize);
  void Image1MouseMoved(int x, int y);
  void Image1ToolModeChanged(int mode);

 signals:
  // The program is about to end: nothing from outside may start new work now.
  void shuttingDown();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildToolBars();
  void buildPages();
  void buildStatusBar();
  void buildBoardLink();
  QAction* addButton(FlowToolBar* bar, const char* name, const QString& glyph, const QString& hint);
  QAction* toolButton(int tag) const;
  // The open or save dialog with the chart filters; empty when cancelled.
  QString askChartPath(bool save, QString* selectedFilter);
  void readSettings();
  bool writeSettings();
  void updateEditCaption();
  // True when the key was one the window acts on (Esc, Delete, Ctrl+C, Ctrl+V).
  bool handleKey(int key, Qt::KeyboardModifiers modifiers);
  void shutdown();
  // Closes every other window of the program; one that refuses is hidden.
  void closeOtherWindows();
  // Grows the window towards a client size of wanted, within the screen's available area.
  void growWindow(QSize wanted);

  Chart chart_;
  QtUserInterface ui_;
  MainSettings settings_;
  std::array<QLabel*, 3> panels_{};
  std::vector<QPointer<QWidget>> hiddenOnActivation_;
  std::unique_ptr<CommXOpener> opener_;
  std::unique_ptr<BoardLink> link_;
  BoardMessages messages_;  // the receive buffer of unprompted board bytes
  bool shutDown_ = false;
  // The key press last acted on, so that its trip up the parent chain counts once.
  const QEvent* lastKey_ = nullptr;
  int lastKeyCode_ = 0;
  unsigned long lastKeyTime_ = 0;
};

}  // namespace pvrj
