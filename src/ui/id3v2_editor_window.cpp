#include "ui/id3v2_editor_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "core/options.h"
#include "tags/id3v2_catalogue.h"
#include "tags/message_kind.h"
#include "ui/multiline_window.h"
#include "ui/window_manners.h"

namespace quorvel {

namespace {

constexpr const char* kCaption = " ID3v2 (header) tag editor ";
constexpr std::array<const char*, kMainBoxCount> kBoxLabels = {
    "Title:", "Artist:", "Album:", "Genre:", "Composer:", "Copyright:", "URL:", "Comment:", "Year:", "Track no.",
    "bpm:",   "size:"};
// Each group's accelerator takes the focus to its list.
constexpr std::array<const char*, 4> kListNames = {"other te&xt fields", "other &mixed fields", "other &binary fields",
                                                   "&pictures"};
constexpr std::array<const char*, 4> kListWords = {"text", "mixed", "binary", "picture"};
constexpr std::array<uint8_t, 4> kListFieldKind = {kFieldText, kFieldMixed, kFieldBinary, kFieldPicture};
constexpr const char* kChooseItem = "- CHOOSE THE ITEM -";
constexpr const char* kNoItem = " no item to edit";
constexpr const char* kVersions[] = {" ID3v2.2", " ID3v2.3", " ID3v2.4", " other"};

const char* const kInstructions =
    "This is a one-time popup with instructions. Read carefully.\r\n\r\n"
    "\u261B Right click a non-empty textbox/combo for more functions.\r\n\r\n"
    "\u261B Hover mouse cursor over a non-empty textbox/combo to see basic field info.\r\n\r\n"
    "\u261B Use 8/16-bit alphabets freely (western and middle east). Not sure how it behaves with 32-bit "
    "hieroglyphs.";
const char* const kUnsyncHelp =
    "Mp3 frame header is recognized by a sequence of 11 bits.\r\nSoftware incompatible with id3v2 standard might "
    "therefore\r\ninterpret such data, if found inside a tag, as music, and\r\nproduce unpleasant sound or error "
    "message. To avoid this,\r\na method called unsynchronisation is introduced, to remove\r\nall "
    "frame-header-alike data from the tag (of course, there\r\nis a reverse process called synchronisation, which "
    "takes\r\nplace when reading the tag, so that no data loss occurs).\r\n\r\nIt's safe and it consumes little "
    "resources. But modern\r\nsoftware is compatible with id3v2 so you will probably\r\nnever need it.";
const char* const kFooterHelp =
    "Id3v2 version 4+ tag has the option to be ended with\r\na footer. This footer is almost identical to tag "
    "header\r\nand may be used to check data integrity. However\r\nmost software doesn't make any use of it. You "
    "may\r\nnot use both the padding and the footer.";
const char* const kPaddingHelp =
    "A sequence of zero bytes appended to the tag end.\r\nUsed to decrease disk operation. If unpadded tag\r\nis "
    "extended by a single byte, the whole mp3 file\r\nhas to be rewritten since id3v2 tag is on the file\r\n"
    "beginning. If padding is used, then only the zeroed\r\nbytes are overwritten when the tag is expanded.";
const char* const kTooManyFields = "The tag has more fields than the editor can show (65,535).";
const char* const kExtHeaderWarning =
    "Important notes:\r\n\r\nYou need to load all the data except the size.\r\nQuorvel will write the size "
    "automatically, and unsynchronise optionally.\r\n\r\nYou are advised not to use extended header. Proceed on "
    "your own risk.";

const char* const kHighlightStyle = "QLineEdit { background: rgb(128, 0, 0); color: rgb(255, 255, 191); }";
const char* const kDescriptionStyle = "QLineEdit { background: rgb(0, 0, 128); color: rgb(255, 255, 255); }";
const char* const kDescriptionHint =
    "Right-click or tab out (shift focus)\r\nwhen finished with \"content description\"";
const char* const kInvalidStyle = "QLineEdit { background: rgb(255, 0, 0); color: rgb(255, 255, 255); }";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Hints are written with CR LF; tool tips break lines at LF.
QString Hint(const std::string& s) {
  QString q = Q(s);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

QPushButton* Button(const char* caption, const char* hint, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  if (hint != nullptr) b->setToolTip(Hint(hint));
  b->setAccessibleName(QString::fromUtf8(caption).remove(QLatin1Char('&')).replace(QLatin1Char('\n'), QLatin1Char(' ')));
  return b;
}

QCheckBox* Check(const char* caption, const char* hint, QWidget* parent) {
  auto* c = new QCheckBox(QString::fromUtf8(caption), parent);
  if (hint != nullptr) c->setToolTip(Hint(hint));
  c->setAccessibleName(QString::fromUtf8(caption).remove(QLatin1Char('&')));
  return c;
}

// A field list: its popup closing without a choice ends the choosing of a new field.
class FieldList : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> popupClosed;

  void hidePopup() override {
    QComboBox::hidePopup();
    // A choice is reported after the popup closes; look once it has been.
    if (popupClosed) QTimer::singleShot(0, this, popupClosed);
  }
};

}  // namespace

Id3v2EditorWindow::Id3v2EditorWindow(Id3v2TagState& tag, Options& options, Id3v2EditorHooks hooks, QWidget* parent)
    : QDialog(parent, Qt::Window),
      ToolWindow(this, &options.id3v2Editor, Closing::kWithDocument),
      tag_(tag),
      options_(options),
      hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("TID3v2Form"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setAccessibleName(windowTitle().trimmed());
  setModal(false);

  // The twelve main boxes; the comment's language box follows the comment.
  auto* grid = new QGridLayout;
  auto addBox = [this](MainBox b) {
    const auto i = static_cast<size_t>(b);
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(static_cast<int>(kBoxMaxChars));
    edit->setMinimumWidth(b == MainBox::Year || b == MainBox::Track || b == MainBox::Bpm || b == MainBox::Size ? 60 : 200);
    QString name = QString::fromUtf8(kBoxLabels[i]);
    if (name.endsWith(QLatin1Char(':')) || name.endsWith(QLatin1Char('.'))) name.chop(1);
    edit->setAccessibleName(name);
    edit->installEventFilter(this);
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QLineEdit::customContextMenuRequested, this,
            [this, b, edit](const QPoint& at) { showBoxMenu(static_cast<int>(b), edit->mapToGlobal(at)); });
    auto* label = new QLabel(QString::fromUtf8(kBoxLabels[i]), this);
    label->setBuddy(edit);
    boxes_[i] = edit;
    labels_[i] = label;
    connect(edit, &QLineEdit::textEdited, this, [this, b](const QString& text) { boxEdited(b, text); });
  };
  int row = 0;
  for (MainBox b : {MainBox::Title, MainBox::Artist, MainBox::Album, MainBox::Genre, MainBox::Composer,
                    MainBox::Copyright, MainBox::Url, MainBox::Comment}) {
    addBox(b);
    grid->addWidget(labels_[static_cast<size_t>(b)], row, 0);
    grid->addWidget(box(b), row, 1, 1, b == MainBox::Comment ? 3 : 5);
    if (b == MainBox::Comment) {
      commentLanguage_ = new QLineEdit(this);
      commentLanguage_->setMaxLength(3);
      commentLanguage_->setFixedWidth(44);
      commentLanguage_->setToolTip(QStringLiteral("Comment language (3 characters)"));
      commentLanguage_->setAccessibleName(QStringLiteral("Comment language"));
      commentLanguage_->installEventFilter(this);
      grid->addWidget(commentLanguage_, row, 4);
      commentLines_ = Button("...", "Edit in multiple lines", this);
      commentLines_->setAccessibleName(QStringLiteral("Comment in multiple lines"));
      commentLines_->setFixedWidth(28);
      grid->addWidget(commentLines_, row, 5);
      connect(commentLines_, &QPushButton::clicked, this, [this] { openMultiLine(true); });
      connect(commentLanguage_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (filling_ || busy_ || !model_.isOpen()) return;
        model_.EditCommentLanguage(S(text));
        showBoxes();
      });
    }
    ++row;
  }
  for (auto pair : {std::pair{MainBox::Year, MainBox::Track}, std::pair{MainBox::Bpm, MainBox::Size}}) {
    addBox(pair.first);
    addBox(pair.second);
    grid->addWidget(labels_[static_cast<size_t>(pair.first)], row, 0);
    grid->addWidget(box(pair.first), row, 1);
    grid->addWidget(labels_[static_cast<size_t>(pair.second)], row, 2);
    grid->addWidget(box(pair.second), row, 3, 1, 3);
    ++row;
  }
  grid->setRowStretch(row, 1);

  // The four lists.
  auto* lists = new QVBoxLayout;
  for (size_t k = 0; k < lists_.size(); ++k) {
    const auto kind = static_cast<FieldListKind>(k);
    auto* group = new QGroupBox(QStringLiteral(" %1 ").arg(QString::fromUtf8(kListNames[k])), this);
    auto* inner = new QVBoxLayout(group);
    auto* list = new FieldList(group);
    list->popupClosed = [this, kind] {
      if (adding(kind)) cancelAdding();
    };
    list->setAccessibleName(QString::fromUtf8(kListNames[k]).remove(QLatin1Char('&')));
    list->setMinimumContentsLength(24);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMaxVisibleItems(20);
    lists_[k] = list;
    inner->addWidget(list);
    if (kind == FieldListKind::kText) {
      auto* line = new QHBoxLayout;
      otherText_ = new QLineEdit(group);
      otherText_->setMaxLength(static_cast<int>(kBoxMaxChars));
      otherText_->setAccessibleName(QStringLiteral("Text of the other text field"));
      otherText_->installEventFilter(this);
      otherText_->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(otherText_, &QLineEdit::customContextMenuRequested, this,
              [this](const QPoint& at) { showBoxMenu(kOtherTextBox, otherText_->mapToGlobal(at)); });
      auto* langLabel = new QLabel(QStringLiteral("lang."), group);
      otherLanguage_ = new QLineEdit(group);
      otherLanguage_->setMaxLength(3);
      otherLanguage_->setFixedWidth(44);
      otherLanguage_->setToolTip(QStringLiteral("Language used for this text field"));
      otherLanguage_->setAccessibleName(QStringLiteral("Language of the other text field"));
      otherLanguage_->installEventFilter(this);
      langLabel->setBuddy(otherLanguage_);
      line->addWidget(otherText_, 1);
      line->addWidget(langLabel);
      line->addWidget(otherLanguage_);
      otherLines_ = Button("...", "Edit in multiple lines", group);
      otherLines_->setAccessibleName(QStringLiteral("Other text in multiple lines"));
      otherLines_->setFixedWidth(28);
      line->addWidget(otherLines_);
      connect(otherLines_, &QPushButton::clicked, this, [this] { openMultiLine(false); });
      inner->addLayout(line);
      connect(otherText_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int64_t f = otherTextField();
        if (filling_ || busy_ || f < 0) return;
        if (descriptionBox_ == kOtherTextBox)
          model_.EditFieldDescription(static_cast<uint32_t>(f), S(text));
        else
          model_.EditField(static_cast<uint32_t>(f), S(text));
        showOtherText();
        refreshButtons();
      });
      connect(otherLanguage_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int64_t f = otherTextField();
        if (filling_ || busy_ || f < 0) return;
        model_.EditFieldLanguage(static_cast<uint32_t>(f), S(text));
      });
    }
    auto* buttons = new QHBoxLayout;
    removeButtons_[k] = Button("Remove field", nullptr, group);
    removeButtons_[k]->setAccessibleName(QStringLiteral("Remove %1 field").arg(QString::fromUtf8(kListWords[k])));
    addButtons_[k] = Button("Add a field", nullptr, group);
    addButtons_[k]->setAccessibleName(QStringLiteral("Add a %1 field").arg(QString::fromUtf8(kListWords[k])));
    buttons->addWidget(removeButtons_[k]);
    buttons->addWidget(addButtons_[k]);
    // The content of the selected field: view, save the original, load.
    auto* content = new QHBoxLayout;
    const QString word = QString::fromUtf8(kListWords[k]);
    viewButtons_[k] = Button(kind == FieldListKind::kText ? "View original" : "View current", nullptr, group);
    viewButtons_[k]->setAccessibleName(viewButtons_[k]->text() + QStringLiteral(" of the %1 field").arg(word));
    saveButtons_[k] = Button("Save original", nullptr, group);
    saveButtons_[k]->setAccessibleName(QStringLiteral("Save original of the %1 field").arg(word));
    content->addWidget(viewButtons_[k]);
    content->addWidget(saveButtons_[k]);
    connect(viewButtons_[k], &QPushButton::clicked, this, [this, kind] {
      const int64_t f = selectedField(kind);
      if (busy_ || f < 0 || !hooks_.viewContent) return;
      hooks_.viewContent(f, kind == FieldListKind::kText, std::string());
    });
    connect(saveButtons_[k], &QPushButton::clicked, this, [this, kind] {
      const int64_t f = selectedField(kind);
      if (busy_ || f < 0 || !hooks_.saveOriginal) return;
      hooks_.saveOriginal(static_cast<uint32_t>(f));
    });
    if (kind != FieldListKind::kText) {
      loadButtons_[k] = Button("Load from file", nullptr, group);
      loadButtons_[k]->setAccessibleName(QStringLiteral("Load the %1 field from a file").arg(word));
      content->addWidget(loadButtons_[k]);
      connect(loadButtons_[k], &QPushButton::clicked, this, [this, kind] {
        const int64_t f = selectedField(kind);
        if (busy_ || f < 0 || !hooks_.loadField) return;
        if (hooks_.loadField(static_cast<uint32_t>(f))) {
          showLists();
          refreshButtons();
        }
      });
    }
    if (kind == FieldListKind::kPicture) {
      list->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(list, &QWidget::customContextMenuRequested, this,
              [this, list](const QPoint& at) { showPictureMenu(list->mapToGlobal(at)); });
    }
    if (kind == FieldListKind::kText) {
      loadText_ = Button("Load from file", nullptr, group);
      loadText_->setAccessibleName(QStringLiteral("Load the text field from a file"));
      buttons->addWidget(loadText_);
      connect(loadText_, &QPushButton::clicked, this, [this] {
        const int64_t f = otherTextField();
        if (busy_ || f < 0 || !hooks_.loadTextField) return;
        if (hooks_.loadTextField(static_cast<uint32_t>(f))) {
          showLists();
          showBoxes();
        }
      });
    }
    inner->addLayout(buttons);
    inner->addLayout(content);
    lists->addWidget(group);
    connect(list, &QComboBox::activated, this, [this, kind](int index) {
      if (filling_) return;
      if (adding(kind)) {
        choose(kind, index);
        return;
      }
      if (kind == FieldListKind::kText && descriptionBox_ == kOtherTextBox) leaveDescriptionMode();
      showList(kind, index);
      if (kind == FieldListKind::kText) showOtherText();
    });
    connect(removeButtons_[k], &QPushButton::clicked, this, [this, kind] { removeSelected(kind); });
    connect(addButtons_[k], &QPushButton::clicked, this, [this, kind] { startAdding(kind); });
  }
  lists->addStretch();

  // The tag settings.
  auto* settings = new QGridLayout;
  version_ = new QComboBox(this);
  for (const char* v : kVersions) version_->addItem(QString::fromUtf8(v));
  version_->setAccessibleName(QStringLiteral("Version"));
  auto* minorLabel = new QLabel(QStringLiteral("minor:"), this);
  minor_ = new QSpinBox(this);
  minor_->setRange(0, 254);
  minor_->setAccessibleName(QStringLiteral("minor"));
  minorLabel->setBuddy(minor_);
  unsync_ = Check("unsynchronisation", nullptr, this);
  experimental_ = Check("experimental",
                        "Indicates that the tag is in experimental stage,\r\nwhatever that might mean to anyone\r\n"
                        "(use freely, probably with no effect whatsoever)",
                        this);
  footer_ = Check("footer", nullptr, this);
  extHeader_ = Check("extended header", nullptr, this);
  auto* paddingLabel = new QLabel(QStringLiteral("padding:"), this);
  padding_ = new QLineEdit(this);
  padding_->setMaxLength(8);
  padding_->setFixedWidth(80);
  padding_->setToolTip(QStringLiteral("Enter the number of bytes"));
  padding_->setAccessibleName(QStringLiteral("padding"));
  padding_->installEventFilter(this);
  paddingLabel->setBuddy(padding_);
  auto help = [this](const char* caption, const char* text) {
    auto* b = new QPushButton(QStringLiteral("?"), this);
    b->setFixedWidth(24);
    b->setAccessibleName(QStringLiteral("%1 help").arg(QString::fromUtf8(caption)));
    connect(b, &QPushButton::clicked, this, [this, caption, text] { report({text, caption, kMsgInfo}); });
    return b;
  };
  duplicates_ = Button("Remove\nduplicate\nfields", nullptr, this);
  erroneousBefore_ = new QLabel(QStringLiteral("Remove"), this);
  erroneous_ = Check("erroneous", "Remove fields with improper headers,\r\nencoding or language", this);
  erroneousAfter_ = new QLabel(QStringLiteral("fields"), this);
  invalidFields_ = Button("View invalid fields", nullptr, this);
  connect(invalidFields_, &QPushButton::clicked, this, [this] {
    if (!busy_ && hooks_.viewInvalidFields) hooks_.viewInvalidFields();
  });
  erroneousBefore_->installEventFilter(this);
  erroneousAfter_->installEventFilter(this);

  settings->addWidget(version_, 0, 0);
  settings->addWidget(minorLabel, 0, 1);
  settings->addWidget(minor_, 0, 2);
  settings->addWidget(unsync_, 0, 3);
  settings->addWidget(help("unsynchronisation", kUnsyncHelp), 0, 4);
  settings->addWidget(experimental_, 0, 5);
  settings->addWidget(paddingLabel, 1, 0);
  auto* paddingRow = new QHBoxLayout;
  paddingRow->addWidget(padding_);
  paddingRow->addWidget(help("padding", kPaddingHelp));
  paddingRow->addStretch();
  settings->addLayout(paddingRow, 1, 1, 1, 2);
  settings->addWidget(footer_, 1, 3);
  settings->addWidget(help("footer", kFooterHelp), 1, 4);
  settings->addWidget(extHeader_, 1, 5);
  auto* erroneousRow = new QHBoxLayout;
  erroneousRow->addWidget(erroneousBefore_);
  erroneousRow->addWidget(erroneous_);
  erroneousRow->addWidget(erroneousAfter_);
  erroneousRow->addWidget(invalidFields_);
  erroneousRow->addStretch();
  settings->addLayout(erroneousRow, 2, 0, 1, 6);
  settings->addWidget(duplicates_, 0, 6, 3, 1);

  // The buttons at the side.
  ok_ = Button("O&K", "Remember changes and close", this);
  cancel_ = Button("Cancel", nullptr, this);
  reload_ = Button("&Reload tag", "Discard changes and reload original data", this);
  scan_ = Button("&scan", "Extract data from the filename\r\n(and the folder name, optionally)", this);
  album_ = Check("album", "Use folder name as Album", this);
  split_ = Check("split", "Presume \"artist - album\" folder format", this);
  import_ = Button("id3v1 import", nullptr, this);
  export_ = Button("id3v1 export", nullptr, this);
  showDialog_ = Check("show dialog", nullptr, this);
  auto* side = new QVBoxLayout;
  for (QWidget* w :
       std::initializer_list<QWidget*>{ok_, cancel_, reload_, scan_, album_, split_, import_, export_, showDialog_}) {
    side->addWidget(w);
  }
  side->addStretch();

  auto* top = new QHBoxLayout;
  top->addLayout(grid, 3);
  top->addLayout(lists, 2);
  top->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(settings);

  // How contents are shown: texts in a message or by the desktop's application,
  // pictures in the image window or by the desktop's viewer.
  auto* viewers = new QHBoxLayout;
  auto* textViewers = new QGroupBox(QStringLiteral("view texts in"), this);
  auto* pictureViewers = new QGroupBox(QStringLiteral("view pictures in"), this);
  const std::array<std::pair<const char*, const char*>, 4> choices = {{
      {"a messagebox", "Standard Windows messagebox"},
      {"system app.", "An application assigned to open\r\nthe respective file type"},
      {"internal window", "A window inside Quorvel"},
      {"system app.", "An application assigned to open\r\nthe respective file type"},
  }};
  for (size_t i = 0; i < choices.size(); ++i) {
    QGroupBox* group = i < 2 ? textViewers : pictureViewers;
    auto* r = new QRadioButton(QString::fromUtf8(choices[i].first), group);
    r->setToolTip(Hint(choices[i].second));
    r->setAccessibleName(QString::fromUtf8(choices[i].first) + (i < 2 ? QStringLiteral(" for texts")
                                                                      : QStringLiteral(" for pictures")));
    viewerChoices_[i] = r;
    if (group->layout() == nullptr) new QHBoxLayout(group);
    group->layout()->addWidget(r);
  }
  viewers->addWidget(textViewers);
  viewers->addWidget(pictureViewers);
  layout->addLayout(viewers);
  auto viewerFlag = [this](uint8_t bit, bool on) {
    options_.displayFlags = static_cast<uint8_t>(on ? options_.displayFlags | bit : options_.displayFlags & ~bit);
  };
  connect(viewerChoices_[0], &QRadioButton::toggled, this,
          [viewerFlag](bool on) { viewerFlag(kTextsInMessageBox, on); });
  connect(viewerChoices_[2], &QRadioButton::toggled, this,
          [viewerFlag](bool on) { viewerFlag(kPicturesInInternalViewer, on); });

  highlightTimer_ = new QTimer(this);
  highlightTimer_->setSingleShot(true);
  highlightTimer_->setInterval(kHighlightMs);
  connect(highlightTimer_, &QTimer::timeout, this, &Id3v2EditorWindow::highlightExpired);

  connect(version_, &QComboBox::activated, this, [this](int index) {
    if (!filling_) changeVersion(index);
  });
  connect(minor_, &QSpinBox::valueChanged, this, [this](int value) {
    if (!filling_) model_.SetMinor(static_cast<unsigned>(value));
  });
  connect(unsync_, &QCheckBox::toggled, this, [this](bool on) {
    if (!filling_) model_.SetUnsync(on);
  });
  connect(experimental_, &QCheckBox::toggled, this, [this](bool on) {
    if (!filling_) model_.SetExperimental(on);
  });
  connect(extHeader_, &QCheckBox::toggled, this, [this](bool on) {
    if (!filling_) model_.SetExtendedHeader(on);
  });
  connect(footer_, &QCheckBox::toggled, this, [this](bool on) {
    if (filling_) return;
    model_.SetFooter(on, [this](const EditorQuestion& m) { report(m); });
    showSettings();
  });
  connect(padding_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (filling_) return;
    const bool valid = model_.SetPaddingText(S(text), [this](const EditorQuestion& m) { report(m); });
    padding_->setStyleSheet(valid ? QString() : QString::fromUtf8(kInvalidStyle));
    filling_ = true;
    footer_->setChecked(model_.footer());
    filling_ = false;
  });
  connect(duplicates_, &QPushButton::clicked, this, [this] {
    model_.RemoveDuplicates();
    showLists();
  });
  connect(erroneous_, &QCheckBox::toggled, this, [this](bool on) {
    if (!filling_) model_.SetDropErroneous(on);
  });
  connect(ok_, &QPushButton::clicked, this, &Id3v2EditorWindow::accept);
  connect(cancel_, &QPushButton::clicked, this, &Id3v2EditorWindow::reject);
  connect(reload_, &QPushButton::clicked, this, [this] {
    cancelAdding();
    highlightExpired();
    // The state is read again whatever the outcome; the window shows what is there.
    if (editing_ == nullptr) return;
    const bool read = hooks_.reloadTag ? hooks_.reloadTag() : true;
    if (model_.Reopen(read, options_.newTagFormat, options_.paddingIndex)) {
      prepare();
    } else {
      // Too many fields to show: the state the window was opened with comes back.
      report({kTooManyFields, "error", kMsgError | kMsgModal});
      reject();
    }
  });
  connect(scan_, &QPushButton::clicked, this, &Id3v2EditorWindow::scan);
  auto setSwitch = [this](uint8_t bit, bool on) {
    options_.volumeChannelAndTagSwitches = static_cast<uint8_t>(on ? options_.volumeChannelAndTagSwitches | bit
                                                                   : options_.volumeChannelAndTagSwitches & ~bit);
  };
  connect(album_, &QCheckBox::toggled, this, [this, setSwitch](bool on) {
    setSwitch(kTagSwitchFolderAsAlbum, on);
    split_->setEnabled(on && !busy_);
  });
  connect(split_, &QCheckBox::toggled, this, [setSwitch](bool on) { setSwitch(kTagSwitchSplitFolder, on); });
  connect(showDialog_, &QCheckBox::toggled, this, [this, setSwitch](bool on) {
    if (filling_) return;
    setSwitch(kTagSwitchShowTransferDialog, on);
    if (hooks_.switchesChanged) hooks_.switchesChanged();
  });
  // A running highlight (a scan's or a transfer's) holds both back.
  connect(import_, &QPushButton::clicked, this, [this] {
    if (!highlighting() && !busy_ && hooks_.transfer) hooks_.transfer(TransferDirection::kV1ToV2);
  });
  connect(export_, &QPushButton::clicked, this, [this] {
    if (!highlighting() && !busy_ && hooks_.transfer) hooks_.transfer(TransferDirection::kV2ToV1);
  });

  // Only O&K (a click or Alt+K) accepts: no button takes Enter for itself.
  for (QPushButton* b : findChildren<QPushButton*>()) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
}

