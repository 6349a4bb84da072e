// The window with a long file: the time to open it until the strip has been
// painted, and the time to paint the strip for the view at its end.
//   QT_QPA_PLATFORM=offscreen window_bench FILE [paint runs]
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/main_window.h"
#include "ui/strip_widgets.h"
#include "view/view_state.h"

using namespace quorvel;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_bench FILE [paint runs]\n");
    return 2;
  }
  QApplication app(argc, argv);
  int runs = argc > 2 ? std::atoi(argv[2]) : 501;
  MainWindow w;
  w.show();
  QApplication::processEvents();

  QImage image(w.strip()->size() * w.strip()->devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(w.strip()->devicePixelRatio());
  auto t0 = Clock::now();
  w.openFile(argv[1]);
  w.strip()->render(&image);
  double openSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!w.context().doc.loaded) {
    std::fprintf(stderr, "window_bench: %s did not load\n", argv[1]);
    return 1;
  }
  ViewToEnd(w.context().doc);
  w.refreshAll();

  std::vector<double> micros;
  for (int i = 0; i < runs; ++i) {
    auto a = Clock::now();
    w.strip()->render(&image);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - a).count());
  }
  std::sort(micros.begin(), micros.end());
  std::printf("frames %d\nopen+first paint s %.4f\nstrip paint at the end, median us %.1f (of %d)\n",
              w.context().doc.editCount, openSeconds, micros[micros.size() / 2], runs);
  w.context().doc.unsavedChanges = false;
  return 0;
}
