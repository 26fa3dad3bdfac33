// The editor's main window: tool bars, status line, chart canvas, settings
// file, keys and quitting.
#include "app/Main_u.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QRawFont>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ChartCanvas.h"
#include "app/DesktopRecentList.h"
#include "app/FlowLayout.h"
#include "app/FlowToolBar.h"
#include "app/WindowFit.h"
#include "chart/Autosave.h"
#include "chart/ChartEditor.h"
#include "chart/ChartFile.h"
#include "common/SettingsFolder.h"

namespace pvrj {

namespace {

const QString kChartFilter = QStringLiteral("VLBファイル (*.VLB)");
// "*" rather than "*.*": names without a dot are files too.
const QString kAllFilter = QStringLiteral("全てのファイルを表示する (*)");
const char* const kQuitQuestion = "終了して構いませんでしょうか？";
constexpr int kPanelWidths[3] = {100, 100, 50};
constexpr int kListColumns = 5;
constexpr int kStatusLineMinWidth = 360;
constexpr int kToolBarGap = 4;  // pixels between tool bars and around their area
// The zooms the status bar's zoom menu offers besides "全体表示".
constexpr int kZoomMenuPercent[] = {25, 50, 75, 100, 150, 200, 300, 400};
// The title's name for a chart that belongs to no file but has been changed.
const char* const kUntitledFile = "無題";

// The status line's bold font, one family for the whole line. Left to the toolkit, the time stamp
// took its digits from the Latin font after a Latin message and from the Japanese font after a
// Japanese one ("シリアルポートを閉じました"), so the line turned thin and back with the messages.
// A Japanese family with a bold face is taken where one is installed; otherwise the family the
// toolkit falls back to for Japanese, which also holds the Latin letters and digits.
QFont statusLineFont(QFont font) {
  font.setBold(true);
  const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
  for (const QString& family : japanese) {
    if (QFontDatabase::styles(family).contains(QStringLiteral("Bold"))) {
      font.setFamilies({family});
      return font;
    }
  }
  QTextLayout sample(QStringLiteral("ステータス"), font);
  sample.beginLayout();
  sample.createLine();
  sample.endLayout();
  const QList<QGlyphRun> runs = sample.glyphRuns();
  if (!runs.isEmpty() && japanese.contains(runs.first().rawFont().familyName()))
    font.setFamilies({runs.first().rawFont().familyName()});
  return font;
}

Qt::KeyboardModifiers significant(Qt::KeyboardModifiers m) {
  return m & ~Qt::KeypadModifier;  // the keypad's Delete is still Delete
}

}  // namespace

TPivora3::TPivora3(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Pivora3"));
  autosave_ = std::make_unique<AutosaveWriter>(autosaveFolder());
  recent_ = RecentCharts::load(RecentCharts::defaultPath());
  buildToolBars();
  buildPages();
  buildStatusBar();
  buildZoomControl();
  ui_.attach(this, statusLine, panels_[1]);
  buildBoardLink();
  qApp->installEventFilter(this);

  // Settings: grid, grid steps and port, then written back once.
  readSettings();
  writeSettings();
  // The port chosen there; the outcome shows in the status line.
  link_->OpenBoardPort(*opener_, CommPort->currentIndex());
  // Chart header defaults.
  chart_.Name = kDefaultChartName;
  chart_.Port = kAllChannels;
  chart_.Ctrl = kDefaultCtrl;
  // Files dropped onto the window.
  setAcceptDrops(true);
  // Caption.
  setWindowTitle(QString::fromUtf8(kAppTitle));
  // Editing state: select tool, no start item.
  canvas->editor().setToolMode(kToolSelect);
  SelectBtn->setChecked(true);
  chart_.Start = -1;
  Image1MouseMoved(0, 0);  // the last mouse position starts at the origin
  // Client area.
  resize(kClientWidth, kClientHeight);
  // Attempts of a board exchange.
  link_->RetryCount = kBoardRetryCount;
  // Canvas size. The stored grid steps stay in force (see readSettings).
  canvas->setCanvasSize(kCanvasWidth, kCanvasHeight);
  // Empty chart and receive buffer.
  chart_.clear();
  messages_.clear();
  updateEditCaption();
  // Undo starts here: the empty chart, untitled and unmodified.
  history_.reset();
  autosaveTimer = new QTimer(this);
  autosaveTimer->setObjectName(QStringLiteral("AutosaveTimer"));
  autosaveTimer->setSingleShot(true);
  autosaveTimer->setInterval(std::chrono::milliseconds(kAutosaveInterval));
  connect(autosaveTimer, &QTimer::timeout, this, &TPivora3::autosaveNow);
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          &TPivora3::idleCheckpoint);
  // A chart named on the command line.
  if (!arguments.isEmpty() && !arguments.first().isEmpty()) {
    chart_.clear();
    openChart(arguments.first().toStdString());
  }
  rebuildRecentMenu();
  updateChartState();
  canvas->redraw();
}

