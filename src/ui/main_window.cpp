#include "ui/main_window.h"

#include <QApplication>
#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <set>
#include <cmath>

#include "core/analysis.h"
#include "core/document_ops.h"
#include "core/edit_dialogs.h"
#include "core/edit_ops.h"
#include "core/gain.h"
#include "core/insert_ops.h"
#include "core/messages.h"
#include "core/mpeg_header.h"
#include "output/raw_view.h"
#include "output/save.h"
#include "output/split.h"
#include "script/reader.h"
#include "ui/legend_window.h"
#include "ui/message_windows.h"
#include "ui/progress_area.h"
#include "ui/shell_menus.h"  // Options, Scripts, recent files, close all, about
#include "ui/strip_widgets.h"
#include "core/tag_editing.h"
#include "ui/accessible_widgets.h"
#include "ui/id3v1_editor_window.h"
#include "ui/window_manners.h"
#include "tags/id3v2_catalogue.h"
#include "ui/encoding_dialog.h"
#include "ui/id3v2_editor_window.h"
#include "ui/transfer_dialog.h"
#include "ui/image_window.h"
#include "output/field_contents.h"
#include "app/close_commands.h"
#include "app/enqueue_menu.h"
#include "app/options_menu.h"
#include "view/availability.h"
#include "view/info_texts.h"
#include "view/strip_model.h"
#include "view/view_state.h"

namespace quorvel {

namespace {

constexpr int kClientWidth = 576;
constexpr int kClientHeight = 408;
constexpr int kRefreshInterval = 937;
constexpr int kPositionBoxLength = 13;
constexpr int kStartErrorDelay = 250;

const char* const kDropNoteText =
    "Drag & drop is enabled for a single file only.\r\nOnly the first file from the group was processed.";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

void SetHint(QWidget* w, const char* hint) {
  QString text = DisplayText(hint);
  w->setToolTip(text);
  w->setToolTipDuration(HintDuration(text));
}

// A caption as it shows: without the mnemonic marks, "&&" as one '&'.
QString ShownCaption(const QString& caption) {
  QString s = caption;
  s.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  s.remove(QLatin1Char('&'));
  s.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return s;
}

// A control's accessible name: its caption without the mnemonic marks, or its hint.
QString AccessibleCaption(const QString& caption) { return ShownCaption(caption).trimmed(); }

// Gives `w` the largest font, from `base` down in half points, at which each of
// `texts` is at most `room` pixels wide. A widget whose texts fit at `base`
// inherits its font again when `inherit` is set. Fixed geometry leaves the
// long values of a long file (six-digit frame counts, "299 min 58.367 sec")
// no other way to show in full.
void FitFont(QWidget* w, const QFont& base, const QStringList& texts, int room, bool inherit) {
  auto widest = [&](const QFont& font) {
    QFontMetrics fm(font);
    int most = 0;
    for (const QString& t : texts) most = std::max(most, fm.horizontalAdvance(t));
    return most;
  };
  if (widest(base) <= room) {
    w->setFont(inherit ? QFont() : base);
    return;
  }
  QFont font = base;
  bool points = base.pointSizeF() > 0;
  double size = points ? base.pointSizeF() : base.pixelSize();
  double smallest = size / 2;
  double step = points ? 0.5 : 1.0;
  while (size - step >= smallest) {
    size -= step;
    if (points) {
      font.setPointSizeF(size);
    } else {
      font.setPixelSize(static_cast<int>(size));
    }
    if (widest(font) <= room) break;
  }
  w->setFont(font);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), host_(this, ctx_, shell_), ctx_(host_), player_(shell_) {
  setWindowTitle(QStringLiteral(" Quorvel"));
  setObjectName(QStringLiteral("TMainForm"));
  setAcceptDrops(true);
  ctx_.doc.editCount = 0;
  WireContext(ctx_, player_, FrontEnd::kWindow);

  host_.start();
  host_.setDisplay({[this](bool busy) { showBusy(busy); },
                    [this](const std::string& operation) { showOperation(operation); },
                    [this](double fraction) { progress_->setProgress(fraction); },
                    [this](Changes what) { changed(what); }, [this] { closeTagWindows(); },
                    [this] { return applyTagEdits(); }});

  buildActions();
  buildMenus();
  buildCentral();
  defineToolWindows();
  new ShellMenus(*this);  // Options, Scripts, recent files, close all instances, about (owned by the window)

  refreshTimer_.setInterval(kRefreshInterval);
  connect(&refreshTimer_, &QTimer::timeout, this, &MainWindow::refreshCommands);
  refreshTimer_.start();
  connect(&stepTimer_, &QTimer::timeout, this, &MainWindow::stepTick);
  startErrorTimer_.setSingleShot(true);
  startErrorTimer_.setInterval(kStartErrorDelay);
  connect(&startErrorTimer_, &QTimer::timeout, this, &MainWindow::startErrorDue);

  refreshAll();
}

MainWindow::~MainWindow() {
  // The input guard asks this window's state: it goes before the members do.
  delete clientGuard_;
  clientGuard_ = nullptr;
  refreshTimer_.stop();
  stepTimer_.stop();
  startErrorTimer_.stop();
  // Every control and window of the program reads the context: they go while
  // it exists, not after the members, when the base class deletes its children.
  host_.stop();
  host_.setDisplay({});  // nothing of this window is shown any more
  const QObjectList children = this->children();
  for (QObject* child : children) {
    if (child->isWidgetType()) delete child;
  }
}

void MainWindow::updateEnqueueItems() {
  std::vector<EnqueueMenuItem> items = EnqueueMenuOnOpen(player_, ctx_);
  if (enqueueSeparator_ != nullptr) enqueueSeparator_->setVisible(!items.empty());
  for (QAction* a : enqueueActions_) a->setVisible(false);
  for (const EnqueueMenuItem& item : items) {
    QAction* a = enqueueActions_[static_cast<size_t>(item.item)];
    a->setText(Q(item.state.caption));
    a->setEnabled(item.state.enabled && !busy());
    a->setVisible(true);
  }
}

void MainWindow::buildActions() {
  for (const CommandSpec& c : CommandTable()) {
    auto* a = new QAction(this);
    a->setObjectName(QString::fromUtf8(c.name));
    if (*c.menuCaption != '\0') {
      a->setText(MenuText(c.menuCaption));
    } else {
      a->setText(QString::fromUtf8(c.name));
    }
    if (!c.key.isEmpty()) {
      a->setShortcut(c.key);
      a->setShortcutContext(Qt::WindowShortcut);
      a->setAutoRepeat((c.flags & kAutoRepeatKey) != 0);
    }
    addAction(a);
    const CommandSpec* row = &c;
    connect(a, &QAction::triggered, this, [this, row] { run(*row); });
    actions_[c.command] = a;
  }
}

void MainWindow::buildMenus() {
  fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
  editMenu_ = menuBar()->addMenu(QStringLiteral("Edit"));
  playMenu_ = menuBar()->addMenu(QStringLiteral("Play"));
  helpMenu_ = menuBar()->addMenu(QStringLiteral("&Help"));
  for (QMenu* m : {fileMenu_, editMenu_, playMenu_, helpMenu_}) m->setAccessibleName(AccessibleCaption(m->title()));
  for (const CommandSpec& c : CommandTable()) {
    if (c.menu == UiMenu::kPlay) playMenu_->addAction(actions_.at(c.command));
  }
  enqueueSeparator_ = playMenu_->addSeparator();
  const std::array<EnqueueItem, 3> enqueue = {EnqueueItem::kInput, EnqueueItem::kPreview, EnqueueItem::kOutput};
  const std::array<const char*, 3> enqueueNames = {"enqueueInput", "enqueuePreview", "enqueueOutput"};
  for (size_t i = 0; i < enqueue.size(); ++i) {
    auto* a = playMenu_->addAction(QString());
    a->setObjectName(QString::fromUtf8(enqueueNames[i]));
    EnqueueItem item = enqueue[i];
    connect(a, &QAction::triggered, this, [this, item] {
      if (userCommandsRefused()) return;
      EnqueueClick(player_, ctx_, item);
      refreshCommands();
    });
    enqueueActions_[i] = a;
  }
  connect(playMenu_, &QMenu::aboutToShow, this, &MainWindow::updateEnqueueItems);
  const std::map<UiMenu, QMenu*> menus = {
      {UiMenu::kFile, fileMenu_}, {UiMenu::kEdit, editMenu_}, {UiMenu::kHelp, helpMenu_}};
  for (const CommandSpec& c : CommandTable()) {
    auto menu = menus.find(c.menu);
    if (menu == menus.end()) continue;  // no menu item, or the Play menu above
    if ((c.flags & kSeparatorBefore) != 0) menu->second->addSeparator();
    menu->second->addAction(actions_.at(c.command));
  }
}

QPushButton* MainWindow::commandButton(Command id, QWidget* parent, QRect geometry) {
  const CommandSpec& c = *FindCommand(id);
  auto* b = new QPushButton(QString::fromUtf8(c.buttonCaption), parent);
  b->setObjectName(QString::fromUtf8(c.name) + QStringLiteral("Button"));
  b->setGeometry(geometry);
  b->setFocusPolicy(Qt::TabFocus);
  // The action owns the key: a button mnemonic equal to it would make both silent.
  if (!c.key.isEmpty()) b->setShortcut(QKeySequence());
  if (*c.hint != '\0') SetHint(b, c.hint);
  b->setAccessibleName(AccessibleCaption(b->text()));
  b->installEventFilter(this);
  QAction* a = actions_.at(id);
  connect(b, &QPushButton::clicked, a, &QAction::trigger);
  connect(a, &QAction::enabledChanged, b, &QPushButton::setEnabled);
  b->setEnabled(a->isEnabled());
  buttons_[id] = b;
  return b;
}

namespace {
// While an operation or a script runs, the client area takes no mouse, wheel,
// key or drop input (the remove boxes, the strip, the scroll bar, the
// statistics list, the position boxes): the running operation reads the
// document as it stood. The progress area and Esc stay live.
class ClientAreaGuard : public QObject {
 public:
  ClientAreaGuard(QWidget* client, std::function<bool()> refused, std::function<QWidget*()> live, QObject* parent)
      : QObject(parent), client_(client), refused_(std::move(refused)), live_(std::move(live)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        break;
      default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || !refused_()) return false;
    if (widget != client_ && !client_->isAncestorOf(widget)) return false;
    QWidget* live = live_();
    if (live != nullptr && (widget == live || live->isAncestorOf(widget))) return false;
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
      return false;
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop)
      event->ignore();
    return true;
  }

