#include "ui/id3v1_editor_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QSignalBlocker>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/options.h"
#include "ui/window_manners.h"

namespace quorvel {

namespace {

constexpr std::array<Id3v1EditorField, 6> kBoxFields = {
    Id3v1EditorField::kTitle,   Id3v1EditorField::kArtist, Id3v1EditorField::kAlbum,
    Id3v1EditorField::kComment, Id3v1EditorField::kYear,   Id3v1EditorField::kTrack};

// The font character sets offered for showing the text boxes. The boxes show
// Unicode text whatever is chosen; the choice is kept in the options.
constexpr std::array<const char*, 18> kCharacterSets = {
    "ANSI",   "DEFAULT", "SYMBOL",  "SHIFTJIS", "HANGEUL",    "GB2312", "CHINESEBIG5", "OEM",        "JOHAB",
    "HEBREW", "ARABIC",  "GREEK",   "TURKISH",  "VIETNAMESE", "THAI",   "EASTEUROPE",  "RUSSIAN",    "BALTIC"};

const char* const kHighlightStyle = "QLineEdit, QComboBox { background: rgb(128, 0, 0); color: rgb(255, 255, 191); }";
const char* const kErrorStyle = "QLineEdit { background: rgb(255, 0, 0); color: rgb(255, 255, 255); }";

int BoxLimit(Id3v1EditorField field) {
  switch (field) {
    case Id3v1EditorField::kYear: return 4;
    case Id3v1EditorField::kTrack: return 3;
    default: return 30;
  }
}

QPushButton* Button(const char* caption, const char* hint, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  if (hint != nullptr) b->setToolTip(QString::fromUtf8(hint));
  b->setAccessibleName(QString::fromUtf8(caption).remove(QLatin1Char('&')));
  return b;
}

}  // namespace

Id3v1EditorWindow::Id3v1EditorWindow(Id3v1State& state, Options& options, Id3v1EditorHooks hooks, QWidget* parent)
    : QDialog(parent, Qt::Window),
      ToolWindow(this, &options.id3v1Editor, Closing::kWithDocument),
      state_(state),
      options_(options),
      hooks_(std::move(hooks)),
      model_(state, hooks_.message, hooks_.ask) {
  setObjectName(QStringLiteral("TID3v1Form"));
  setWindowTitle(QString::fromUtf8(kId3v1EditorCaption));
  setAccessibleName(windowTitle().trimmed());
  setModal(false);

  auto* grid = new QGridLayout;
  int row = 0;
  for (Id3v1EditorField field : kBoxFields) {
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(BoxLimit(field));
    edit->setAccessibleName(QString::fromUtf8(Id3v1FieldName(field)));
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    edit->installEventFilter(this);
    auto* label = new QLabel(QString::fromUtf8(Id3v1FieldCaption(field)), this);
    label->setBuddy(edit);
    boxes_[static_cast<size_t>(field)] = edit;
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) { boxEdited(field, text); });
    connect(edit, &QLineEdit::customContextMenuRequested, this,
            [this, field, edit](const QPoint& at) { showFieldMenu(field, edit->mapToGlobal(at)); });
    if (field == Id3v1EditorField::kYear) {
      grid->addWidget(label, row, 0);
      grid->addWidget(edit, row, 1);
      continue;  // the track shares the year's row
    }
    if (field == Id3v1EditorField::kTrack) {
      trackLabel_ = label;
      auto* pair = new QHBoxLayout;
      pair->addWidget(label);
      pair->addWidget(edit);
      grid->addLayout(pair, row, 2);
      ++row;
      continue;
    }
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1, 1, 2);
    ++row;
  }
  genre_ = new QComboBox(this);
  for (const char* name : GenreNames()) genre_->addItem(QString::fromUtf8(name));
  genre_->addItem(QString::fromUtf8(kId3v1EmptyGenreItem));
  genre_->setAccessibleName(QStringLiteral("Genre"));
  genre_->setMaxVisibleItems(20);
  auto* genreLabel = new QLabel(QString::fromUtf8(Id3v1FieldCaption(Id3v1EditorField::kGenre)), this);
  genreLabel->setBuddy(genre_);
  grid->addWidget(genreLabel, row, 0);
  grid->addWidget(genre_, row, 1, 1, 2);
  ++row;
  version_ = new QComboBox(this);
  version_->addItems({QStringLiteral(" ID3v1.0"), QStringLiteral(" ID3v1.1")});
  version_->setAccessibleName(QStringLiteral("Version"));
  auto* versionLabel = new QLabel(QStringLiteral("&Version:"), this);
  versionLabel->setBuddy(version_);
  charset_ = new QComboBox(this);
  for (const char* name : kCharacterSets) charset_->addItem(QString::fromUtf8(name));
  charset_->setToolTip(QStringLiteral("Internal feature only"));
  charset_->setAccessibleName(QStringLiteral("character set"));
  grid->addWidget(versionLabel, row, 0);
  grid->addWidget(version_, row, 1);
  grid->addWidget(charset_, row, 2);

  ok_ = Button("O&K", "Remember changes and close", this);
  cancel_ = Button("Cancel", nullptr, this);
  reload_ = Button("&Reload tag", "Reload original content", this);
  scan_ = Button("&scan", "Extract data from the filename\n(and the folder name, optionally)", this);
  album_ = new QCheckBox(QStringLiteral("album"), this);
  album_->setToolTip(QStringLiteral("Use folder name as Album"));
  split_ = new QCheckBox(QStringLiteral("split"), this);
  split_->setToolTip(QStringLiteral("Presume \"artist - album\" folder format"));
  import_ = Button("id3v2 i&mport", nullptr, this);
  export_ = Button("id3v2 e&xport", nullptr, this);
  showDialog_ = new QCheckBox(QStringLiteral("show dialog"), this);
  for (QCheckBox* box : {album_, split_, showDialog_}) box->setAccessibleName(box->text());

  auto* side = new QVBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{ok_, cancel_, reload_, scan_, album_, split_, import_, export_,
                                                    showDialog_}) {
    side->addWidget(w);
  }
  side->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(grid, 1);
  layout->addLayout(side);

  highlightTimer_ = new QTimer(this);
  highlightTimer_->setSingleShot(true);
  highlightTimer_->setInterval(kHighlightMs);
  connect(highlightTimer_, &QTimer::timeout, this, &Id3v1EditorWindow::highlightExpired);

  connect(genre_, &QComboBox::activated, this, [this](int index) {
    if (filling_ || busy_ || !open_) return;
    model_.SetGenre(index);
    if (index >= kGenreCount) genre_->setCurrentIndex(-1);
  });
  connect(version_, &QComboBox::activated, this, [this](int index) {
    if (filling_ || busy_ || !open_) return;
    model_.SetVersion(index == 1);
    showModel();
  });
  connect(charset_, &QComboBox::activated, this,
          [this](int index) { options_.id3v1Charset = static_cast<uint8_t>(index); });
  connect(ok_, &QPushButton::clicked, this, &Id3v1EditorWindow::accept);
  connect(cancel_, &QPushButton::clicked, this, &Id3v1EditorWindow::reject);
  connect(reload_, &QPushButton::clicked, this, [this] {
    if (busy_ || !open_) return;
    bool hadTag = hooks_.reloadRecord ? hooks_.reloadRecord() : false;
    fill(hadTag);
  });
  connect(scan_, &QPushButton::clicked, this, &Id3v1EditorWindow::scan);
  auto setSwitch = [this](uint8_t bit, bool on) {
    options_.volumeChannelAndTagSwitches =
        static_cast<uint8_t>(on ? options_.volumeChannelAndTagSwitches | bit : options_.volumeChannelAndTagSwitches & ~bit);
  };
  connect(album_, &QCheckBox::toggled, this, [this, setSwitch](bool on) {
    setSwitch(kTagSwitchFolderAsAlbum, on);
    split_->setEnabled(on);
  });
  connect(split_, &QCheckBox::toggled, this, [setSwitch](bool on) { setSwitch(kTagSwitchSplitFolder, on); });
  connect(showDialog_, &QCheckBox::toggled, this, [this, setSwitch](bool on) {
    setSwitch(kTagSwitchShowTransferDialog, on);
    if (!filling_ && hooks_.switchesChanged) hooks_.switchesChanged();
  });
  connect(import_, &QPushButton::clicked, this, [this] {
    if (!highlighting() && hooks_.transfer) hooks_.transfer(TransferDirection::kV2ToV1);
  });
  connect(export_, &QPushButton::clicked, this, [this] {
    if (!highlighting() && hooks_.transfer) hooks_.transfer(TransferDirection::kV1ToV2);
  });

  // Enter moves to the next box, Shift+Enter to the one before.
  setTabOrder(boxes_[0], boxes_[1]);
  QWidget* previous = boxes_[1];
  for (QWidget* w : std::initializer_list<QWidget*>{boxes_[2], boxes_[3], boxes_[4], boxes_[5], genre_, version_,
                                                    charset_, ok_, cancel_, reload_, scan_, album_, split_, import_,
                                                    export_, showDialog_}) {
    setTabOrder(previous, w);
    previous = w;
  }

  // Only O&K (a click or Alt+K) accepts: no button takes Enter for itself.
  for (QPushButton* b : findChildren<QPushButton*>()) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
}