void Id3v2EditorWindow::applyTransfer(const TransferResult<Id3v2EditorFields>& result) {
  std::vector<MainBox> changed = model_.ApplyTransfer(result);
  showBoxes();
  showLists();
  refreshButtons();
  show();
  raise();
  activateWindow();
  if (!changed.empty()) box(changed.front())->setFocus();
  highlight(changed);
}

void Id3v2EditorWindow::refresh(const Context& /*ctx*/, Changes what) {
  if ((what & kChangedOptions) != 0) syncShowDialog();
}

void Id3v2EditorWindow::syncShowDialog() {
  filling_ = true;
  showDialog_->setChecked(options_.volumeChannelAndTagSwitches & kTagSwitchShowTransferDialog);
  filling_ = false;
}

const std::vector<EditorListEntry>& Id3v2EditorWindow::entries(FieldListKind kind) const {
  switch (kind) {
    case FieldListKind::kText: return model_.textList();
    case FieldListKind::kMixed: return model_.mixedList();
    case FieldListKind::kBinary: return model_.binaryList();
    default: return model_.pictureList();
  }
}

void Id3v2EditorWindow::openFor(const std::string& sourcePath, bool sourceHadTag) {
  sourcePath_ = sourcePath;
  sourceHadTag_ = sourceHadTag;
  // Open (also when hidden with its window, the session goes on): to the front.
  if (isVisible() || model_.isOpen()) {
    show();
    raise();
    activateWindow();
    return;
  }
  editing_ = hooks_.beginSession ? &hooks_.beginSession() : &tag_;
  model_.SetSourcePath(sourcePath);
  if (!model_.Open(*editing_, options_.newTagFormat, options_.paddingIndex)) {
    editing_ = nullptr;
    if (hooks_.endSession) hooks_.endSession();
    report({kTooManyFields, "error", kMsgError | kMsgModal});
    return;
  }
  if (hooks_.sessionReady) hooks_.sessionReady();
  prepare();
  show();
  raise();
  activateWindow();
  box(MainBox::Title)->setFocus();
  if (options_.tagFlags & kTagFlagEditorInstructions) {
    options_.tagFlags = static_cast<uint8_t>(options_.tagFlags & ~kTagFlagEditorInstructions);
    if (hooks_.saveOptions) hooks_.saveOptions();
    report({kInstructions, "info", kMsgModal});
  }
}