 private:
  QWidget* client_;
  std::function<bool()> refused_;
  std::function<QWidget*()> live_;
};
}  // namespace

void MainWindow::buildCentral() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("client"));
  central->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(central);
  clientGuard_ = new ClientAreaGuard(
      central, [this] { return userCommandsRefused(); }, [this]() -> QWidget* { return progress_; }, central);
  qApp->installEventFilter(clientGuard_);
  qApp->installEventFilter(new ButtonManners(ctx_.options.displayFlags, central));
  InstallAccessibleValueWidgets();

  auto label = [&](const char* text, QRect g) {
    auto* l = new QLabel(QString::fromUtf8(text), central);
    l->setGeometry(g);
    l->setAccessibleName(AccessibleCaption(l->text()));
    return l;
  };
  label("Source:", {6, 4, 50, 16});
  label("Target:", {6, 22, 50, 16});
  sourcePath_ = label("", {58, 4, 420, 16});
  sourcePath_->setObjectName(QStringLiteral("sourcePath"));
  SetHint(sourcePath_,
          "Path to source (opened) file\r\nDouble-click to display full path, if it's too large to be visible");
  targetPath_ = label("", {58, 22, 420, 16});
  targetPath_->setObjectName(QStringLiteral("targetPath"));
  SetHint(targetPath_,
          "Path to target (saved) file\r\nDouble-click to display full path, if it's too large to be visible");
  for (QLabel* l : {sourcePath_, targetPath_}) l->setAccessibleName(AccessibleCaption(l->toolTip()));
  sourcePath_->installEventFilter(this);
  targetPath_->installEventFilter(this);

  commandButton(Command::kOpen, central, {6, 44, 64, 25});
  commandButton(Command::kReopen, central, {72, 44, 64, 25});
  commandButton(Command::kSaveAs, central, {138, 44, 64, 25});
  commandButton(Command::kQuickSave, central, {204, 44, 64, 25});

  label("input:", {6, 85, 90, 16})->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label("edited:", {6, 109, 90, 16})->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sourceInfo_ = label("No file loaded", {100, 83, 288, 20});
  sourceInfo_->setObjectName(QStringLiteral("sourceInfo"));
  SetHint(sourceInfo_, "Basic info about the source file");
  editInfo_ = label("", {100, 107, 288, 20});
  editInfo_->setObjectName(QStringLiteral("editInfo"));
  SetHint(editInfo_, "Basic info about the edited file");
  editInfo_->setAccessibleName(QStringLiteral("Basic info about the edited file"));
  sourceInfo_->installEventFilter(this);
  editInfo_->installEventFilter(this);
  progress_ = new ProgressArea(central);

  auto* playLabel = label("Play:", {392, 64, 86, 16});
  playLabel->setAlignment(Qt::AlignCenter);
  commandButton(Command::kPlayInput, central, {392, 82, 86, 23});
  commandButton(Command::kPlayOutput, central, {392, 106, 86, 23});
  commandButton(Command::kPlayPreview, central, {392, 130, 86, 23});
  commandButton(Command::kPlaySelection, central, {392, 154, 86, 23});
  // The column right of the play buttons: fades, silence, inserting and splitting.
  commandButton(Command::kFade, central, {484, 82, 86, 23});
  commandButton(Command::kSilence, central, {484, 106, 86, 23});
  commandButton(Command::kInsertFile, central, {484, 130, 86, 23});
  commandButton(Command::kSplit, central, {484, 154, 86, 23});

  stats_ = new QListWidget(central);
  stats_->setObjectName(QStringLiteral("statistics"));
  stats_->setGeometry(6, 133, 178, 104);
  stats_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  stats_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SetHint(stats_, "Right-click to switch between\r\nsource/input and edit/output stats");
  stats_->setAccessibleName(QStringLiteral("Right-click to switch between source/input and edit/output stats"));
  stats_->setContextMenuPolicy(Qt::CustomContextMenu);
  stats_->installEventFilter(this);
  connect(stats_, &QListWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("statisticsMenu"));
    std::array<QAction*, 2> items{};
    std::array<MenuItemState, 2> states = StatisticsMenuOnOpen(ctx_);
    for (size_t i = 0; i < states.size(); ++i) {
      items[i] = menu.addAction(Q(states[i].caption));
      items[i]->setCheckable(true);
      items[i]->setChecked(states[i].checked);
      items[i]->setEnabled(states[i].enabled);
    }
    QAction* chosen = menu.exec(stats_->mapToGlobal(at));
    if (chosen == nullptr) return;
    if (chosen == items[0]) {
      ShowInputStatsClick(ctx_);
    } else {
      ShowEditedStatsClick(ctx_);
    }
    if (ctx_.saveSettings) ctx_.saveSettings(ctx_);
  });

  commandButton(Command::kDelete, central, {188, 133, 64, 24});
  commandButton(Command::kCut, central, {254, 133, 64, 24});
  commandButton(Command::kCopy, central, {320, 133, 64, 24});
  commandButton(Command::kPaste, central, {188, 159, 64, 24});
  commandButton(Command::kTrim, central, {254, 159, 64, 24});
  commandButton(Command::kUndo, central, {320, 159, 64, 24});
  commandButton(Command::kSelectAll, central, {188, 185, 64, 24});
  commandButton(Command::kUnselect, central, {254, 185, 64, 24});
  commandButton(Command::kVolume, central, {320, 185, 64, 24});

  auto* group = new QGroupBox(QStringLiteral(" Check to remove, press to view/edit "), central);
  group->setGeometry(188, 212, 290, 64);
  group->setAccessibleName(AccessibleCaption(group->title()));
  struct RemoveBoxText {
    const char* caption;
    const char* hint;
    const char* viewer;  // empty: no viewer here
  };
  const std::array<RemoveBoxText, 6> removeBoxes = {{
      {"RIFF header", "You don't really need it, check to remove", ""},
      {"ID3v&2 tag", "Check to remove it", "Edit id3v2 tag"},
      {"Unknown header", "Data of unknown origin, check to remove", "View unknown header tag"},
      {"Unknown footer", "Data of unknown origin, check to remove", "view unknown footer tag"},
      {"L&yrics3 tag", "Check to remove it", "View lyrics3 tag (lyrics only)"},
      {"ID3v&1 tag", "Check to remove it", "Edit id3v1 tag"},
  }};
  for (size_t i = 0; i < removeBoxes.size(); ++i) {
    int col = static_cast<int>(i % 2);
    int row = static_cast<int>(i / 2);
    auto* box = new QCheckBox(QString::fromUtf8(removeBoxes[i].caption), group);
    box->setGeometry(6 + col * 142, 15 + row * 16, 122, 16);
    SetHint(box, removeBoxes[i].hint);
    box->setAccessibleName(AccessibleCaption(box->text()));
    removeBoxes_[i] = box;
    connect(box, &QCheckBox::toggled, this, [this, i](bool checked) {
      RemoveBoxes& b = ctx_.doc.boxes;
      std::array<RemoveBox*, 6> all = {&b.riff, &b.id3v2, &b.behindHeader, &b.footer, &b.lyrics, &b.id3v1};
      all[i]->checked = checked;
    });
    if (*removeBoxes[i].viewer != '\0') {
      auto* view = new QPushButton(QStringLiteral("..."), group);
      view->setGeometry(6 + col * 142 + 122, 15 + row * 16, 18, 16);
      SetHint(view, removeBoxes[i].viewer);
      view->setAccessibleName(QString::fromUtf8(removeBoxes[i].viewer));
      view->setFocusPolicy(Qt::TabFocus);
      viewButtons_[i] = view;
      // The box's accelerator does nothing while the box is disabled; for the
      // two tag boxes it then reaches the editor button, so that a file
      // without a tag can be given one from the keyboard.
      if (i == 1 || i == 5) {
        auto* key = new QShortcut(QKeySequence(i == 1 ? QStringLiteral("Alt+2") : QStringLiteral("Alt+1")), this);
        key->setEnabled(false);
        connect(key, &QShortcut::activated, view, [view] {
          if (view->isEnabled()) view->setFocus(Qt::ShortcutFocusReason);
        });
        viewKeys_[i] = key;
      }
      connect(view, &QPushButton::clicked, this, [this, i] {
        if (userCommandsRefused()) return;
        if (i == 1) openId3v2Editor();
        if (i == 2) ViewUnknownHeaderClick(ctx_);
        if (i == 3) ViewUnknownFooterClick(ctx_);
        if (i == 4) ViewLyrics3Click(ctx_);
        if (i == 5) openId3v1Editor();
      });
    }
  }

  for (int i = 0; i < 3; ++i) {
    timeLabels_[static_cast<size_t>(i)] = label("0.00 s", {0, 276, 90, 14});
    timeLabels_[static_cast<size_t>(i)]->setAlignment(Qt::AlignCenter);
    timeLabels_[static_cast<size_t>(i)]->setObjectName(QStringLiteral("timeLabel%1").arg(i));
  }
  strip_ = new StripWidget(ctx_, central);
  scroll_ = new ScrollWidget(ctx_, central);
  connect(strip_, &StripWidget::changed, this, [this] { changed(kChangedCursor | kChangedView); });
  connect(scroll_, &ScrollWidget::changed, this, [this] { changed(kChangedView); });
  connect(strip_, &StripWidget::frameInfoRequested, this, &MainWindow::showFrameInfo);

  // Position boxes with their step buttons: [-s][-f] box [+f][+s].
  const std::array<const char*, 2> boxLabels = {" Position &cursor: ", " Select up/do&wn to: "};
  const std::array<const char*, 2> boxHints = {"Type new cursor position here,\r\nthen press the Enter key",
                                               "Type new position of other end of selection,\r\nthen press the Enter key"};
  const std::array<const char*, 4> stepHints = {"Increase by one frame", "Increase by one second",
                                                "Decrease by one frame", "Decrease by one second"};
  for (int b = 0; b < 2; ++b) {
    int y = 352 + 26 * b;
    QLabel* l = label(boxLabels[static_cast<size_t>(b)], {2, y + 2, 122, 18});
    auto* box = new QLineEdit(central);
    box->setObjectName(b == 0 ? QStringLiteral("teditbox1") : QStringLiteral("teditbox2"));
    box->setGeometry(164, y, 96, 22);
    box->setMaxLength(kPositionBoxLength);
    SetHint(box, boxHints[static_cast<size_t>(b)]);
    box->setAccessibleName(AccessibleCaption(l->text()));
    l->setBuddy(box);
    box->installEventFilter(this);
    boxes_[static_cast<size_t>(b)] = box;
    connect(box, &QLineEdit::textEdited, this, [this, box](const QString& text) {
      double seconds = 0;
      bool bad = ParseTimeText(S(text), seconds);
      QPalette pal = box->palette();
      pal.setColor(QPalette::Text, bad ? QColor(Qt::red) : palette().color(QPalette::Text));
      box->setPalette(pal);
    });
    connect(box, &QLineEdit::returnPressed, this, [this, b] { applyBox(b); });
    // Buttons 0..3: +frame, +second, -frame, -second.
    const std::array<QRect, 4> places = {QRect(262, y, 18, 22), QRect(280, y, 18, 22), QRect(144, y, 18, 22),
                                         QRect(126, y, 18, 22)};
    const std::array<const char*, 4> texts = {"\u203A", "\u00BB", "\u2039", "\u00AB"};
    for (int k = 0; k < 4; ++k) {
      int index = 4 * b + k;
      auto* sb = new QToolButton(central);
      sb->setObjectName(QStringLiteral("cmsb%1").arg(index + 1));
      sb->setText(QString::fromUtf8(texts[static_cast<size_t>(k)]));
      sb->setGeometry(places[static_cast<size_t>(k)]);
      sb->setFocusPolicy(Qt::NoFocus);
      SetHint(sb, stepHints[static_cast<size_t>(k)]);
      sb->setAccessibleName(QString::fromUtf8(stepHints[static_cast<size_t>(k)]));
      connect(sb, &QToolButton::pressed, this, [this, index] {
        if (userCommandsRefused()) return;
        stepButton_ = index;
        step(index);
        stepRepeat_.start();
        stepTimer_.start(stepRepeat_.interval());
      });
      connect(sb, &QToolButton::released, this, [this] {
        stepTimer_.stop();
        stepRepeat_.stop();
        stepButton_ = -1;
      });
      stepButtons_[static_cast<size_t>(index)] = sb;
    }
  }
  selLabel_ = label("sel: 0.000", {304, 354, 96, 18});
  selLabel_->setObjectName(QStringLiteral("selectionLength"));
  SetHint(selLabel_, "Length of selection in seconds");
  selLabel_->setAccessibleName(QStringLiteral("Length of selection in seconds"));
  clear_ = new QPushButton(QStringLiteral("clear"), central);
  clear_->setObjectName(QStringLiteral("clearButton"));
  clear_->setGeometry(304, 378, 60, 22);
  clear_->setFocusPolicy(Qt::TabFocus);
  clear_->setAccessibleName(QStringLiteral("clear"));
  clear_->installEventFilter(this);
  connect(clear_, &QPushButton::clicked, actions_.at(Command::kUnselect), &QAction::trigger);
  connect(actions_.at(Command::kUnselect), &QAction::enabledChanged, clear_, &QPushButton::setEnabled);

  onScreen_ = label("on screen", {404, 354, 74, 18});
  onScreen_->setAlignment(Qt::AlignCenter);
  leftArrow_ = label("\u25C0", {404, 354, 16, 18});
  rightArrow_ = label("\u25B6", {462, 354, 16, 18});
  for (QLabel* a : {leftArrow_, rightArrow_}) {
    SetHint(a, "Where is the cursor?");
    a->setAccessibleName(QStringLiteral("Where is the cursor?"));
  }
  find_ = new QPushButton(QStringLiteral("fi&nd"), central);
  find_->setObjectName(QStringLiteral("findButton"));
  find_->setGeometry(422, 352, 38, 22);
  find_->setFocusPolicy(Qt::TabFocus);
  SetHint(find_, "Go to the cursor (change display offset)");
  find_->setAccessibleName(QStringLiteral("find"));
  find_->installEventFilter(this);
  connect(find_, &QPushButton::clicked, this, &MainWindow::find);

  fitCaptions();
  setFixedSize(sizeHint());
}

