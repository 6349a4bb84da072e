#include "ui/about_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include "app/about_info.h"
#include "app/player.h"
#include "core/context.h"
#include "ui/message_windows.h"
#include "ui/window_manners.h"

namespace quorvel {

AboutWindow::AboutWindow(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName(QStringLiteral("TReadmeF"));
  setWindowTitle(QStringLiteral("about"));
  setAccessibleName(QStringLiteral("about"));
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("aboutText"));
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text_->setAccessibleName(QStringLiteral("About Quorvel"));
  layout->addWidget(text_);
  auto* buttons = new QHBoxLayout;
  openFolder_ = new QPushButton(QStringLiteral("Open the settings &folder"), this);
  openFolder_->setObjectName(QStringLiteral("openSettingsFolder"));
  openFolder_->setAccessibleName(QStringLiteral("Open the settings folder"));
  ok_ = new QPushButton(QStringLiteral("O&K"), this);
  ok_->setObjectName(QStringLiteral("aboutOk"));
  ok_->setAccessibleName(QStringLiteral("OK"));
  ok_->setDefault(true);
  buttons->addWidget(openFolder_);
  buttons->addStretch();
  buttons->addWidget(ok_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(openFolder_, &QPushButton::clicked, this, [this] {
    // The desktop opens the folder (an argument vector, never a shell command line).
    int code = OpenSettingsFolder(ctx_);
    if (code != 0) ShellErrorMessage(ctx_, code);
  });
  refresh();
  KeepPlace(this, ctx_.options.aboutBox);
}

void AboutWindow::refresh() {
  AboutInfo info = AboutInfoFor(ctx_);
  text_->setText(DisplayText(AboutText(info, qVersion())));
  openFolder_->setEnabled(!info.settingsFolder.empty());
  adjustSize();
}

}  // namespace quorvel
