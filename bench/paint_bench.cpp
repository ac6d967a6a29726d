// SPDX-License-Identifier: GPL-3.0-or-later
// What the preview costs Qt per frame: the 1280x720 canvas handed to Qt as a copy (as the
// preview did) or as a view of the canvas's own rows (as it does now), then drawn stretched
// into a window of 1280x720 and of 960x540 with nearest-neighbour scaling (offscreen). The two
// ways alternate, 400 frames each; medians in milliseconds.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "dlg_disp.h"
#include "imageio/dib_image.h"
#include "imageio/pixel_convert.h"

namespace {

double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  using pelorix::gui::DlgDisp;
  // A canvas as the compositor makes it: top-down 32-bit rows.
  pelorix::DibImage canvas;
  if (!canvas.create(1280, -720, 32, pelorix::BI_RGB, nullptr, 0)) return 1;
  const pelorix::DibImage photo = pelorix::bench::photoLike(1280, 720);
  for (int y = 0; y < 720; ++y)
    pelorix::readRowBgra(photo, y, canvas.row(y));
  for (const QSize window : {QSize(1280, 720), QSize(960, 540)}) {
    QImage target(window, QImage::Format_RGB32);
    QImage reuse;
    std::vector<double> copied, viewed, handedCopy, handedView;
    for (int i = 0; i < 800; ++i) {
      const bool copy = i % 2 == 0;
      const auto start = std::chrono::steady_clock::now();
      QImage shown =
          copy ? (reuse = DlgDisp::copyOf(canvas, std::move(reuse))) : DlgDisp::viewOf(canvas);
      const auto handed = std::chrono::steady_clock::now();
      QPainter painter(&target);
      painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
      painter.drawImage(QRect(QPoint(0, 0), window), shown);
      painter.end();
      const auto end = std::chrono::steady_clock::now();
      const double total = std::chrono::duration<double, std::milli>(end - start).count();
      const double hand = std::chrono::duration<double, std::milli>(handed - start).count();
      (copy ? copied : viewed).push_back(total);
      (copy ? handedCopy : handedView).push_back(hand);
    }
    std::printf("%dx%d window: copy %.3f ms (of which the copy %.3f), view %.3f ms (%.3f)\n",
                window.width(), window.height(), median(copied), median(handedCopy), median(viewed),
                median(handedView));
  }
  return 0;
}