void MainWindow::fitCaptions() {
  QWidget* client = centralWidget();
  std::set<QLabel*> ownFit = {sourceInfo_, editInfo_, sourcePath_, targetPath_, selLabel_};
  for (QLabel* l : timeLabels_) ownFit.insert(l);
  for (QLabel* l : client->findChildren<QLabel*>()) {
    if (ownFit.count(l) != 0 || l->text().isEmpty()) continue;
    FitFont(l, l->parentWidget()->font(), {ShownCaption(l->text())}, l->contentsRect().width() - 2 * l->margin(),
            true);
  }
  for (QAbstractButton* b : client->findChildren<QAbstractButton*>()) {
    if (b->text().isEmpty()) continue;
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    int room = 0;
    if (qobject_cast<QCheckBox*>(b) != nullptr) {
      // A check box's caption starts right of its indicator and ends two pixels
      // short of the box's right edge, where a "..." button may stand.
      room = b->width() - b->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, b).left() - 2;
    } else {
      // A button centres its caption inside the bevel, clear of its frame.
      room = b->width() - 2 * (b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, b) + 1);
    }
    FitFont(b, b->parentWidget()->font(), {ShownCaption(b->text())}, room, true);
  }
  // The time labels under the strip take the width of their text around the
  // same centre.
  for (QLabel* l : timeLabels_) {
    int centre = l->x() + l->width() / 2;
    int w = std::max(40, l->fontMetrics().horizontalAdvance(l->text()) + 4);
    l->setGeometry(centre - w / 2, l->y(), w, l->height());
  }
}

