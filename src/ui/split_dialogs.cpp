#include "ui/split_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "output/split.h"
#include "ui/window_manners.h"

namespace quorvel {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Hints and captions carry the engine's line breaks as "\r\n".
QString Display(const std::string& s) {
  QString t = Q(s);
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return t;
}

QString Plain(const QString& caption) {
  QString s = caption;
  s.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  s.remove(QLatin1Char('&'));
  s.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return s.simplified();
}

QColor NameColour(FileNameState state) {
  switch (state) {
    case FileNameState::kNew: return QColor(0x80, 0xE0, 0x80);
    case FileNameState::kExisting: return QColor(0xF0, 0x70, 0x70);
    case FileNameState::kNotChosen: break;
  }
  return QColor(0xF0, 0xE0, 0x60);
}

// Double-clicking a name label shows the full name.
class NameLabel : public QLabel {
 public:
  NameLabel(Context& ctx, int fileNumber, QWidget* parent) : QLabel(parent), ctx_(ctx), fileNumber_(fileNumber) {
    setMinimumWidth(220);
  }
  std::string fullName;

 protected:
  void mouseDoubleClickEvent(QMouseEvent*) override {
    if (!fullName.empty()) ShowFullFileName(ctx_, fullName, fileNumber_);
  }

 private:
  Context& ctx_;
  int fileNumber_;
};

FileWidgets BuildFile(Context& ctx, int fileNumber, QWidget* parent, QGridLayout* grid, int row) {
  FileWidgets f;
  f.name = new QPushButton(parent);
  f.name->setToolTip(Display(kNameButtonHint));
  f.name->setAutoFillBackground(true);
  f.label = new NameLabel(ctx, fileNumber, parent);
  f.label->setToolTip(QStringLiteral("Double-click to display the full filename"));
  grid->addWidget(f.name, row, 0);
  grid->addWidget(f.label, row, 1, 1, 2);
  for (int k = 0; k < kAttachKinds; ++k) {
    auto* box = new QCheckBox(parent);
    box->setToolTip(Display(kAttachHint));
    grid->addWidget(box, row + 1 + k / 3, k % 3);
    f.attach[static_cast<size_t>(k)] = box;
  }
  return f;
}

void ShowFile(FileWidgets& f, const OutputFileState& file, const std::string& buttonCaption, bool enabled) {
  f.name->setText(Q(buttonCaption));
  f.name->setAccessibleName(Plain(f.name->text()));
  QPalette pal = f.name->palette();
  pal.setColor(QPalette::Button, NameColour(file.nameState));
  f.name->setPalette(pal);
  f.name->setEnabled(enabled);
  auto* label = static_cast<NameLabel*>(f.label);
  label->fullName = file.name;
  QFontMetrics fm(label->font());
  int room = label->minimumWidth();
  QString text = file.name.empty() ? Q(file.label)
                                   : Q(ShortenedNameLabel(file.name, [&](const std::string& t) {
                                       return fm.horizontalAdvance(Q(t)) <= room;
                                     }));
  label->setText(text);
  label->setAccessibleName(text);
  label->setEnabled(enabled);
  for (int k = 0; k < kAttachKinds; ++k) {
    const AttachBox& a = file.attach[static_cast<size_t>(k)];
    QCheckBox* box = f.attach[static_cast<size_t>(k)];
    QSignalBlocker block(box);
    box->setText(Q(a.caption));
    box->setAccessibleName(Plain(box->text()));
    box->setEnabled(enabled && a.enabled);
    box->setChecked(a.checked);
  }
}

void ConnectAttach(FileWidgets& f, OutputFileState* file) {
  for (int k = 0; k < kAttachKinds; ++k) {
    QObject::connect(f.attach[static_cast<size_t>(k)], &QCheckBox::toggled, f.attach[static_cast<size_t>(k)],
                     [file, k](bool on) { file->attach[static_cast<size_t>(k)].checked = on; });
  }
}

}  // namespace