// Draws the model afresh, as at opening; after "Reload tag" the model is
// opened again on the state read back.
void Id3v2EditorWindow::prepare() {
  if (!model_.isOpen()) return;
  adding_ = -1;
  if (descriptionBox_ >= 0) boxWidget(descriptionBox_)->setStyleSheet(QString());
  descriptionBox_ = -1;
  filling_ = true;
  const uint8_t switches = options_.volumeChannelAndTagSwitches;
  album_->setChecked(switches & kTagSwitchFolderAsAlbum);
  split_->setChecked(switches & kTagSwitchSplitFolder);
  showDialog_->setChecked(switches & kTagSwitchShowTransferDialog);
  viewerChoices_[(options_.displayFlags & kTextsInMessageBox) ? 0 : 1]->setChecked(true);
  viewerChoices_[(options_.displayFlags & kPicturesInInternalViewer) ? 2 : 3]->setChecked(true);
  filling_ = false;
  for (QLineEdit* e : boxes_) e->setStyleSheet(QString());
  padding_->setStyleSheet(QString());
  showBoxes();
  showLists();
  for (QComboBox* l : lists_) l->setCurrentIndex(0);
  showOtherText();
  showSettings();
}

void Id3v2EditorWindow::showBoxes() {
  if (!model_.isOpen()) return;
  filling_ = true;
  for (size_t i = 0; i < boxes_.size(); ++i) {
    const auto b = static_cast<MainBox>(i);
    const QString text = Q(model_.BoxText(b));
    if (boxes_[i]->text() != text) {
      boxes_[i]->setText(text);
      boxes_[i]->setCursorPosition(0);  // the start of a long text in view
    }
    // A text that could not be read whole is not typed over.
    boxes_[i]->setReadOnly(!model_.BoxEditable(b));
    const int64_t f = model_.BoxField(b);
    const bool shown = f >= 0 && static_cast<size_t>(f) < model_.tag().fields.size();
    if (descriptionBox_ == static_cast<int>(i))
      boxes_[i]->setToolTip(Hint(kDescriptionHint));
    else
      boxes_[i]->setToolTip(shown ? Hint(model_.tag().fields[static_cast<size_t>(f)].thint) : QString());
  }
  const QString lang = Q(model_.CommentLanguage());
  if (commentLanguage_->text() != lang) commentLanguage_->setText(lang);
  commentLanguage_->setReadOnly(!model_.BoxEditable(MainBox::Comment));
  filling_ = false;
}