TPivora3::~TPivora3() {
  qApp->removeEventFilter(this);
  if (!shutDown_) shutdown();
}

QAction* TPivora3::addButton(FlowToolBar* bar, const char* name, const QString& glyph,
                             const QString& hint) {
  QAction* action = bar->addButton(glyph);
  action->setObjectName(QString::fromLatin1(name));
  action->setToolTip(hint);
  if (QWidget* button = bar->widgetForAction(action)) {
    button->setObjectName(action->objectName());
    button->setToolTip(hint);
  }
  return action;
}

void TPivora3::buildToolBars() {
  toolBarArea = new QWidget(this);
  toolBarArea->setObjectName(QStringLiteral("ToolBarArea"));
  auto* flow = new FlowLayout(toolBarArea, kToolBarGap);
  flow->setContentsMargins(kToolBarGap, kToolBarGap / 2, kToolBarGap, kToolBarGap / 2);
  auto makeBar = [this, flow](const char* name, const QString& title) {
    auto* bar = new FlowToolBar(title, toolBarArea);
    bar->setObjectName(QString::fromLatin1(name));
    flow->addWidget(bar);
    return bar;
  };

  fileBar = makeBar("ToolBar1", QStringLiteral("FILE"));
  OpenBtn = addButton(fileBar, "OpenBtn", QStringLiteral("開く"), QStringLiteral("ロードボタン"));
  SaveBtn = addButton(fileBar, "SaveBtn", QStringLiteral("保存"), QStringLiteral("セーブボタン"));
  FormBtn = addButton(fileBar, "FormBtn", QStringLiteral("環境"), QStringLiteral("環境設定ボタン"));
  InfoBtn = addButton(fileBar, "InfoBtn", QStringLiteral("情報"),
                      QStringLiteral("インフォメーションボタン"));
  ExitBtn = addButton(fileBar, "ExitBtn", QStringLiteral("終了"), QStringLiteral("終了ボタン"));
  connect(OpenBtn, &QAction::triggered, this, &TPivora3::OpenBtnClick);
  // The recent charts drop down from the load button.
  recentMenu = new QMenu(this);
  recentMenu->setObjectName(QStringLiteral("RecentMenu"));
  if (auto* openButton = qobject_cast<QToolButton*>(fileBar->widgetForAction(OpenBtn))) {
    openButton->setMenu(recentMenu);
    openButton->setPopupMode(QToolButton::MenuButtonPopup);
  }
  connect(SaveBtn, &QAction::triggered, this, &TPivora3::SaveBtnClick);
  connect(ExitBtn, &QAction::triggered, this, &TPivora3::ExitBtnClick);

  partsBar = makeBar("PartsMenu", QStringLiteral("PARTS"));
  ToolGroup = new QActionGroup(this);
  ToolGroup->setObjectName(QStringLiteral("ToolGroup"));
  ToolGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
  auto tool = [this](const char* name, const QString& glyph, const QString& hint, int tag) {
    QAction* a = addButton(partsBar, name, glyph, hint);
    a->setCheckable(true);
    a->setData(tag);
    ToolGroup->addAction(a);
    connect(a, &QAction::triggered, this, [this, tag] { ToolBtnClick(tag); });
    return a;
  };
  SelectBtn = tool("SelectBtn", QStringLiteral("選択"), QStringLiteral("選択ボタン"), kToolSelect);
  GridSw = new QCheckBox(QStringLiteral("GRID"), partsBar);
  GridSw->setObjectName(QStringLiteral("GridSw"));
  GridSw->setToolTip(QStringLiteral("グリッドスイッチ"));
  partsBar->addControl(GridSw);
  connect(GridSw, &QCheckBox::clicked, this, &TPivora3::GridSwClick);
  SetStartBtn =
      tool("SetStartBtn", QStringLiteral("始点"), QStringLiteral("始点配置ボタン"), kToolStart);
  SetItem1Btn =
      tool("SetItem1Btn", QStringLiteral("POS"), QStringLiteral("ポジション配置ボタン"), kToolPos);
  SetItem2Btn =
      tool("SetItem2Btn", QStringLiteral("SET"), QStringLiteral("設定値配置ボタン"), kToolSet);
  SetItem3Btn =
      tool("SetItem3Btn", QStringLiteral("CMP"), QStringLiteral("分岐配置ボタン"), kToolCmp);
  Link1Btn =
      tool("Link1Btn", QStringLiteral("接続線"), QStringLiteral("接続配線ボタン"), kToolConnection);
  Link2Btn =
      tool("Link2Btn", QStringLiteral("分岐線"), QStringLiteral("分岐配線ボタン"), kToolBranch);
  CompileBtn = addButton(partsBar, "CompileBtn", QStringLiteral("コンパイル"),
                         QStringLiteral("コンパイルボタン"));
  UndoBtn = addButton(partsBar, "UndoBtn", QStringLiteral("戻す"),
                      QStringLiteral("元に戻すボタン (Ctrl+Z)"));
  RedoBtn = addButton(partsBar, "RedoBtn", QStringLiteral("やり直し"),
                      QStringLiteral("やり直しボタン (Ctrl+Shift+Z, Ctrl+Y)"));
  connect(UndoBtn, &QAction::triggered, this, &TPivora3::UndoBtnClick);
  connect(RedoBtn, &QAction::triggered, this, &TPivora3::RedoBtnClick);

  commandBar = makeBar("CommandMenu", QStringLiteral("Commad"));
  HomePosBtn = addButton(commandBar, "HomePosBtn", QStringLiteral("ホーム"),
                         QStringLiteral("ホームポジションボタン"));
  MotWriteBtn =
      addButton(commandBar, "MotWriteBtn", QStringLiteral("書込"), QStringLiteral("書込ボタン"));
  MotReadBtn =
      addButton(commandBar, "MotReadBtn", QStringLiteral("読込"), QStringLiteral("読込ボタン"));
  MotDelBtn =
      addButton(commandBar, "MotDelBtn", QStringLiteral("消去"), QStringLiteral("消去ボタン"));
  MotStpBtn = addButton(commandBar, "MotStpBtn", QStringLiteral("■"), QStringLiteral("停止ボタン"));
  pauseBtn =
      addButton(commandBar, "SpeedButton1", QStringLiteral("❚❚"), QStringLiteral("一時停止ボタン"));
  MotRunBtn = addButton(commandBar, "MotRunBtn", QStringLiteral("▶"), QStringLiteral("再生ボタン"));

  toolsBar = makeBar("ToolsMenu", QStringLiteral("Tools"));
  HomeBtn =
      addButton(toolsBar, "HomeBtn", QStringLiteral("トリム"), QStringLiteral("トリム調整ボタン"));
  OptionBtn = addButton(toolsBar, "OptionBtn", QStringLiteral("オプション"),
                        QStringLiteral("オプションボタン"));
  AdBtn =
      addButton(toolsBar, "AdBtn", QStringLiteral("アナログ"), QStringLiteral("アナログボタン"));
  QVSBtn = addButton(toolsBar, "QVSBtn", QStringLiteral("QVS"), QStringLiteral("ＱＶＳボタン"));
  receiverBtn =
      addButton(toolsBar, "OptionMenu3", QStringLiteral("受信機"), QStringLiteral("受信機ボタン"));
  TableBtn =
      addButton(toolsBar, "TableBtn", QStringLiteral("テーブル"), QStringLiteral("テーブルボタン"));

  commBar = makeBar("CommMenu", QStringLiteral("COMM"));
  Sync = new QCheckBox(QStringLiteral("SYNC"), commBar);
  Sync->setObjectName(QStringLiteral("Sync"));
  Sync->setToolTip(QStringLiteral("シンクロスイッチ"));
  commBar->addControl(Sync);
  CommPort = new QComboBox(commBar);
  CommPort->setObjectName(QStringLiteral("CommPort"));
  CommPort->setToolTip(QStringLiteral("シリアルポートメニュー"));
  CommPort->addItem(QStringLiteral("OFF"));
  for (int n = 1; n <= kMaxComPort; ++n) CommPort->addItem(QStringLiteral("COM%1").arg(n));
  CommPort->setCurrentIndex(0);
  commBar->addControl(CommPort);
  // Choosing from the list, even the port already chosen, reopens it.
  connect(CommPort, &QComboBox::activated, this, &TPivora3::CommPortCloseUp);

  statusLineBar = makeBar("StatusMenu", QStringLiteral("STATUS"));
  statusLine = new QLineEdit(statusLineBar);
  statusLine->setObjectName(QStringLiteral("Edit2"));
  statusLine->setToolTip(QStringLiteral("ステータス"));
  statusLine->setReadOnly(true);
  statusLine->setFocusPolicy(Qt::NoFocus);
  statusLine->setMinimumWidth(kStatusLineMinWidth);
  statusLine->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  statusLine->setStyleSheet(
      QStringLiteral("QLineEdit { color: lime; background-color: navy; font-weight: bold; }"));
  statusLine->setFont(statusLineFont(statusLine->font()));
  statusLineBar->addControl(statusLine);
  // The status line takes what its row leaves over.
  statusLineBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void TPivora3::buildPages() {
  pages = new QTabWidget(this);
  pages->setObjectName(QStringLiteral("PageControl1"));

  editPage = new QWidget;
  editPage->setObjectName(QStringLiteral("Sheet1"));
  canvasScroll = new QScrollArea(editPage);
  canvasScroll->setObjectName(QStringLiteral("ScrollBox1"));
  canvasScroll->setWidgetResizable(false);
  canvasScroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  canvas = new ChartCanvas(chart_, ui_, canvasScroll);
  canvas->setObjectName(QStringLiteral("Image1"));
  canvasScroll->setWidget(canvas);
  auto* sheet1Layout = new QVBoxLayout(editPage);
  sheet1Layout->setContentsMargins(0, 0, 0, 0);
  sheet1Layout->addWidget(canvasScroll);
  connect(canvas, &ChartCanvas::mousePositionChanged, this, &TPivora3::Image1MouseMoved);
  connect(canvas, &ChartCanvas::editBoundary, this, &TPivora3::recordChange);
  connect(canvas, &ChartCanvas::toolModeChanged, this, &TPivora3::Image1ToolModeChanged);

  listPage = new QWidget;
  listPage->setObjectName(QStringLiteral("Sheet2"));
  dumpView = new QListWidget(listPage);
  dumpView->setObjectName(QStringLiteral("Vlb"));
  dumpView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  dumpView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* sheet2Layout = new QVBoxLayout(listPage);
  sheet2Layout->setContentsMargins(0, 0, 0, 0);
  sheet2Layout->addWidget(dumpView);

  // The listing lives on a tab the user never sees; the compiler fills it.
  listingPage = new QWidget;
  listingPage->setObjectName(QStringLiteral("Sheet3"));
  listingView = new QTreeWidget(listingPage);
  listingView->setObjectName(QStringLiteral("List"));
  listingView->setColumnCount(kListColumns);
  listingView->setRootIsDecorated(false);
  listingView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  auto* sheet3Layout = new QVBoxLayout(listingPage);
  sheet3Layout->setContentsMargins(0, 0, 0, 0);
  sheet3Layout->addWidget(listingView);

  pages->addTab(editPage, QString());
  pages->addTab(listPage, QStringLiteral("LIST"));
  const int hidden = pages->addTab(listingPage, QStringLiteral("LISTING"));
  pages->setTabVisible(hidden, false);

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("MainArea"));
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->setSpacing(0);
  centralLayout->addWidget(toolBarArea);
  centralLayout->addWidget(pages, 1);
  setCentralWidget(central);
}