void MainWindow::setStart(const StartState& state, const std::vector<std::string>& params) {
  start_ = state;
  params_ = params;
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Captions fitted to their controls are fitted again to the new font.
  if (event->type() == QEvent::FontChange && find_ != nullptr) {  // the client area is built
    fitCaptions();
    updateTexts();
    updateStatistics();
  }
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
    QTimer::singleShot(0, this, &MainWindow::firstActivation);
  }
}

void MainWindow::firstActivation() {
  if (activated_) return;
  activated_ = true;
  if (start_.startError == 0) {
    if (params_.size() == 1) {
      start_.calledWithFile = true;
      Loadfile(ctx_, params_[0]);
    }
  } else {
    startErrorTimer_.start();
  }
  refreshAll();
}

// The start error is reported a moment after the window first shows.
void MainWindow::startErrorDue() {
  startErrorTimer_.stop();
  if (start_.startError == 0) return;
  StartErrorReport report = StartErrorMessage(start_.startError);
  ReportMessage(ctx_, report.text, report.kind, report.caption);
  if (start_.startError == kStartEnvironmentUnusable) {
    close();
  } else {
    start_.startError = 0;
  }
}

QPoint MainWindow::rememberedPlace() const {
  return PlaceOnScreen(QPoint(ctx_.options.mainWindow.left, ctx_.options.mainWindow.top), size());
}

bool MainWindow::userCommandsRefused() const { return ctx_.script.active || busy(); }

bool MainWindow::askSaveChanges() {
  return AskSaveChanges(ctx_, kSaveChangesText, kSaveChangesCaption) != kUnloadDeclined;
}

void MainWindow::openFile(const std::string& path) {
  if (userCommandsRefused() || NotReady(ctx_)) return;
  if (!askSaveChanges()) return;
  Loadfile(ctx_, path);
  refreshAll();
}