QLineEdit* Id3v1EditorWindow::box(Id3v1EditorField field) const {
  return field == Id3v1EditorField::kGenre ? nullptr : boxes_[static_cast<size_t>(field)];
}

void Id3v1EditorWindow::openFor(const std::string& sourcePath, bool fileHadTag) {
  sourcePath_ = sourcePath;
  if (isVisible() && open_) {
    raise();
    activateWindow();
    return;
  }
  model_.Attach(hooks_.beginSession ? hooks_.beginSession() : state_);
  open_ = true;
  fill(fileHadTag);
  if (hooks_.sessionReady) hooks_.sessionReady();
  show();
  raise();
  activateWindow();
  boxes_[0]->setFocus();
}

void Id3v1EditorWindow::fill(bool fileHadTag) {
  model_.Fill(fileHadTag);
  filling_ = true;
  reload_->setEnabled(model_.reloadEnabled());
  uint8_t switches = options_.volumeChannelAndTagSwitches;
  album_->setChecked(switches & kTagSwitchFolderAsAlbum);
  split_->setChecked(switches & kTagSwitchSplitFolder);
  split_->setEnabled(album_->isChecked());
  showDialog_->setChecked(switches & kTagSwitchShowTransferDialog);
  charset_->setCurrentIndex(options_.id3v1Charset < kCharacterSets.size() ? options_.id3v1Charset : 0);
  filling_ = false;
  showModel();
}

