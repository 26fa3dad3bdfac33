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
#include "chart/ChartHistory.h"
#include "chart/RecentCharts.h"
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
class QMenu;
class QScrollArea;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace pvrj {

class AutosaveWriter;
class ChartCanvas;
class FlowToolBar;

// The quit question when the chart holds changes that no file has.
inline constexpr const char* kQuitQuestionUnsaved =
    "保存されていない変更があります。\n終了して構いませんでしょうか？";

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
  // Undo and redo, and which file the chart belongs to.
  ChartHistory& history() { return history_; }
  AutosaveWriter& autosaveWriter() { return *autosave_; }
  const RecentCharts& recentCharts() const { return recent_; }
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
  // While one of them shows, what it changes in the chart gathers into one undo step, recorded
  // when it hides (or when the canvas is used).
  void hideOnActivation(QWidget* window);

  // Records what changed in the chart since the last record as one undo step, and shows whether
  // the chart is modified. Called after every action that may change the chart; changes made
  // elsewhere are recorded once the event loop is idle again after the user's input.
  void recordChange();
  // Autosaves the chart now if it holds changes not yet autosaved (a board write does).
  void autosaveNow();
  // At start: offers the chart that a run which did not end normally left behind. Yes opens it
  // as an unsaved chart; no moves the file aside. True when a chart was restored.
  bool offerRecovery();
  // Opens a chart from the recent list under the load button.
  void openRecent(const QString& path);
  // Zoom of the canvas: Ctrl+plus, Ctrl+minus, Ctrl+0 and "全体表示" (the whole canvas in view).
  void zoomIn();
  void zoomOut();
  void zoomReset();
  void fitChart();
  // The quit question as it is asked now.
  QString quitQuestion() const;
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
  QAction* UndoBtn;
  QAction* RedoBtn;
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
  QMenu* recentMenu;        // under the load button
  QToolButton* zoomButton;  // in the status bar: the zoom, and a menu of zooms
  QTimer* autosaveTimer;    // runs from a change until the next autosave

  // The serial port; declared before the link so that it closes after the link is gone.
  std::unique_ptr<QtMainThreadDispatcher> dispatcher_;
  std::unique_ptr<TCommX> serialPort;

  // Handlers.
  void OpenBtnClick();
  void SaveBtnClick();
  void ExitBtnClick();
  void ToolBtnClick(int tag);
  void UndoBtnClick();
  void RedoBtnClick();
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
  // The title (file name, "*" while modified, program name) and the undo and redo buttons.
  void updateChartState();
  void startAutosaveTimer();
  // After undo or redo: caption, canvas, title.
  void showHistoryMove();
  // A chart file opened or saved: first in the recent lists.
  void rememberFile(const std::string& path);
  void rebuildRecentMenu();
  void buildZoomControl();
  // Records changes made outside the known actions once the user's input has been handled.
  void idleCheckpoint();
  bool editorSessionOpen() const;
  // True when the key was one the window acts on (Esc, Delete, Ctrl+C, Ctrl+V).
  bool handleKey(int key, Qt::KeyboardModifiers modifiers);
  void shutdown();
  // Closes every other window of the program; one that refuses is hidden.
  void closeOtherWindows();
  // Grows the window towards a client size of wanted, within the screen's available area.
  void growWindow(QSize wanted);

  Chart chart_;
  ChartHistory history_{chart_};
  std::unique_ptr<AutosaveWriter> autosave_;
  std::uint64_t autosavedState_ = 0;       // the history state autosaved last
  std::uint64_t toldAutosaveFailure_ = 0;  // the failed write last told in the status line
  RecentCharts recent_;
  bool checkpointWanted_ = false;
  bool checkpointQueued_ = false;
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