void Id3v2EditorWindow::showLists() {
  // The lists are drawn from the model again: a choice of a new field ends,
  // and the other-text box may come to show another field.
  cancelAdding();
  if (descriptionBox_ == kOtherTextBox) leaveDescriptionMode();
  for (size_t k = 0; k < lists_.size(); ++k) showList(static_cast<FieldListKind>(k), lists_[k]->currentIndex());
  showOtherText();
  refreshButtons();
}

void Id3v2EditorWindow::showList(FieldListKind kind, int selectRow) {
  const auto k = static_cast<size_t>(kind);
  QComboBox* list = lists_[k];
  const std::vector<EditorListEntry>& e = entries(kind);
  filling_ = true;
  list->clear();
  if (e.empty()) {
    list->addItem(QString::fromUtf8(Id3v2Editor::EmptyListText(kListFieldKind[k])));
  } else {
    for (const EditorListEntry& entry : e) list->addItem(Q(entry.text));
  }
  // The entry kept selected, or the last one when the list became shorter.
  const int last = list->count() - 1;
  list->setCurrentIndex(std::clamp(selectRow, 0, last));
  if (!e.empty() && model_.isOpen()) {
    const int64_t f = e[static_cast<size_t>(list->currentIndex())].field;
    list->setToolTip(Hint(model_.tag().fields[static_cast<size_t>(f)].thint));
  } else {
    list->setToolTip(QString());
  }
  filling_ = false;
  refreshButtons();
}