void MainWindow::run(const CommandSpec& command) {
  if (userCommandsRefused() && !LiveWhileRefused(command.command)) return;
  if (!actions_.at(command.command)->isEnabled()) return;
  Changes what = command.handler(*this);
  if (what != 0) changed(what);
}

void MainWindow::refreshCommands() {
  const DocumentState& doc = ctx_.doc;
  CommandAvailability available = ComputeAvailability(ctx_, &player_, busy());
  bool refused = busy() || CommandsRefused(ctx_);
  bool open = doc.loaded && doc.editCount > 0;
  for (const CommandSpec& c : CommandTable()) actions_.at(c.command)->setEnabled(available[c.command]);
  // An open Play menu keeps the items it showed when it opened.
  if (!playMenu_->isVisible()) updateEnqueueItems();
  playMenu_->setEnabled(available[Command::kPlayMenu]);
  fileMenu_->setEnabled(!busy());
  if (auto* shell = findChild<ShellMenus*>()) shell->refreshMenuTitles();  // Options and Scripts menus
  for (QToolButton* b : stepButtons_) b->setEnabled(open && !refused);
  for (QLineEdit* box : boxes_) box->setEnabled(open && !ctx_.script.active);
  std::array<Command, 6> viewers = {Command::kCount, Command::kId3v2Editor, Command::kViewUnknownHeader,
                                    Command::kViewUnknownFooter, Command::kViewLyrics3, Command::kId3v1Editor};
  for (size_t i = 0; i < viewers.size(); ++i) {
    if (viewButtons_[i] != nullptr) viewButtons_[i]->setEnabled(available[viewers[i]]);
  }
}

void MainWindow::refreshAll() {
  SetViewStart(ctx_.doc, ctx_.doc.viewStart);
  tools_.refresh(ctx_, kChangedDocument);
  updateTexts();
  updateStatistics();
  updateBoxes();
  updateIndicators();
  refreshCommands();
  strip_->update();
  scroll_->update();
  NotifyAccessibleValue(strip_);
  NotifyAccessibleValue(scroll_);
}

QString MainWindow::elidedPath(const QLabel* label, const QString& path) const {
  QFontMetrics fm(label->font());
  int room = label->width() - 8;
  return Q(PathLabelText(S(path), [&](const std::string& text) { return fm.horizontalAdvance(Q(text)) <= room; }));
}

void MainWindow::updateTexts() {
  DocumentState& doc = ctx_.doc;
  bool loaded = doc.loaded && doc.editCount > 0;
  sourceFull_ = loaded ? Q(doc.sourceName) : QString();
  sourcePath_->setText(elidedPath(sourcePath_, sourceFull_));
  QString target = loaded ? Q(doc.documentName) : QString();
  if (target != targetFull_) {
    targetFull_ = target;
    targetPath_->setText(elidedPath(targetPath_, targetFull_));
  }
  sourceInfo_->setText(Q(SourceInfoText(doc)));
  editInfo_->setText(Q(EditedInfoText(doc)));
  for (QLabel* l : {sourceInfo_, editInfo_}) {
    FitFont(l, l->parentWidget()->font(), {l->text()}, l->contentsRect().width() - 2 * l->margin(), true);
  }

  if (StripLabelsDue(doc) || !loaded) {
    std::array<StripLabel, 3> labels = BuildStripLabels(doc, doc.viewStart);
    MarkStripLabelled(doc);
    for (size_t i = 0; i < 3; ++i) {
      QLabel* l = timeLabels_[i];
      QString text = Q(labels[i].text);
      if (!loaded) text = i == 0 ? QStringLiteral("0.00 s") : QString();
      l->setText(text);
      int w = std::max(40, l->fontMetrics().horizontalAdvance(text) + 4);
      int centre = loaded ? labels[i].centreX : (i == 0 ? kStripLeft + 4 : kStripLeft + kStripWidth / 2);
      l->setGeometry(centre - w / 2, 276, w, 14);
    }
  }

  QFontMetrics selMetrics(selLabel_->font());
  int selRoom = selLabel_->width();
  SelectionLengthText sel = SelectionLength(
      doc, [&](const std::string& text) { return selMetrics.horizontalAdvance(Q(text)) <= selRoom; });
  selLabel_->setText(Q(sel.text));
  selLabel_->setVisible(loaded && sel.visible);

  // Remove boxes.
  const RemoveBoxes& b = doc.boxes;
  std::array<const RemoveBox*, 6> all = {&b.riff, &b.id3v2, &b.behindHeader, &b.footer, &b.lyrics, &b.id3v1};
  for (size_t i = 0; i < all.size(); ++i) {
    QSignalBlocker block(removeBoxes_[i]);
    removeBoxes_[i]->setEnabled(loaded && all[i]->enabled);
    removeBoxes_[i]->setChecked(all[i]->checked);
    if (viewKeys_[i] != nullptr) viewKeys_[i]->setEnabled(!removeBoxes_[i]->isEnabled());
  }
}

void MainWindow::updateStatistics() {
  const DocumentState& doc = ctx_.doc;
  stats_->clear();
  if (!doc.loaded) return;
  StatisticsList list = BuildStatisticsList(ShownStatistics(doc, ctx_.options.mainFlag(kShowEditedStats)),
                                            doc.editCount);
  if (list.empty) return;
  QStringList lines;
  for (const std::string& line : list.lines) lines << Q(line);
  // The list always scrolls; an entry's text keeps the focus frame's margin
  // and one pixel more on each side.
  int margin = stats_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, stats_) + 1;
  int scrollBar = stats_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, stats_);
  int room = stats_->contentsRect().width() - scrollBar - 2 * margin;
  FitFont(stats_, QFontDatabase::systemFont(QFontDatabase::FixedFont), lines, room, false);
  stats_->addItems(lines);
  stats_->setCurrentRow(list.selected);
  stats_->scrollToItem(stats_->item(list.topLine), QAbstractItemView::PositionAtTop);
}

void MainWindow::updateBoxes() {
  const DocumentState& doc = ctx_.doc;
  bool loaded = doc.loaded && doc.editCount > 0;
  for (size_t b = 0; b < 2; ++b) {
    QLineEdit* box = boxes_[b];
    QString text = loaded ? Q(PositionBoxText(doc, static_cast<int>(b))) : QString();
    if (box->text() != text) {
      box->setText(text);
      box->setCursorPosition(static_cast<int>(text.size()));
    }
    QPalette pal = box->palette();
    pal.setColor(QPalette::Text, palette().color(QPalette::Text));
    box->setPalette(pal);
  }
}

void MainWindow::updateIndicators() {
  const DocumentState& doc = ctx_.doc;
  bool loaded = doc.loaded && doc.editCount > 0;
  CursorIndicators ind = BuildCursorIndicators(doc, doc.viewStart);
  onScreen_->setVisible(loaded && ind.state == CursorIndicator::kOnScreen);
  leftArrow_->setVisible(loaded && ind.state == CursorIndicator::kLeftArrow);
  rightArrow_->setVisible(loaded && ind.state == CursorIndicator::kRightArrow);
  find_->setVisible(loaded && ind.findVisible);
}