void TPivora3::buildStatusBar() {
  statusPanels = new QStatusBar(this);
  statusPanels->setObjectName(QStringLiteral("StaBar"));
  statusPanels->setSizeGripEnabled(true);
  // The widest text each panel shows: the mouse position on the largest canvas, the board state.
  const QStringList widest[3] = {
      {QStringLiteral("X = 8888  Y = 8888")},
      {QString::fromUtf8(kStateSleeping), QString::fromUtf8(kStateRunning)},
      {}};
  for (int i = 0; i < 3; ++i) {
    QLabel* panel = new QLabel(statusPanels);
    panels_[i] = panel;
    panel->setObjectName(QStringLiteral("StaBarPanel%1").arg(i));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // At least the nominal width, and room for the text besides the frame and the label's indent
    // ("Y = 100" lost its last digit at 100 pixels).
    const QFontMetrics metrics(panel->font());
    int needed = 0;
    for (const QString& text : widest[i])
      needed = std::max(needed, metrics.horizontalAdvance(text));
    if (needed > 0)
      needed += 2 * panel->frameWidth() + 2 * metrics.horizontalAdvance(QLatin1Char('x'));
    panel->setFixedWidth(std::max(kPanelWidths[i], needed));
    statusPanels->addWidget(panel);
  }
  setStatusBar(statusPanels);
}