int64_t Id3v2EditorWindow::selectedField(FieldListKind kind) const {
  if (kind == FieldListKind::kText) return otherTextField();
  if (!model_.isOpen() || adding_ >= 0) return -1;
  const std::vector<EditorListEntry>& e = entries(kind);
  const int row = lists_[static_cast<size_t>(kind)]->currentIndex();
  if (row < 0 || static_cast<size_t>(row) >= e.size()) return -1;
  return e[static_cast<size_t>(row)].field;
}

void Id3v2EditorWindow::showPictureMenu(const QPoint& globalPos) {
  if (busy_ || !model_.isOpen()) return;
  // While a new field is chosen the list holds candidates, not pictures.
  if (adding_ >= 0) return;
  const int64_t f = selectedField(FieldListKind::kPicture);
  QMenu menu(this);
  QAction* description = menu.addAction(QStringLiteral("Content description"));
  description->setEnabled(f >= 0);
  menu.addSeparator();
  QAction* internal = menu.addAction(QStringLiteral("View using &internal viewer"));
  QAction* external = menu.addAction(QStringLiteral("View using e&xternal (system) viewer"));
  internal->setCheckable(true);
  external->setCheckable(true);
  internal->setChecked(viewerChoices_[2]->isChecked());
  external->setChecked(viewerChoices_[3]->isChecked());
  menu.addSeparator();
  QAction* original = menu.addAction(QStringLiteral("View &original content (when edited)"));
  original->setEnabled(f >= 0 && !(model_.tag().fields[static_cast<size_t>(f)].akcija & kFieldAdded));
  QAction* information = menu.addAction(QStringLiteral("Extended information"));
  information->setEnabled(f >= 0);
  QAction* chosen = menu.exec(globalPos);
  if (chosen == description) showPictureDescription();
  if (chosen == internal) viewerChoices_[2]->setChecked(true);
  if (chosen == external) viewerChoices_[3]->setChecked(true);
  if (chosen == original && hooks_.viewContent) hooks_.viewContent(f, true, std::string());
  if (chosen == information && hooks_.fieldInformation) hooks_.fieldInformation(f, std::string());
}

int64_t Id3v2EditorWindow::otherTextField() const {
  if (!model_.isOpen()) return -1;
  const std::vector<EditorListEntry>& e = model_.textList();
  const int row = lists_[0]->currentIndex();
  if (adding_ >= 0 || row < 0 || static_cast<size_t>(row) >= e.size()) return -1;
  return e[static_cast<size_t>(row)].field;
}

void Id3v2EditorWindow::showOtherText() {
  filling_ = true;
  const int64_t f = otherTextField();
  QString text = QString::fromUtf8(kNoItem);
  bool editable = false;
  QString lang = QStringLiteral("n/a");
  bool langEditable = false;
  if (f < 0 && descriptionBox_ == kOtherTextBox) descriptionBox_ = -1;
  if (f >= 0) {
    const Id3v2Field& field = model_.tag().fields[static_cast<size_t>(f)];
    if (field.err & kErrUnknownEncoding) {
      text = QStringLiteral("- UNKNOWN ENCODING TYPE (PROBABLY JUST DAMAGED) -");
    } else if (field.err & kErrMissingLanguage) {
      text = QStringLiteral("- LANGUAGE INFORMATION MISSING -");
    } else if (field.err & kErrTooLarge) {
      text = QStringLiteral("- TOO LARGE TO DISPLAY (1 KB MAX) -");
    } else {
      text = Q(model_.FieldText(static_cast<uint32_t>(f), descriptionBox_ == kOtherTextBox));
      editable = true;
    }
    if (field.sub & kPartLanguage) {
      lang = Q(field.tlan);
      langEditable = editable;
    }
    otherText_->setToolTip(Hint(descriptionBox_ == kOtherTextBox ? std::string(kDescriptionHint) : field.thint));
  } else {
    otherText_->setToolTip(QString());
  }
  if (otherText_->text() != text) {
    otherText_->setText(text);
    otherText_->setCursorPosition(0);
  }
  otherText_->setEnabled(editable && !busy_);
  if (otherLanguage_->text() != lang) otherLanguage_->setText(lang);
  otherLanguage_->setEnabled(langEditable && !busy_);
  loadText_->setEnabled(f >= 0 && !busy_);
  // Editable means a field is shown.
  otherLines_->setEnabled(editable && !busy_ && Id3v2Editor::MultiLineAllowed(model_.tag().fields[static_cast<size_t>(f)].ind));
  filling_ = false;
}