void Id3v1EditorWindow::showModel() {
  filling_ = true;
  const Id3v1EditorFields& f = model_.fields();
  const std::string* texts[] = {&f.title, &f.artist, &f.album, &f.comment, &f.year, &f.track};
  for (size_t i = 0; i < boxes_.size(); ++i) {
    QString text = QString::fromStdString(*texts[i]);
    if (boxes_[i]->text() != text) boxes_[i]->setText(text);
  }
  // Limits in characters; the model cuts a text at the field's room in bytes.
  boxes_[3]->setMaxLength(model_.commentLimit());
  boxes_[5]->setEnabled(model_.trackEnabled());
  trackLabel_->setEnabled(model_.trackEnabled());
  boxes_[5]->setStyleSheet(model_.trackInError() ? QString::fromUtf8(kErrorStyle) : QString());
  genre_->setCurrentIndex(f.genre);
  version_->setCurrentIndex(f.version11 ? 1 : 0);
  filling_ = false;
}

void Id3v1EditorWindow::boxEdited(Id3v1EditorField field, const QString& text) {
  if (filling_ || busy_ || !open_) return;
  QLineEdit* edit = box(field);
  int cursor = edit->cursorPosition();
  std::string shown = model_.SetText(field, text.toStdString());
  showModel();
  edit->setCursorPosition(std::min(cursor, static_cast<int>(edit->text().size())));
  (void)shown;
}

void Id3v1EditorWindow::highlight(uint32_t fields) {
  for (Id3v1EditorField field : kBoxFields) {
    if (fields & Id3v1FieldBit(field)) box(field)->setStyleSheet(QString::fromUtf8(kHighlightStyle));
  }
  if (fields & Id3v1FieldBit(Id3v1EditorField::kGenre)) genre_->setStyleSheet(QString::fromUtf8(kHighlightStyle));
  highlightTimer_->start();
}

void Id3v1EditorWindow::applyTransfer(const TransferResult<Id3v1EditorFields>& result) {
  uint32_t changed = model_.ApplyTransfer(result);
  showModel();
  show();
  raise();
  activateWindow();
  for (Id3v1EditorField field : kBoxFields) {
    if (changed & Id3v1FieldBit(field)) {
      box(field)->setFocus();
      break;
    }
  }
  highlight(changed);
}

void Id3v1EditorWindow::refresh(const Context& /*ctx*/, Changes what) {
  if ((what & kChangedOptions) != 0) syncShowDialog();
}

void Id3v1EditorWindow::syncShowDialog() {
  QSignalBlocker block(showDialog_);
  showDialog_->setChecked(options_.volumeChannelAndTagSwitches & kTagSwitchShowTransferDialog);
}

bool Id3v1EditorWindow::highlighting() const { return highlightTimer_->isActive(); }

void Id3v1EditorWindow::highlightExpired() {
  highlightTimer_->stop();
  for (QLineEdit* edit : boxes_) edit->setStyleSheet(QString());
  genre_->setStyleSheet(QString());
  showModel();  // the track's error colours come back
}

void Id3v1EditorWindow::scan() {
  if (highlighting() || busy_ || !open_) return;
  uint32_t filled = model_.Scan(sourcePath_, album_->isChecked(), split_->isEnabled() && split_->isChecked());
  showModel();
  highlight(filled);
}

void Id3v1EditorWindow::setBusy(bool busy) {
  busy_ = busy;
  for (QWidget* w : findChildren<QWidget*>()) {
    if (w != cancel_) w->setEnabled(!busy);
  }
  if (!busy) {
    reload_->setEnabled(model_.reloadEnabled());
    split_->setEnabled(album_->isChecked());
    showModel();
  }
  cancel_->setEnabled(!busy);
}

