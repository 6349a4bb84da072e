#include "ui/editor.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/player.h"
#include "app/startup.h"
#include "ui/main_window.h"

namespace quorvel {

namespace {

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

}  // namespace

int RunEditor(int argc, char** argv, const std::vector<std::string>& params) {
  // Without a display Qt would abort; say it plainly instead.
  if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
    std::fputs("quorvel: the editor window is not available: no display (DISPLAY and WAYLAND_DISPLAY are unset)\n",
               stderr);
    std::fputs(UsageText(), stderr);
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvel"));
  QApplication::setApplicationDisplayName(QStringLiteral("Quorvel"));
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  InstanceMarker marker;
  MainWindow window;
  StartState state;
  state.anotherInstance = marker.anotherInstance();
  StartProgram(window.context(), state);
  // The registered player and its enqueue command, looked up at the window's creation.
  window.player().commands = LookUpPlayerCommands();
  window.setStart(state, params);

  window.move(window.rememberedPlace());
  window.show();
  window.raise();
  window.activateWindow();
  // Without a window manager the window may never be activated; start anyway.
  QTimer::singleShot(500, &window, &MainWindow::firstActivation);
  return app.exec();
}

}  // namespace quorvel