std::string TPivora3::settingsPath() const {
  return mainSettingsPath(settingsFolder());
}

void TPivora3::readSettings() {
  settings_ = readMainSettings(settingsPath());
  GridSw->setChecked(settings_.grid);
  // The stored steps hold for the whole run; they are not overridden by a fixed
  // 10 x 10.
  canvas->editor().setGrid(settings_.grid, settings_.gridWidth, settings_.gridHeight);
  CommPort->setCurrentIndex(settings_.commPort);
}

bool TPivora3::writeSettings() {
  settings_.grid = GridSw->isChecked();
  settings_.gridWidth = canvas->editor().gridStepX();
  settings_.gridHeight = canvas->editor().gridStepY();
  settings_.commPort = std::max(CommPort->currentIndex(), 0);
  return writeMainSettings(settingsPath(), settings_);
}

void TPivora3::showStatus(const std::string& message) {
  ui_.showStatus(message);
}

QString TPivora3::panelText(int panel) const {
  return panel >= 0 && panel < 3 ? panels_[panel]->text() : QString();
}

void TPivora3::updateEditCaption() {
  pages->setTabText(0, QStringLiteral("EDIT ") + QString::fromStdString(chart_.Name));
}

void TPivora3::openChart(const std::string& path) {
  // What changed before is a step of its own.
  recordChange();
  const bool wasEmpty = chart_.items.empty() && chart_.links.empty();
  const std::uint64_t generation = chart_.generation.value();
  // The reader sizes the canvas from the client area the window has now, whatever the user made
  // of it (resized, maximised).
  ClientArea client{width(), height()};
  const ClientArea before = client;
  const OpenOutcome outcome = openFile(chart_, client, path, ui_);
  // A chart wider or taller than the canvas widens the window to hold it.
  if (client.width != before.width || client.height != before.height)
    growWindow(QSize(client.width, client.height));
  if (outcome.opened) canvas->setCanvasSize(chart_.Width, chart_.Height);
  // A chart file read into an empty chart, or replacing it, is what that file holds: the chart
  // now belongs to it. Added to a chart, it only changes that chart.
  const int kind = outcome.opened ? probeFile(path) : kProbeUnusable;
  const bool chartFile = kind == kProbeMotionChart || kind == kProbeScenarioChart;
  const std::string absolute =
      QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
  if (chartFile) {
    const bool replaced = wasEmpty || chart_.generation.value() != generation;
    if (history_.commitOpened(absolute, replaced)) startAutosaveTimer();
    rememberFile(absolute);
  } else if (history_.commit()) {
    startAutosaveTimer();
  }
  updateEditCaption();
  updateChartState();
  canvas->redraw();
}