void MainWindow::find() {
  if (userCommandsRefused()) return;
  FindCursor(ctx_.doc);
  changed(kChangedView);
}

void MainWindow::applyBox(int b) {
  if (busy() || ctx_.script.active || NotReady(ctx_)) return;
  if (!ctx_.doc.loaded || ctx_.doc.editCount <= 0) return;
  PositionBox& box = ctx_.script.positionBoxes[static_cast<size_t>(b)];
  box.text = S(boxes_[static_cast<size_t>(b)]->text());
  ctx_.script.relativeMode[static_cast<size_t>(b)] = RelativeMode::Absolute;
  ApplyPositionBox(ctx_, b);
  if (box.invalid) {
    QLineEdit* edit = boxes_[static_cast<size_t>(b)];
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Text, Qt::red);
    edit->setPalette(pal);
    return;
  }
  changed(kChangedCursor | kChangedView);
}

void MainWindow::step(int button) {
  DocumentState& doc = ctx_.doc;
  if (!doc.loaded || doc.editCount <= 0 || NotReady(ctx_)) return;
  int box = button >= 4 ? 1 : 0;
  int kind = button % 4;  // 0 +frame, 1 +second, 2 -frame, 3 -second
  int32_t v = box == 1 ? doc.selectionEnd : doc.cursor;
  bool up = kind < 2;
  v = kind % 2 == 0 ? StepFrame(doc, v, up) : StepSecond(doc, v, up);
  SetBoxPosition(doc, box, v);
  changed(kChangedCursor | kChangedView);
}

void MainWindow::stepTick() {
  if (stepButton_ < 0) return;
  // A modal window or a busy state took the mouse: its release never comes.
  if (QApplication::activeModalWidget() != nullptr || userCommandsRefused()) {
    stepTimer_.stop();
    stepRepeat_.stop();
    stepButton_ = -1;
    return;
  }
  if (stepRepeat_.tick()) step(stepButton_);
  stepTimer_.setInterval(stepRepeat_.interval());
}

void MainWindow::showFrameInfo(int frame) {
  DocumentState& doc = ctx_.doc;
  if (frame < 0 || frame >= doc.editCount) return;
  doc.cursor = frame;
  SetBoxPosition(doc, 1, frame + 1);
  changed(kChangedCursor | kChangedView);
  if (ctx_.script.active) return;
  std::optional<std::string> text = FrameInfoText(doc, frame);
  if (text) ReportMessage(ctx_, *text, kMsgInfo, "frame info");
}

void MainWindow::showPathBox(bool source) {
  if (ctx_.script.active) return;
  const DocumentState& doc = ctx_.doc;
  if (!doc.loaded) return;
  std::string text = source ? SourcePathBoxText(doc) : TargetPathBoxText(doc.documentName, ctx_.save.lastSaveSucceeded);
  ReportMessage(ctx_, text, kMsgInfo, "info");
}