void Id3v2EditorWindow::showSettings() {
  if (!model_.isOpen()) return;
  filling_ = true;
  const unsigned shown = model_.DisplayVersion();
  version_->setCurrentIndex(static_cast<int>(shown) - 2);
  minor_->setValue(model_.tag().tagversion.minor);
  unsync_->setChecked(model_.tag().unsync);
  experimental_->setChecked(model_.tag().experimental);
  footer_->setChecked(model_.tag().footer);
  extHeader_->setChecked(model_.tag().exthead);
  const QString padding = QString::number(model_.tag().padding);
  if (padding_->text() != padding) padding_->setText(padding);
  padding_->setStyleSheet(QString());
  erroneous_->setChecked(model_.dropErroneous());
  filling_ = false;
  refreshButtons();
}

// The enabled state of everything that depends on the model.
void Id3v2EditorWindow::refreshButtons() {
  if (busy_ || !model_.isOpen()) return;
  for (size_t k = 0; k < lists_.size(); ++k) {
    const bool any = !entries(static_cast<FieldListKind>(k)).empty();
    const bool thisAdding = adding_ == static_cast<int>(k);
    lists_[k]->setEnabled(any || thisAdding);
    removeButtons_[k]->setEnabled(any && adding_ < 0);
    for (QPushButton* b : {viewButtons_[k], saveButtons_[k], loadButtons_[k]}) {
      if (b != nullptr) b->setEnabled(any && adding_ < 0);
    }
    addButtons_[k]->setEnabled(adding_ < 0);
  }
  duplicates_->setEnabled(model_.HasDuplicates());
  const bool erroneous = model_.HasErroneousFields();
  erroneous_->setEnabled(erroneous);
  invalidFields_->setEnabled(erroneous);
  erroneousBefore_->setEnabled(erroneous);
  erroneousAfter_->setEnabled(erroneous);
  reload_->setEnabled(sourceHadTag_ || !model_.tag().fields.empty());
  split_->setEnabled(album_->isChecked());
}

void Id3v2EditorWindow::boxEdited(MainBox b, const QString& text) {
  if (filling_ || busy_ || !model_.isOpen()) return;
  QLineEdit* edit = box(b);
  const int cursor = edit->cursorPosition();
  model_.EditBox(b, S(text));
  showBoxes();
  edit->setCursorPosition(std::min(cursor, static_cast<int>(edit->text().size())));
  refreshButtons();
}

void Id3v2EditorWindow::removeSelected(FieldListKind kind) {
  const std::vector<EditorListEntry>& e = entries(kind);
  const int row = list(kind)->currentIndex();
  if (row < 0 || static_cast<size_t>(row) >= e.size()) return;
  model_.RemoveField(e[static_cast<size_t>(row)].field);
  showLists();
}

void Id3v2EditorWindow::startAdding(FieldListKind kind) {
  if (adding_ >= 0 || busy_) return;
  const auto k = static_cast<size_t>(kind);
  QComboBox* l = lists_[k];
  if (kind == FieldListKind::kPicture) {
    candidates_ = model_.PictureCandidates();
  } else {
    candidates_ = model_.AddCandidates(kListFieldKind[k]);
    if (candidates_.empty()) {
      report({"Already used all items of this sort.", "error", kMsgError | kMsgModal});
      return;
    }
  }
  adding_ = static_cast<int>(k);
  filling_ = true;
  l->clear();
  const unsigned major = model_.DisplayVersion();
  for (uint8_t c : candidates_) {
    if (kind == FieldListKind::kPicture) {
      l->addItem(QString::fromUtf8(PictureTypeName(c)));
    } else if (c == kExtHeaderIndex) {
      l->addItem(QString::fromUtf8(Id3v2Catalogue[c].description));
    } else {
      l->addItem(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(Id3v2Catalogue[c].description),
                                               QString::fromUtf8(Id3v2Code(c, major))));
    }
  }
  l->addItem(QString::fromUtf8(kChooseItem));
  l->setCurrentIndex(l->count() - 1);
  filling_ = false;
  showOtherText();
  refreshButtons();
  l->setFocus();
  if (isVisible()) l->showPopup();
}

void Id3v2EditorWindow::choose(FieldListKind kind, int row) {
  if (!adding(kind)) return;
  const std::vector<uint8_t> candidates = candidates_;
  const QString typed = otherText_->isEnabled() ? otherText_->text() : QString();
  cancelAdding();
  if (row < 0 || static_cast<size_t>(row) >= candidates.size()) return;  // "- CHOOSE THE ITEM -"
  const uint8_t chosen = candidates[static_cast<size_t>(row)];
  std::optional<uint32_t> added;
  if (kind == FieldListKind::kPicture) {
    added = model_.AddPicture(chosen);
  } else {
    if (chosen == kExtHeaderIndex) report({kExtHeaderWarning, "warning", kMsgWarning | kMsgModal});
    added = model_.AddField(chosen);
  }
  if (!added) return;
  if (kind == FieldListKind::kText) {
    model_.EditField(*added, S(typed));
  } else if (!hooks_.loadField || !hooks_.loadField(*added)) {
    // Nothing loaded: the field stays an added field without content, never written.
    model_.RemoveField(*added);
  }
  // Select the new field.
  const std::vector<EditorListEntry>& e = entries(kind);
  int select = 0;
  for (size_t i = 0; i < e.size(); ++i)
    if (e[i].field == *added) select = static_cast<int>(i);
  showLists();
  showList(kind, select);
  if (kind == FieldListKind::kText) showOtherText();
}

void Id3v2EditorWindow::cancelAdding() {
  if (adding_ < 0) return;
  const auto kind = static_cast<FieldListKind>(adding_);
  adding_ = -1;
  candidates_.clear();
  lists_[static_cast<size_t>(kind)]->hidePopup();
  showList(kind, 0);
  if (kind == FieldListKind::kText) showOtherText();
  refreshButtons();
}

void Id3v2EditorWindow::changeVersion(int row) {
  const auto major = static_cast<unsigned>(row + 2);
  const bool changed = model_.ChangeVersion(major, [this](const EditorQuestion& q) { return askYes(q); },
                                            [this](const EditorQuestion& m) { report(m); });
  if (!changed) {
    filling_ = true;
    version_->setCurrentIndex(static_cast<int>(std::min(model_.DisplayVersion(), 4u)) - 2);
    filling_ = false;
    return;
  }
  showBoxes();
  showLists();
}