SaveSelectionDialog::SaveSelectionDialog(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName(QStringLiteral("TSaveSelForm"));
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  file_ = BuildFile(ctx_, 0, this, grid, 0);
  layout->addLayout(grid);
  note_ = new QLabel(this);
  layout->addWidget(note_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  ok_ = new QPushButton(QStringLiteral("O&K"), this);
  ok_->setAccessibleName(QStringLiteral("OK"));
  auto* cancel = new QPushButton(QStringLiteral("cancel"), this);
  cancel->setAccessibleName(QStringLiteral("cancel"));
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(file_.name, &QPushButton::clicked, this, [this] {
    if (ChooseSaveSelectionName(ctx_, state_)) display(state_);
  });
  ConnectAttach(file_, &state_.file);
  // Leaving the dialog closes it without saving.
  CancelWhenLeft(this);
}

void SaveSelectionDialog::display(const SaveSelectionDialogState& state) {
  state_ = state;
  setWindowTitle(Q(state_.caption));
  ShowFile(file_, state_.file, state_.nameButton, true);
  note_->setText(Q(state_.note));
  note_->setVisible(state_.noteVisible);
  ok_->setEnabled(state_.okEnabled);
  ok_->setDefault(state_.okEnabled);
}

std::optional<SaveSelectionDialogState> SaveSelectionDialog::choose(const SaveSelectionDialogState& state) {
  display(state);
  if (exec() != Accepted || !state_.okEnabled) return std::nullopt;
  return state_;
}

SplitDialog::SplitDialog(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName(QStringLiteral("TSplitForm"));
  auto* layout = new QVBoxLayout(this);
  for (int p = 0; p < 3; ++p) {
    auto* sw = new QCheckBox(this);
    switches_[static_cast<size_t>(p)] = sw;
    layout->addWidget(sw);
    auto* box = new QGroupBox(this);
    boxes_[static_cast<size_t>(p)] = box;
    auto* grid = new QGridLayout(box);
    files_[static_cast<size_t>(p)] = BuildFile(ctx_, p + 1, box, grid, 0);
    layout->addWidget(box);
    connect(sw, &QCheckBox::toggled, this, [this, p](bool on) {
      SetSplitPartSwitch(ctx_, state_, p, on);
      state_.okEnabled = SplitOkEnabled(state_);
      display(state_);
    });
    connect(files_[static_cast<size_t>(p)].name, &QPushButton::clicked, this, [this, p] {
      if (!ChooseSplitPartName(ctx_, state_, p)) return;
      state_.okEnabled = SplitOkEnabled(state_);
      display(state_);
    });
    ConnectAttach(files_[static_cast<size_t>(p)], &state_.parts[static_cast<size_t>(p)].file);
    for (QCheckBox* box : files_[static_cast<size_t>(p)].attach) box->installEventFilter(this);
  }
  note_ = new QLabel(this);
  layout->addWidget(note_);
  auto* buttons = new QHBoxLayout;
  justSelection_ = new QPushButton(this);
  justSelection_->setObjectName(QStringLiteral("justSaveSelection"));
  buttons->addWidget(justSelection_);
  buttons->addStretch();
  ok_ = new QPushButton(QStringLiteral("O&K"), this);
  ok_->setAccessibleName(QStringLiteral("OK"));
  auto* cancel = new QPushButton(QStringLiteral("cancel"), this);
  cancel->setAccessibleName(QStringLiteral("cancel"));
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(justSelection_, &QPushButton::clicked, this, [this] {
    state_.switchToSaveSelection = true;
    accept();
  });
}

int SplitDialog::focusedPart() const {
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr) return -1;
  for (size_t p = 0; p < 3; ++p) {
    const FileWidgets& f = files_[p];
    if (focus == switches_[p] || focus == f.name || focus == f.label) return static_cast<int>(p);
    for (QCheckBox* box : f.attach) {
      if (focus == box) return static_cast<int>(p);
    }
  }
  return -1;
}

bool SplitDialog::eventFilter(QObject* watched, QEvent* event) {
  // The three parts share the accelerators of their attach boxes: Alt and
  // the letter toggles the box of the part being worked on. Outside the parts
  // the key moves the focus from one such box to the next.
  if (event->type() != QEvent::Shortcut) return QDialog::eventFilter(watched, event);
  int part = focusedPart();
  if (part < 0) return false;
  for (size_t p = 0; p < 3; ++p) {
    for (size_t k = 0; k < files_[p].attach.size(); ++k) {
      if (files_[p].attach[k] != watched) continue;
      QCheckBox* target = files_[static_cast<size_t>(part)].attach[k];
      if (target->isEnabled()) {
        target->setFocus(Qt::ShortcutFocusReason);
        target->click();
      }
      return true;
    }
  }
  return false;
}

void SplitDialog::display(const SplitDialogState& state) {
  state_ = state;
  setWindowTitle(Q(state_.caption));
  for (size_t p = 0; p < 3; ++p) {
    const SplitPartState& part = state_.parts[p];
    QSignalBlocker block(switches_[p]);
    switches_[p]->setText(Q(part.switchCaption));
    switches_[p]->setAccessibleName(Plain(switches_[p]->text()));
    switches_[p]->setEnabled(part.available);
    switches_[p]->setChecked(part.switchedOn);
    boxes_[p]->setTitle(Q(part.caption));
    ShowFile(files_[p], part.file, part.nameButton, part.available && part.switchedOn);
  }
  justSelection_->setText(Display(state_.saveSelectionButton));
  justSelection_->setAccessibleName(Plain(justSelection_->text()));
  justSelection_->setToolTip(Q(state_.saveSelectionHint));
  justSelection_->setVisible(state_.selection);
  note_->setText(Q(state_.note));
  ok_->setEnabled(state_.okEnabled);
  ok_->setDefault(state_.okEnabled);
}

std::optional<SplitDialogState> SplitDialog::choose(const SplitDialogState& state) {
  display(state);
  state_.switchToSaveSelection = false;
  if (exec() != Accepted) return std::nullopt;
  if (!state_.switchToSaveSelection && !state_.okEnabled) return std::nullopt;
  return state_;
}

}  // namespace quorvel