void MainWindow::showInfoBox(bool source) {
  if (ctx_.script.active || !ctx_.doc.loaded) return;
  std::string line = source ? SourceInfoText(ctx_.doc) : EditedInfoText(ctx_.doc);
  ReportMessage(ctx_, InfoLineBoxText(line, source), kMsgInfo, "info");
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == sourcePath_ || watched == targetPath_) {
      showPathBox(watched == sourcePath_);
      return true;
    }
    if (watched == sourceInfo_ || watched == editInfo_) {
      showInfoBox(watched == sourceInfo_);
      return true;
    }
  }
  bool box = watched == boxes_[0] || watched == boxes_[1];
  if (box && event->type() == QEvent::FocusIn) {
    auto* edit = static_cast<QLineEdit*>(watched);
    QTimer::singleShot(0, edit, [edit] { edit->setCursorPosition(static_cast<int>(edit->text().size())); });
  }
  if ((box || watched == stats_) && event->type() == QEvent::ShortcutOverride) {
    // The window's keys win over the box's own, except the text clipboard keys of an edit box.
    auto* key = static_cast<QKeyEvent*>(event);
    QKeySequence seq(key->keyCombination());
    bool textKey = box && (key->modifiers() == Qt::ControlModifier &&
                           (key->key() == Qt::Key_A || key->key() == Qt::Key_C || key->key() == Qt::Key_V ||
                            key->key() == Qt::Key_X || key->key() == Qt::Key_Z));
    if (!textKey) {
      for (const auto& [id, a] : actions_) {
        if (a->shortcut() == seq) {
          event->ignore();
          return true;
        }
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// Files are taken only when they can be opened now, and always as copies: a
// drop accepted as a move lets the source program delete the file.
bool MainWindow::dropAccepted(QDropEvent* event) const {
  if (!event->mimeData()->hasUrls() || userCommandsRefused() || NotReady(ctx_)) {
    event->ignore();
    return false;
  }
  if (!(event->possibleActions() & Qt::CopyAction)) {
    event->ignore();
    return false;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  return true;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) { dropAccepted(event); }

void MainWindow::dragMoveEvent(QDragMoveEvent* event) { dropAccepted(event); }

void MainWindow::dropEvent(QDropEvent* event) {
  if (!dropAccepted(event)) return;
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(S(url.toLocalFile()));
  }
  // The drop completes first; loading runs once the drag-and-drop machinery is done.
  QTimer::singleShot(0, this, [this, paths] { dropFiles(paths); });
}

void MainWindow::dropFiles(const std::vector<std::string>& paths) {
  if (paths.empty() || userCommandsRefused() || NotReady(ctx_)) return;
  // An open document is closed as by Close, which may end the program.
  if (ctx_.doc.loaded) {
    if (!MenuCloseClick(ctx_, start_.calledWithFile)) return;
    if (AutoExitOnClose(ctx_.options, start_.calledWithFile)) return;
  }
  Loadfile(ctx_, paths.front());
  refreshAll();
  if (paths.size() > 1) ReportMessage(ctx_, kDropNoteText, kMsgInfo, "note");
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closed_) {
    // Already closed: a close that waited meanwhile asks nothing again.
    event->accept();
    return;
  }
  if (host_.asking()) {
    // A question or dialog is open: it is answered by the user alone. The
    // close waits for it and is carried out once it is closed.
    host_.recordClose();
    event->ignore();
    return;
  }
  if (busy()) {
    // Recorded; the running operation closes the window at its next progress point.
    host_.recordClose();
    event->ignore();
    return;
  }
  if (ctx_.script.active) {
    // Recorded: the script's operations stop, and its end closes the window.
    host_.recordClose();
    event->ignore();
    return;
  }
  ctx_.options.mainWindow.left = x();
  ctx_.options.mainWindow.top = y();
  if (start_.startError == 0 && ctx_.saveSettings) ctx_.saveSettings(ctx_);
  host_.setHomeClosing(true);
  const bool close = askSaveChanges();
  host_.setHomeClosing(false);
  if (!close) {
    event->ignore();
    return;
  }
  host_.closeMessageWindows();
  refreshTimer_.stop();
  closed_ = true;
  event->accept();
}

void MainWindow::requestClose() { host_.requestClose(); }

void MainWindow::showBusy(bool busy) {
  // The writer reads the tags while it saves: the tag editors change nothing meanwhile.
  tools_.setBusy(busy);
  if (busy) {
    progress_->setProgress(0);
    progress_->show();
    progress_->raise();
    sourceInfo_->hide();
  } else {
    progress_->hide();
    progress_->setProgress(0);
    sourceInfo_->show();
  }
  refreshCommands();
}

// Redraws only what shows the changed state; a new or closed document redraws everything.
void MainWindow::changed(Changes what) {
  if ((what & kChangedDocument) == kChangedDocument) {
    refreshAll();
    return;
  }
  SetViewStart(ctx_.doc, ctx_.doc.viewStart);
  if ((what & (kChangedCursor | kChangedEditList | kChangedTags | kChangedModified | kChangedView)) != 0) {
    updateTexts();
  }
  if ((what & (kChangedEditList | kChangedOptions)) != 0) updateStatistics();
  if ((what & (kChangedCursor | kChangedEditList | kChangedView)) != 0) {
    updateBoxes();
    updateIndicators();
    strip_->update();
    scroll_->update();
    NotifyAccessibleValue(strip_);
    NotifyAccessibleValue(scroll_);
  }
  tools_.refresh(ctx_, what);
  refreshCommands();
}

void MainWindow::showOperation(const std::string& operation) {
  QString name = Q(operation);
  progress_->setAccessibleDescription(name);
  progress_->setToolTip(name);
}

void MainWindow::defineToolWindows() {
  // In the order they are told of a close, a busy state or a change.
  tools_.define<ImageWindow>([this] {
    auto* image = new ImageWindow(this, &ctx_.options.imageViewer);
    // A picture too large to show here goes to the desktop's viewer.
    image->setExternalViewer([this](const QByteArray& data, const QString& mime) {
      OpenPictureWithDesktop(ctx_, std::vector<uint8_t>(data.begin(), data.end()),
                             PictureKindFromMime(mime.toStdString()));
    });
    return image;
  });
  tools_.define<Id3v1EditorWindow>([this] { return makeId3v1Editor(); });
  tools_.define<Id3v2EditorWindow>([this] { return makeId3v2Editor(); });
  tools_.define<LegendWindow>([this] { return new LegendWindow(ctx_.options.legendWindow, this); });
}

ImageWindow* MainWindow::imageWindow() const { return tools_.find<ImageWindow>(); }
Id3v1EditorWindow* MainWindow::id3v1Editor() const { return tools_.find<Id3v1EditorWindow>(); }
Id3v2EditorWindow* MainWindow::id3v2Editor() const { return tools_.find<Id3v2EditorWindow>(); }
LegendWindow* MainWindow::legend() const { return tools_.find<LegendWindow>(); }

void MainWindow::openId3v1Editor() {
  if (TagEditorRefused(ctx_)) return;
  tools_.open<Id3v1EditorWindow>()->openFor(ctx_.doc.sourceName, ctx_.doc.source.id3v1Found);
}

Id3v1EditorWindow* MainWindow::makeId3v1Editor() {
  Id3v1EditorHooks hooks;
  hooks.message = [this](const std::string& text, int kind, const std::string& caption) {
    ReportMessage(ctx_, text, kind, caption);
  };
  hooks.ask = [this](const std::string& text, int kind, const std::string& caption) {
    return host_.ask(text, kind, caption);
  };
  hooks.beginSession = [this]() -> Id3v1State& { return BeginId3v1Session(ctx_); };
  hooks.sessionReady = [this] { Id3v1SessionReady(ctx_); };
  hooks.commitSession = [this] { CommitId3v1Session(ctx_); };
  hooks.endSession = [this] { EndId3v1Session(ctx_); };
  hooks.sessionChanged = [this] { return Id3v1SessionChanged(ctx_); };
  hooks.reloadRecord = [this] { return ReloadId3v1Record(ctx_); };
  hooks.transfer = [this](TransferDirection direction) { transferTags(direction, id3v1Editor()); };
  hooks.switchesChanged = [this] { tools_.refresh(ctx_, kChangedOptions); };
  hooks.closed = [this](bool holdsSomething) {
    Id3v1EditorClosed(ctx_, holdsSomething);
    if (ctx_.saveSettings) ctx_.saveSettings(ctx_);
  };
  return new Id3v1EditorWindow(idleId3v1_, ctx_.options, std::move(hooks), this);
}

void MainWindow::openId3v2Editor() {
  if (TagEditorRefused(ctx_)) return;
  tools_.open<Id3v2EditorWindow>()->openFor(ctx_.doc.sourceName, ctx_.doc.id3v2.present);
}

Id3v2EditorWindow* MainWindow::makeId3v2Editor() {
  Id3v2EditorHooks hooks;
  hooks.message = [this](const std::string& text, int kind, const std::string& caption) {
    ReportMessage(ctx_, text, kind, caption);
  };
  hooks.ask = [this](const std::string& text, int kind, const std::string& caption) {
    return host_.ask(text, kind, caption);
  };
  hooks.beginSession = [this]() -> Id3v2TagState& { return BeginId3v2Session(ctx_); };
  hooks.sessionReady = [this] { Id3v2SessionReady(ctx_); };
  hooks.commitSession = [this](bool writeTag) { CommitId3v2Session(ctx_, writeTag); };
  hooks.endSession = [this] { EndId3v2Session(ctx_); };
  hooks.sessionChanged = [this] { return Id3v2SessionChanged(ctx_); };
  hooks.reloadTag = [this] { return ReloadId3v2Tag(ctx_); };
  // Field numbers are the session's: its copy is what the editor shows.
  auto isPicture = [this](int64_t field) {
    const Id3v2TagState& tag = EditedId3v2(ctx_);
    return field >= 0 && static_cast<size_t>(field) < tag.fields.size() &&
           tag.fields[static_cast<size_t>(field)].tip == kFieldPicture;
  };
  hooks.loadField = [this, isPicture](uint32_t field) {
    return isPicture(field) ? LoadPictureContent(ctx_, field) : LoadFieldContent(ctx_, field);
  };
  hooks.viewContent = [this, isPicture](int64_t field, bool original, const std::string& boxName) {
    if (!isPicture(field)) {
      ViewFieldContent(ctx_, field, original, (ctx_.options.displayFlags & kTextsInMessageBox) != 0, boxName);
      return;
    }
    PictureView view = ViewPictureContent(ctx_, static_cast<uint32_t>(field), original,
                                          (ctx_.options.displayFlags & kPicturesInInternalViewer) != 0);
    if (view.show) showPicture(view);
  };
  hooks.saveOriginal = [this, isPicture](uint32_t field) {
    if (isPicture(field)) SavePictureOriginal(ctx_, field); else SaveFieldOriginal(ctx_, field);
  };
  hooks.fieldInformation = [this](int64_t field, const std::string& boxName) {
    ShowFieldInformation(ctx_, field, boxName);
  };
  hooks.viewInvalidFields = [this] { ViewInvalidFields(ctx_); };
  hooks.loadTextField = [this](uint32_t field) {
    const Id3v2TagState& tag = EditedId3v2(ctx_);
    if (field >= tag.fields.size()) return false;
    const uint8_t index = tag.fields[field].ind;
    const QString caption = QString::fromUtf8(index < Id3v2Catalogue.size() ? Id3v2Catalogue[index].description : "");
    return LoadId3v2TextFieldFromFile(ctx_, field, [this, caption](const TextLoadDialogSetup& setup) {
      EncodingDialog dialog(
          ctx_.options,
          [this](const std::string& text, int kind, const std::string& c) { ReportMessage(ctx_, text, kind, c); },
          id3v2Editor());
      DesktopHost::ModalScope scope(host_);
      return dialog.choose(setup, caption);
    });
  };
  hooks.closed = [this](bool accepted, bool writeTag) {
    Id3v2EditorClosed(ctx_, accepted, writeTag);
    if (ctx_.saveSettings) ctx_.saveSettings(ctx_);
  };
  hooks.saveOptions = [this] {
    if (ctx_.saveSettings) ctx_.saveSettings(ctx_);
  };
  hooks.transfer = [this](TransferDirection direction) { transferTags(direction, id3v2Editor()); };
  hooks.switchesChanged = [this] { tools_.refresh(ctx_, kChangedOptions); };
  return new Id3v2EditorWindow(idleId3v2_, ctx_.options, std::move(hooks), this);
}

void MainWindow::showPicture(const PictureView& view) {
  ImageWindow* image = tools_.open<ImageWindow>();
  const QByteArray data(reinterpret_cast<const char*>(view.data.data()), static_cast<qsizetype>(view.data.size()));
  image->showPicture(data, Q(view.pictureType), Q(view.mime));
  image->show();
  image->raise();
  image->activateWindow();
}

void MainWindow::transferTags(TransferDirection direction, QWidget* from) {
  if (TagEditorRefused(ctx_) || busy()) return;
  Options& o = ctx_.options;
  // The ID3v1 editor's "id3v2 i&mport" (ID3v2 to ID3v1) keeps its word as the
  // import settings, its "id3v2 e&xport" (ID3v1 to ID3v2) as the export settings.
  uint32_t rememberedV1ToV2 = o.transferExportSettings;
  uint32_t rememberedV2ToV1 = o.transferImportSettings;
  uint32_t word = 0;
  if (o.volumeChannelAndTagSwitches & kTagSwitchShowTransferDialog) {
    TransferDialog dialog([this](const std::string& text, int kind, const std::string& caption) {
      return host_.ask(text, kind, caption);
    }, from != nullptr ? from : this);
    KeepPlace(&dialog, o.transferDialog);
    std::optional<TransferChoice> choice;
    {
      DesktopHost::ModalScope scope(host_);
      choice = dialog.choose(direction, rememberedV1ToV2, rememberedV2ToV1);
    }
    host_.carryOutWaitingClose();
    if (!choice || TagEditorRefused(ctx_)) return;
    direction = choice->direction;
    word = choice->settings;
    RememberTransferSettings(word, direction, rememberedV1ToV2, rememberedV2ToV1);
    o.transferExportSettings = static_cast<uint16_t>(rememberedV1ToV2);
    o.transferImportSettings = static_cast<uint16_t>(rememberedV2ToV1);
    o.volumeChannelAndTagSwitches = static_cast<uint8_t>(
        choice->showNextTime ? o.volumeChannelAndTagSwitches | kTagSwitchShowTransferDialog
                             : o.volumeChannelAndTagSwitches & ~kTagSwitchShowTransferDialog);
    tools_.refresh(ctx_, kChangedOptions);
    if (ctx_.saveSettings) ctx_.saveSettings(ctx_);
  } else {
    word = EffectiveTransferSettings(direction == TransferDirection::kV1ToV2 ? rememberedV1ToV2 : rememberedV2ToV1) |
           kTransferNoDialog;
  }
  auto report = [this](const std::vector<TransferMessage>& messages) {
    for (const TransferMessage& m : messages) ReportMessage(ctx_, m.text, m.kind | kMsgModal, m.caption);
  };
  if ((word & kTransferFieldMask) == 0) {
    // No field chosen: the message, and no editor is opened.
    report(TransferV1ToV2({}, {}, word).messages);
    return;
  }
  // The source is what the user sees of the document's tag: the source
  // editor's session when it is open, else the document's tag itself, read as
  // that editor would show it. The target editor is opened and filled.
  if (direction == TransferDirection::kV1ToV2) {
    Id3v1EditorWindow* from1 = id3v1Editor();
    Id3v1EditorFields source;
    if (from1 != nullptr && from1->editing()) {
      source = from1->model().fields();
    } else {
      Id3v1State record = ctx_.doc.id3v1;
      Id3v1Editor reader(record, {}, {});
      reader.Fill(ctx_.doc.source.id3v1Found);
      source = reader.fields();
    }
    openId3v2Editor();
    Id3v2EditorWindow* to2 = id3v2Editor();
    if (to2 == nullptr || !to2->model().isOpen()) return;
    TransferResult<Id3v2EditorFields> result = TransferV1ToV2(source, to2->model().TransferFields(), word);
    report(result.messages);
    to2->applyTransfer(result);
  } else {
    Id3v2EditorWindow* from2 = id3v2Editor();
    Id3v2EditorFields source;
    if (from2 != nullptr && from2->model().isOpen()) {
      source = from2->model().TransferFields();
    } else {
      Id3v2TagState tag = ctx_.doc.id3v2;
      Id3v2Editor reader;
      if (reader.Open(tag, o.newTagFormat, o.paddingIndex)) source = reader.TransferFields();
    }
    openId3v1Editor();
    Id3v1EditorWindow* to1 = id3v1Editor();
    if (to1 == nullptr || !to1->editing()) return;
    TransferResult<Id3v1EditorFields> result = TransferV2ToV1(source, to1->model().fields(), word);
    report(result.messages);
    to1->applyTransfer(result);
  }
}

void MainWindow::closeTagWindows() {
  tools_.closeTagWindows();
}

bool MainWindow::applyTagEdits() {
  // The ID3v1 editor first, as the tag windows are told of everything.
  Id3v1EditorWindow* v1 = id3v1Editor();
  if (v1 != nullptr && !v1->applyChanges()) return false;
  Id3v2EditorWindow* v2 = id3v2Editor();
  return v2 == nullptr || v2->applyChanges();
}

void MainWindow::reopenTagEditors(bool v1, bool v2) {
  // A save onto the source closes the document and may load it again: the
  // editors that were open show the new state.
  if (!ctx_.doc.loaded || TagEditorRefused(ctx_)) return;
  if (v1 && (id3v1Editor() == nullptr || !id3v1Editor()->editing())) openId3v1Editor();
  if (v2 && (id3v2Editor() == nullptr || !id3v2Editor()->model().isOpen())) openId3v2Editor();
}

std::pair<bool, bool> MainWindow::openTagEditors() const {
  return {id3v1Editor() != nullptr && id3v1Editor()->editing(),
          id3v2Editor() != nullptr && id3v2Editor()->model().isOpen()};
}

}  // namespace quorvel