void Id3v2EditorWindow::scan() {
  if (highlighting() || busy_) return;
  std::array<std::string, kMainBoxCount> before;
  for (size_t i = 0; i < boxes_.size(); ++i) before[i] = model_.BoxText(static_cast<MainBox>(i));
  model_.Scan(sourcePath_, album_->isChecked(), split_->isEnabled() && split_->isChecked());
  showBoxes();
  refreshButtons();
  std::vector<MainBox> changed;
  for (size_t i = 0; i < boxes_.size(); ++i)
    if (model_.BoxText(static_cast<MainBox>(i)) != before[i]) changed.push_back(static_cast<MainBox>(i));
  highlight(changed);
}

QLineEdit* Id3v2EditorWindow::boxWidget(int which) const {
  return which == kOtherTextBox ? otherText_ : boxes_[static_cast<size_t>(which)];
}

int64_t Id3v2EditorWindow::boxFieldOf(int which) const {
  if (!model_.isOpen()) return -1;
  const int64_t f = which == kOtherTextBox ? otherTextField() : model_.BoxField(static_cast<MainBox>(which));
  return f >= 0 && static_cast<size_t>(f) < model_.tag().fields.size() ? f : -1;
}

bool Id3v2EditorWindow::enterDescriptionMode(int which) {
  if (busy_ || !model_.isOpen() || which < 0 || which > kOtherTextBox) return false;
  const bool mainBox = which != kOtherTextBox;
  if (mainBox && which != static_cast<int>(MainBox::Url) && which != static_cast<int>(MainBox::Comment)) return false;
  leaveDescriptionMode();
  int64_t f = boxFieldOf(which);
  if (f < 0 && !mainBox) return false;
  if (f >= 0 && !(model_.tag().fields[static_cast<size_t>(f)].sub & kPartDescription)) return false;
  const uint8_t index = f >= 0 ? model_.tag().fields[static_cast<size_t>(f)].ind : MainBoxIndex(static_cast<MainBox>(which));
  const std::string code = Id3v2Code(index, model_.DisplayVersion());
  std::string question;
  if (f < 0) {
    question = "Content description:\r\n- the field doesn't exist -\r\n\r\nADD IT?";
  } else if (!model_.tag().fields[static_cast<size_t>(f)].tcont.empty()) {
    question = "Content description:\r\n" + model_.tag().fields[static_cast<size_t>(f)].tcont + "\r\n\r\nEDIT?";
  } else {
    question = "Content description:\r\n- the field is empty -\r\nADD IT?";
  }
  if (hooks_.ask && hooks_.ask(question, kMsgModal, code) == kAnswerNo) return false;
  if (f < 0) {
    const std::optional<uint32_t> added = model_.BoxFieldOrAdd(static_cast<MainBox>(which));
    if (!added) return false;
  }
  descriptionBox_ = which;
  QLineEdit* edit = boxWidget(which);
  edit->setStyleSheet(QString::fromUtf8(kDescriptionStyle));
  if (mainBox) {
    model_.SetDescriptionMode(static_cast<MainBox>(which), true);
    showBoxes();
  } else {
    showOtherText();
  }
  edit->setFocus(Qt::OtherFocusReason);
  return true;
}

void Id3v2EditorWindow::leaveDescriptionMode() {
  const int which = descriptionBox_;
  if (which < 0) return;
  descriptionBox_ = -1;
  boxWidget(which)->setStyleSheet(QString());
  if (which != kOtherTextBox) {
    model_.SetDescriptionMode(static_cast<MainBox>(which), false);
    showBoxes();
  } else {
    showOtherText();
  }
}

void Id3v2EditorWindow::reloadOriginal(int which) {
  const int64_t f = boxFieldOf(which);
  if (busy_ || f < 0) return;
  leaveDescriptionMode();
  model_.ReloadOriginal(static_cast<uint32_t>(f), [this](const EditorQuestion& m) { report(m); });
  showBoxes();
  showOtherText();
  refreshButtons();
}

void Id3v2EditorWindow::showPictureDescription() {
  if (!model_.isOpen()) return;
  const std::vector<EditorListEntry>& e = model_.pictureList();
  const int row = lists_[static_cast<size_t>(FieldListKind::kPicture)]->currentIndex();
  if (row < 0 || static_cast<size_t>(row) >= e.size()) return;
  const Id3v2Field& f = model_.tag().fields[e[static_cast<size_t>(row)].field];
  const std::string caption = std::string("PICTURE: ") + PictureTypeName(f.sub);
  if (f.tcont.empty())
    report({"- the field is empty -", caption, kMsgWarning});
  else
    report({f.tcont, caption, kMsgInfo});
}

void Id3v2EditorWindow::showBoxMenu(int which, const QPoint& globalPos) {
  if (busy_ || !model_.isOpen()) return;
  QLineEdit* edit = boxWidget(which);
  const int64_t f = boxFieldOf(which);
  QMenu menu(this);
  QAction* description = nullptr;
  QAction* revert = nullptr;
  if (descriptionBox_ == which) {
    revert = menu.addAction(QStringLiteral("Revert to main text display"));
  } else {
    const bool canDescribe = which == kOtherTextBox
                                 ? f >= 0 && (model_.tag().fields[static_cast<size_t>(f)].sub & kPartDescription) &&
                                       edit->isEnabled()
                                 : which == static_cast<int>(MainBox::Url) || which == static_cast<int>(MainBox::Comment);
    if (canDescribe) description = menu.addAction(QStringLiteral("Content description"));
  }
  const std::string boxName = edit->accessibleName().toStdString();
  QAction* viewOriginal = menu.addAction(QStringLiteral("View original content"));
  QAction* viewCurrent = menu.addAction(QStringLiteral("View current content"));
  viewCurrent->setEnabled(f >= 0);
  QAction* information = menu.addAction(QStringLiteral("Extended information"));
  QAction* reload = menu.addAction(QStringLiteral("Reload original content"));
  const uint8_t akcija = f >= 0 ? model_.tag().fields[static_cast<size_t>(f)].akcija : 0;
  reload->setEnabled(f >= 0 && !(akcija & kFieldAdded) &&
                     (akcija & (kFieldLoaded | kFieldEdited | kFieldEditedMultiLine)) != 0);
  menu.addSeparator();
  QAction* copy = menu.addAction(QStringLiteral("&Copy  (Ctrl+C)"));
  QAction* paste = menu.addAction(QStringLiteral("&Paste  (Ctrl+V)"));
  QAction* cut = menu.addAction(QStringLiteral("Cu&t  (Ctrl+X)"));
  copy->setEnabled(edit->hasSelectedText());
  cut->setEnabled(edit->hasSelectedText() && edit->isEnabled());
  paste->setEnabled(edit->isEnabled());
  QAction* chosen = menu.exec(globalPos);
  if (chosen == nullptr) return;
  if (chosen == viewOriginal || chosen == viewCurrent) {
    if (hooks_.viewContent) hooks_.viewContent(f, chosen == viewOriginal, boxName);
  } else if (chosen == information) {
    if (hooks_.fieldInformation) hooks_.fieldInformation(f, boxName);
  } else if (chosen == description) {
    enterDescriptionMode(which);
  } else if (chosen == revert) {
    leaveDescriptionMode();
  } else if (chosen == reload) {
    reloadOriginal(which);
  } else if (chosen == copy) {
    edit->copy();
  } else if (chosen == cut) {
    edit->cut();
  } else if (chosen == paste) {
    edit->paste();
  }
}