void Id3v1EditorWindow::accept() {
  if (busy_ || !open_) return;
  if (!model_.Accept()) return;  // back to the editor
  open_ = false;
  if (hooks_.commitSession) hooks_.commitSession();
  if (hooks_.endSession) hooks_.endSession();
  finishClosing();
  QDialog::accept();
}

void Id3v1EditorWindow::reject() {
  if (busy_) return;  // read-only while an operation runs
  if (open_) {
    model_.Cancel();
    open_ = false;
    if (hooks_.endSession) hooks_.endSession();
    finishClosing();
  }
  QDialog::reject();
}

void Id3v1EditorWindow::cancelAndClose() {
  if (isVisible()) reject();
}

bool Id3v1EditorWindow::hasPendingChanges() const {
  return open_ && hooks_.sessionChanged && hooks_.sessionChanged();
}

bool Id3v1EditorWindow::applyChanges() {
  if (!hasPendingChanges()) return true;
  if (!model_.Accept()) {
    show();
    raise();
    activateWindow();
    return false;
  }
  if (hooks_.commitSession) hooks_.commitSession();
  model_.Applied();
  showModel();
  return true;
}

void Id3v1EditorWindow::endSession() {
  // The engine ended the session (the document went): the window lets go of
  // the record without touching it and closes, whether or not an operation runs.
  if (!open_ && !isVisible()) return;
  open_ = false;
  model_.Attach(state_);
  highlightExpired();
  options_.id3v1Editor = {x(), y()};
  QDialog::reject();
}

void Id3v1EditorWindow::finishClosing() {
  if (closing_) return;
  closing_ = true;
  highlightExpired();
  options_.id3v1Editor = {x(), y()};
  if (hooks_.closed) hooks_.closed(model_.RecordHoldsSomething());
  closing_ = false;
}

void Id3v1EditorWindow::closeEvent(QCloseEvent* event) {
  // The title bar's close button is Cancel: nothing the user did not accept is
  // kept. While an operation runs the window stays.
  if (busy_) {
    event->ignore();
    return;
  }
  if (open_) {
    model_.Cancel();
    open_ = false;
    if (hooks_.endSession) hooks_.endSession();
    finishClosing();
  }
  QDialog::closeEvent(event);
}

void Id3v1EditorWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    reject();  // refused while busy
    return;
  }
  // Enter moves on as Tab does; QDialog would press its default button.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    focusNextPrevChild(!(event->modifiers() & Qt::ShiftModifier));
    return;
  }
  QDialog::keyPressEvent(event);
}

bool Id3v1EditorWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      focusNextPrevChild(!(key->modifiers() & Qt::ShiftModifier));
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void Id3v1EditorWindow::showFieldMenu(Id3v1EditorField field, const QPoint& globalPos) {
  if (busy_ || !open_) return;
  QLineEdit* edit = box(field);
  QMenu menu(this);
  QAction* view = menu.addAction(QStringLiteral("&View original content"));
  view->setEnabled(model_.CanViewOriginal());
  QAction* reload = menu.addAction(QStringLiteral("&Reload original content"));
  reload->setEnabled(model_.CanReloadOriginal(field));
  menu.addSeparator();
  QAction* copy = menu.addAction(QStringLiteral("&Copy  (Ctrl+C)"));
  QAction* paste = menu.addAction(QStringLiteral("&Paste  (Ctrl+V)"));
  QAction* cut = menu.addAction(QStringLiteral("Cu&t  (Ctrl+X)"));
  bool selection = edit != nullptr && edit->hasSelectedText();
  copy->setEnabled(selection);
  cut->setEnabled(selection && edit->isEnabled());
  paste->setEnabled(edit != nullptr && edit->isEnabled() && !QApplication::clipboard()->text().isEmpty());
  QAction* chosen = menu.exec(globalPos);
  if (chosen == view) {
    model_.ViewOriginal(field);
  } else if (chosen == reload) {
    int cursor = edit != nullptr ? edit->cursorPosition() : 0;
    int length = edit != nullptr ? static_cast<int>(edit->selectedText().size()) : 0;
    model_.ReloadOriginal(field);
    showModel();
    if (edit != nullptr) {
      int end = static_cast<int>(edit->text().size());
      edit->setSelection(std::min(cursor, end), std::min(length, end - std::min(cursor, end)));
    }
  } else if (edit != nullptr && (chosen == copy || chosen == paste || chosen == cut)) {
    if (chosen == copy) edit->copy();
    if (chosen == cut) edit->cut();
    if (chosen == paste) edit->paste();
    if (chosen != copy) boxEdited(field, edit->text());
  }
}

}  // namespace quorvel