void TPivora3::growWindow(QSize wanted) {
  if (isMaximized() || isFullScreen()) return;  // as large as the screen lets it already
  const QScreen* shownOn = screen();
  if (!shownOn) {
    resize(size().expandedTo(wanted));
    return;
  }
  const QRect available = shownOn->availableGeometry();
  const QRect frame = frameGeometry();
  const QRect inner = geometry();
  const QMargins frameMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                              frame.right() - inner.right(), frame.bottom() - inner.bottom());
  resize(grownClientSize(size(), wanted, available, frameMargins));
  // The grown frame stays on the screen, status bar included.
  if (isVisible()) move(keptOnScreen(frameGeometry().topLeft(), frameGeometry().size(), available));
}

void TPivora3::openDroppedFile(const std::string& path) {
  openChart(path);
}

void TPivora3::openHandedOverFile(const QString& path) {
  bringToFront();
  openDroppedFile(path.toStdString());
}

void TPivora3::bringToFront() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

void TPivora3::hideOnActivation(QWidget* window) {
  hiddenOnActivation_.emplace_back(window);
}

QSize TPivora3::canvasSize() const {
  return QSize(chart_.Width, chart_.Height);
}

void TPivora3::setCanvasSize(int width, int height) {
  canvas->setCanvasSize(width, height);
}

int TPivora3::gridStepX() const {
  return canvas->editor().gridStepX();
}

int TPivora3::gridStepY() const {
  return canvas->editor().gridStepY();
}

void TPivora3::setGridSteps(int stepX, int stepY) {
  ChartEditor& editor = canvas->editor();
  editor.setGrid(editor.gridOn(), stepX, stepY);
}

bool TPivora3::toolBarShown(const QString& name) const {
  const QWidget* bar = findChild<QWidget*>(name);
  return bar && !bar->isHidden();
}

void TPivora3::showToolBar(const QString& name, bool shown) {
  if (QWidget* bar = findChild<QWidget*>(name)) bar->setVisible(shown);
}