void Id3v2EditorWindow::openMultiLine(bool comment) {
  if (busy_ || !model_.isOpen()) return;
  // A comment box without a field opens on an empty text; the field is added
  // only when a text is stored, so that looking is no change.
  std::optional<uint32_t> field;
  if (comment) {
    const int64_t existing = model_.BoxField(MainBox::Comment);
    if (existing >= 0) field = static_cast<uint32_t>(existing);
  } else if (otherTextField() >= 0) {
    field = static_cast<uint32_t>(otherTextField());
    if (!Id3v2Editor::MultiLineAllowed(model_.tag().fields[*field].ind)) return;
  } else {
    return;
  }
  if (multiLine_ == nullptr) multiLine_ = new MultiLineWindow(options_, hooks_.ask, this);
  const QString name = comment ? QStringLiteral("COMMENT")
                               : QString::fromUtf8(Id3v2Catalogue[model_.tag().fields[*field].ind].description).toUpper();
  showBoxes();
  multiLine_->openOn(QStringLiteral("multiple lines input: ") + name, field ? model_.MultiLineText(*field) : "",
                     field ? model_.OriginalMultiLineText(*field) : "", [this, field](const std::string& text) {
                       if (!model_.isOpen()) return;
                       std::optional<uint32_t> f = field;
                       if (!f) f = model_.BoxFieldOrAdd(MainBox::Comment);
                       if (!f) return;
                       model_.StoreMultiLine(*f, text);
                       showBoxes();
                       showOtherText();
                       refreshButtons();
                     });
}

void Id3v2EditorWindow::highlight(const std::vector<MainBox>& which) {
  for (MainBox b : which) box(b)->setStyleSheet(QString::fromUtf8(kHighlightStyle));
  highlightTimer_->start();
}

bool Id3v2EditorWindow::highlighting() const { return highlightTimer_->isActive(); }

void Id3v2EditorWindow::highlightExpired() {
  highlightTimer_->stop();
  for (QLineEdit* e : boxes_) e->setStyleSheet(QString());
  if (descriptionBox_ >= 0) boxWidget(descriptionBox_)->setStyleSheet(QString::fromUtf8(kDescriptionStyle));
}

void Id3v2EditorWindow::setBusy(bool busy) {
  if (busy == busy_) return;
  if (busy) cancelAdding();
  busy_ = busy;
  for (QWidget* w : findChildren<QWidget*>()) {
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
        qobject_cast<QSpinBox*>(w)) {
      w->setEnabled(!busy);
    }
  }
  // A closed editor keeps no model to draw; opening draws it afresh.
  if (!busy && model_.isOpen()) {
    showOtherText();
    refreshButtons();
  }
}

void Id3v2EditorWindow::report(const EditorQuestion& m) {
  if (hooks_.message) hooks_.message(m.text, m.kind, m.caption);
}

bool Id3v2EditorWindow::askYes(const EditorQuestion& q) {
  return hooks_.ask && hooks_.ask(q.text, q.kind, q.caption) == kAnswerYes;
}

void Id3v2EditorWindow::accept() {
  if (busy_ || !model_.isOpen()) return;
  cancelAdding();
  bool writeTag = false;
  if (!model_.Ok([this](const EditorQuestion& q) { return askYes(q); }, writeTag)) return;  // back to the editor
  editing_ = nullptr;
  if (hooks_.commitSession) hooks_.commitSession(writeTag);
  if (hooks_.endSession) hooks_.endSession();
  finishClosing(true, writeTag);
  QDialog::accept();
}

void Id3v2EditorWindow::reject() {
  if (busy_) return;  // read-only while an operation runs
  model_.Cancel();
  editing_ = nullptr;
  if (hooks_.endSession) hooks_.endSession();
  finishClosing(false, false);
  QDialog::reject();
}

void Id3v2EditorWindow::cancelAndClose() {
  if (isVisible() || model_.isOpen()) reject();
}

bool Id3v2EditorWindow::hasPendingChanges() const {
  return model_.isOpen() && hooks_.sessionChanged && hooks_.sessionChanged();
}

bool Id3v2EditorWindow::applyChanges() {
  if (!hasPendingChanges()) return true;
  cancelAdding();
  bool writeTag = false;
  if (!model_.Confirm([this](const EditorQuestion& q) { return askYes(q); }, writeTag)) {
    show();
    raise();
    activateWindow();
    return false;
  }
  if (hooks_.commitSession) hooks_.commitSession(writeTag);
  model_.Applied();
  refreshButtons();
  return true;
}

void Id3v2EditorWindow::endSession() {
  // The engine ended the session (the document went): the window lets go of
  // the copy without touching it and closes, whether or not an operation runs.
  if (!model_.isOpen() && !isVisible()) return;
  model_.Drop();
  editing_ = nullptr;
  adding_ = -1;
  descriptionBox_ = -1;
  if (multiLine_ != nullptr) multiLine_->discard();
  highlightTimer_->stop();
  options_.id3v2Editor = {x(), y()};
  QDialog::reject();
}

void Id3v2EditorWindow::finishClosing(bool accepted, bool writeTag) {
  adding_ = -1;
  if (descriptionBox_ >= 0) boxWidget(descriptionBox_)->setStyleSheet(QString());
  descriptionBox_ = -1;
  if (multiLine_ != nullptr) multiLine_->discard();
  highlightExpired();
  options_.id3v2Editor = {x(), y()};
  if (hooks_.closed) hooks_.closed(accepted, writeTag);
}

void Id3v2EditorWindow::closeEvent(QCloseEvent* event) {
  // The title bar's close button is Cancel: nothing the user did not accept is kept.
  if (busy_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);  // reject() when visible
}

void Id3v2EditorWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    if (adding_ >= 0) {
      cancelAdding();
      return;
    }
    reject();
    return;
  }
  // Enter moves on as Tab does; QDialog would press its default button.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    focusNextPrevChild(!(event->modifiers() & Qt::ShiftModifier));
    return;
  }
  QDialog::keyPressEvent(event);
}

bool Id3v2EditorWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched) != nullptr) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      // To the next (Shift: the previous) text box, past the buttons between.
      const bool forward = !(key->modifiers() & Qt::ShiftModifier);
      QWidget* w = static_cast<QWidget*>(watched);
      for (int i = 0; i < 500; ++i) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == watched) break;
        if (qobject_cast<QLineEdit*>(w) != nullptr && w->window() == this && w->isEnabled() && w->isVisible() &&
            (w->focusPolicy() & Qt::TabFocus) && qobject_cast<QSpinBox*>(w->parentWidget()) == nullptr) {
          w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
          break;
        }
      }
      return true;
    }
  }
  // Leaving the box ends its content-description mode (a menu or another
  // window taking the focus for a while does not).
  if (event->type() == QEvent::FocusOut && descriptionBox_ >= 0 && watched == boxWidget(descriptionBox_)) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) leaveDescriptionMode();
  }
  // A click on "Remove" or "fields" toggles the switch between them.
  if (event->type() == QEvent::MouseButtonRelease && (watched == erroneousBefore_ || watched == erroneousAfter_)) {
    if (erroneous_->isEnabled()) erroneous_->toggle();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace quorvel