QString TPivora3::askChartPath(bool save, QString* selectedFilter) {
  QFileDialog dialog(this);
  dialog.setObjectName(save ? QStringLiteral("SaveDialog") : QStringLiteral("OpenDialog"));
  // The toolkit's own dialog matches "*.VLB" without regard to case, so "wave.vlb" shows too.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({kChartFilter, kAllFilter});
  dialog.selectNameFilter(kChartFilter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // Overwriting is asked about after the chart filter has fixed the extension.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
  return dialog.selectedFiles().first();
}

void TPivora3::OpenBtnClick() {
  // The click that closes the file dialog must not reach the canvas.
  canvas->editor().setToolMode(kToolIgnoreNext);
  const QString path = askChartPath(false, nullptr);
  if (path.isEmpty()) return;
  openChart(path.toStdString());
}

void TPivora3::SaveBtnClick() {
  QString filter;
  const QString chosen = askChartPath(true, &filter);
  if (chosen.isEmpty()) return;
  const bool chartFilter = filter == kChartFilter;
  // Asked about the file really written: "walk" becomes "walk.VLB" under the chart filter.
  const std::string path = chartSavePath(chosen.toStdString(), chartFilter);
  const QString shown = QString::fromStdString(path);
  const QString question =
      QFileInfo::exists(shown)
          ? QStringLiteral("%1 は既に存在します。\n上書きしますか？").arg(shown)
          : QStringLiteral("%1 は存在しません。\n作成しますか？").arg(shown);
  if (ShowMessageBox(kMsgQuestion, kBtnYesNo, question.toStdString(), this) != kIdYes) return;
  std::string written;
  if (!saveChart(chart_, path, false, ui_, &written)) return;
  const std::string absolute =
      QFileInfo(QString::fromStdString(written)).absoluteFilePath().toStdString();
  history_.markSaved(absolute);
  rememberFile(absolute);
  updateChartState();
}

void TPivora3::ExitBtnClick() {
  close();
}

void TPivora3::ToolBtnClick(int tag) {
  if (QAction* button = toolButton(tag)) button->setChecked(true);
  canvas->editor().setToolMode(tag);
  canvas->redraw();
}

void TPivora3::UndoBtnClick() {
  if (history_.undo()) showHistoryMove();
  updateChartState();
}

void TPivora3::RedoBtnClick() {
  if (history_.redo()) showHistoryMove();
  updateChartState();
}

void TPivora3::showHistoryMove() {
  updateEditCaption();
  canvas->redraw();
  startAutosaveTimer();
}

void TPivora3::recordChange() {
  if (history_.commit()) startAutosaveTimer();
  updateChartState();
}

void TPivora3::updateChartState() {
  const bool modified = history_.modified();
  const QString file = QString::fromStdString(history_.filePath());
  QString name = file.isEmpty() ? QString() : QFileInfo(file).fileName();
  if (name.isEmpty() && modified) name = QString::fromUtf8(kUntitledFile);
  const QString program = QString::fromUtf8(kAppTitle);
  ui_.setTitle(name.isEmpty() ? program
                              : name + (modified ? QStringLiteral("*") : QString()) +
                                    QStringLiteral(" - ") + program);
  UndoBtn->setEnabled(history_.canUndo());
  RedoBtn->setEnabled(history_.canRedo());
}

void TPivora3::startAutosaveTimer() {
  if (!autosaveTimer->isActive()) autosaveTimer->start();
}

void TPivora3::autosaveNow() {
  if (!autosave_ || shutDown_) return;
  // A write that failed since the last autosave is told once.
  const std::uint64_t finished = autosave_->finished();
  if (finished != toldAutosaveFailure_ && !autosave_->lastResult().ok()) {
    toldAutosaveFailure_ = finished;
    showStatus("自動保存できません: " + autosave_->lastResult().message());
  }
  if (!history_.modified()) return;  // nothing that a file does not hold already
  const bool pending = history_.pending();
  if (!pending && history_.stateId() == autosavedState_) return;
  autosave_->save(chart_);
  autosavedState_ = pending ? 0 : history_.stateId();
}

bool TPivora3::offerRecovery() {
  const std::optional<LeftAutosave> left = findLeftAutosave(autosave_->folder());
  if (!left) return false;
  if (ShowMessageBox(kMsgQuestion, kBtnYesNo, recoveryQuestion(left->savedAt), this) == kIdYes) {
    recordChange();
    Chart recovered;
    ClientArea client{width(), height()};
    const ClientArea before = client;
    if (readChartFile(recovered, client, left->path, ui_).opened) {
      // The chart is replaced as a whole and belongs to no file: it must be saved to be kept.
      chart_.clear();
      applyHeader(chart_, headerOf(recovered));
      chart_.items = std::move(recovered.items);
      chart_.links = std::move(recovered.links);
      if (client.width != before.width || client.height != before.height)
        growWindow(QSize(client.width, client.height));
      canvas->setCanvasSize(chart_.Width, chart_.Height);
      history_.commitAs(std::string());
      autosavedState_ = history_.stateId();  // the file holds this chart already
      startAutosaveTimer();
      updateEditCaption();
      updateChartState();
      canvas->redraw();
      showStatus("前回の編集内容を復元しました");
      return true;
    }
  }
  const Result<std::string> kept = setAutosaveAside(autosave_->folder(), *left);
  showStatus(kept.ok() ? "前回の編集内容を " + kept.value() + " に残しました"
                       : "前回の編集内容を移せません: " + kept.message());
  return false;
}

void TPivora3::rememberFile(const std::string& path) {
  recent_.add(path);
  recent_.save(RecentCharts::defaultPath());  // a list that cannot be kept is no reason to stop
  addToDesktopRecentList(QString::fromStdString(path), desktopRecentListPath());
  rebuildRecentMenu();
}

void TPivora3::rebuildRecentMenu() {
  recentMenu->clear();
  if (recent_.paths().empty()) {
    recentMenu->addAction(QStringLiteral("（最近使ったファイルはありません）"))->setEnabled(false);
    return;
  }
  for (const std::string& path : recent_.paths()) {
    const QString file = QString::fromStdString(path);
    QString caption = QFileInfo(file).fileName();
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* entry = recentMenu->addAction(caption);
    entry->setToolTip(file);
    entry->setStatusTip(file);
    entry->setData(file);
    connect(entry, &QAction::triggered, this, [this, file] { openRecent(file); });
  }
}

void TPivora3::openRecent(const QString& path) {
  if (!QFileInfo::exists(path)) {
    // Gone since: off the list; opening still says that the file cannot be used.
    recent_.remove(path.toStdString());
    recent_.save(RecentCharts::defaultPath());
    rebuildRecentMenu();
  }
  openChart(path.toStdString());
}

void TPivora3::buildZoomControl() {
  zoomButton = new QToolButton(statusPanels);
  zoomButton->setObjectName(QStringLiteral("ZoomBtn"));
  zoomButton->setToolTip(QStringLiteral("表示倍率 (Ctrl+ホイール, Ctrl++, Ctrl+-, Ctrl+0)"));
  zoomButton->setAutoRaise(true);
  zoomButton->setFocusPolicy(Qt::NoFocus);
  zoomButton->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(zoomButton);
  menu->setObjectName(QStringLiteral("ZoomMenu"));
  for (int percent : kZoomMenuPercent) {
    QAction* entry = menu->addAction(QStringLiteral("%1%").arg(percent));
    connect(entry, &QAction::triggered, this,
            [this, percent] { canvas->setZoom(percent / 100.0); });
  }
  menu->addSeparator();
  QAction* fit = menu->addAction(QStringLiteral("全体表示"));
  fit->setObjectName(QStringLiteral("FitChartMenu"));
  connect(fit, &QAction::triggered, this, &TPivora3::fitChart);
  zoomButton->setMenu(menu);
  const auto show = [this](double zoom) {
    zoomButton->setText(QStringLiteral("%1%").arg(static_cast<int>(std::lround(zoom * 100))));
  };
  show(canvas->zoom());
  connect(canvas, &ChartCanvas::zoomChanged, this, show);
  statusPanels->addPermanentWidget(zoomButton);
}

void TPivora3::zoomIn() {
  canvas->zoomIn();
}

void TPivora3::zoomOut() {
  canvas->zoomOut();
}

void TPivora3::zoomReset() {
  canvas->setZoom(1.0);
}

void TPivora3::fitChart() {
  canvas->setZoom(canvas->fitZoom(canvasScroll->viewport()->size()));
}

QString TPivora3::quitQuestion() const {
  return QString::fromUtf8(history_.modified() ? kQuitQuestionUnsaved : kQuitQuestion);
}

bool TPivora3::editorSessionOpen() const {
  return std::any_of(hiddenOnActivation_.begin(), hiddenOnActivation_.end(),
                     [](const QPointer<QWidget>& w) { return w && w->isVisible(); });
}

void TPivora3::idleCheckpoint() {
  if (!checkpointWanted_ || shutDown_) return;
  // Not inside a modal dialog or menu, not while a drag goes on or the board is talked to: the
  // action that runs then has not finished changing the chart. The check comes again when the
  // event loop next waits.
  if (QThread::currentThread()->loopLevel() > 1) return;
  if (QGuiApplication::mouseButtons() != Qt::NoButton) return;
  if (link_ && link_->exchanging()) return;
  checkpointWanted_ = false;
  if (editorSessionOpen()) {
    // An open item editor's changes become one step when it hides; the title shows them now.
    if (history_.pending()) startAutosaveTimer();
    updateChartState();
    return;
  }
  recordChange();
}

QAction* TPivora3::toolButton(int tag) const {
  for (QAction* a : ToolGroup->actions()) {
    if (a->data().toInt() == tag) return a;
  }
  return nullptr;
}

void TPivora3::GridSwClick() {
  ChartEditor& editor = canvas->editor();
  editor.setGrid(GridSw->isChecked(), editor.gridStepX(), editor.gridStepY());
}

void TPivora3::CommPortCloseUp() {
  link_->OpenBoardPort(*opener_, std::max(CommPort->currentIndex(), 0));
}

void TPivora3::CommX1Receive(std::int32_t receiveSize) {
  if (receiveSize > 0) messages_.CommX1Receive(*serialPort, static_cast<std::size_t>(receiveSize));
}

void QtMainThreadDispatcher::post(std::function<void()> call) {
  QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
}

void TPivora3::buildBoardLink() {
  dispatcher_ = std::make_unique<QtMainThreadDispatcher>(this);
  serialPort = std::make_unique<TCommX>(dispatcher_.get());
  configureBoardLine(*serialPort);
  serialPort->OnReceive = [this](TCustomCommX&, std::int32_t size) { CommX1Receive(size); };
  opener_ = std::make_unique<CommXOpener>(*serialPort);
  link_ = std::make_unique<BoardLink>(*serialPort, ui_);
  link_->onClearReceiveBuffer = [this] { messages_.clear(); };
  messages_.showStatus = [this](const std::string& text) { showStatus(text); };
}

void TPivora3::Image1MouseMoved(int x, int y) {
  panels_[0]->setText(QStringLiteral("X = %1  Y = %2").arg(x).arg(y));
}

void TPivora3::Image1ToolModeChanged(int mode) {
  if (QAction* button = toolButton(mode)) button->setChecked(true);
}

bool TPivora3::handleKey(int key, Qt::KeyboardModifiers modifiers) {
  ChartEditor& editor = canvas->editor();
  const Qt::KeyboardModifiers mods = significant(modifiers);
  const bool ctrl = mods == Qt::ControlModifier;
  const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
  // Undo, redo and zoom; "+" needs Shift on many keyboards.
  if (ctrl && key == Qt::Key_Z) {
    UndoBtnClick();
    return true;
  }
  if ((ctrlShift && key == Qt::Key_Z) || (ctrl && key == Qt::Key_Y)) {
    RedoBtnClick();
    return true;
  }
  if ((ctrl || ctrlShift) && (key == Qt::Key_Plus || key == Qt::Key_Equal)) {
    zoomIn();
    return true;
  }
  if (ctrl && key == Qt::Key_Minus) {
    zoomOut();
    return true;
  }
  if (ctrl && key == Qt::Key_0) {
    zoomReset();
    return true;
  }
  if (mods != Qt::NoModifier && mods != Qt::ControlModifier) return false;
  recordChange();  // what changed before the key is a step of its own
  if (mods == Qt::NoModifier && key == Qt::Key_Escape) {
    editor.escapeKey();
    SelectBtn->setChecked(true);
  } else if (mods == Qt::NoModifier && key == Qt::Key_Delete) {
    if (editor.toolMode() == kToolSelect) editor.deleteKey();
  } else if (ctrl && key == Qt::Key_C) {
    editor.copy();
  } else if (ctrl && key == Qt::Key_V) {
    editor.paste();
  }
  canvas->redraw();
  recordChange();
  return true;
}

bool TPivora3::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
    case QEvent::Drop:
    case QEvent::Hide:
    case QEvent::Close:
      // User input anywhere, or a window going: a change it made is recorded once it is done.
      checkpointWanted_ = true;
      if (!checkpointQueued_) {
        checkpointQueued_ = true;
        QTimer::singleShot(0, this, [this] {
          checkpointQueued_ = false;
          idleCheckpoint();
        });
      }
      break;
    default:
      break;
  }
  if (event->type() == QEvent::KeyRelease) {
    lastKey_ = nullptr;
  } else if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
             static_cast<QWidget*>(watched)->window() == this) {
    auto* key = static_cast<QKeyEvent*>(event);
    // An unaccepted key climbs the parent chain and passes this filter once per
    // widget.
    const bool seen =
        event == lastKey_ && key->key() == lastKeyCode_ && key->timestamp() == lastKeyTime_;
    if (!seen) {
      lastKey_ = event;
      lastKeyCode_ = key->key();
      lastKeyTime_ = key->timestamp();
      handleKey(key->key(), key->modifiers());
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TPivora3::closeEvent(QCloseEvent* event) {
  if (shutDown_) {
    event->accept();
    return;
  }
  if (ShowMessageBox(kMsgQuestion, kBtnYesNo, quitQuestion().toStdString(), this) != kIdYes) {
    event->ignore();
    return;
  }
  shutDown_ = true;
  emit shuttingDown();
  // Every other window closes with this one, whenever and by whom it was made, so nothing keeps
  // the program (and with it the port and the single-instance lock) alive.
  closeOtherWindows();
  shutdown();
  event->accept();
  // Ends the event loop even if a window was told not to count for the last-window rule; queued,
  // so it takes effect once this window has closed (and only while the loop runs).
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TPivora3::closeOtherWindows() {
  QList<QPointer<QWidget>> windows;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != this && w->isVisible()) windows.append(w);
  for (const QPointer<QWidget>& w : windows) {
    if (!w || !w->isVisible()) continue;  // gone with a window closed before it
    if (!w->close() && w) w->hide();      // one that refuses still goes out of sight
  }
}

void TPivora3::shutdown() {
  if (!shutDown_) {
    shutDown_ = true;
    emit shuttingDown();
  }
  writeSettings();
  // A normal end: the autosave is not needed at the next start.
  autosaveTimer->stop();
  autosave_->stop();
  removeAutosave(autosave_->folder());
  serialPort->Close();  // joins the port's threads
  // Whatever the threads posted before they stopped is handled (or dropped) now.
  QCoreApplication::processEvents();
}

void TPivora3::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    for (const QPointer<QWidget>& w : hiddenOnActivation_) {
      if (w && w->isVisible()) w->hide();
    }
  }
  QMainWindow::changeEvent(event);
}

void TPivora3::dragEnterEvent(QDragEnterEvent* event) {
  // Only a drop that names a file here can be opened.
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void TPivora3::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;
  event->acceptProposedAction();
  // The whole path: a path cut short would name another file.
  openDroppedFile(urls.first().toLocalFile().toStdString());
}

}  // namespace pvrj
