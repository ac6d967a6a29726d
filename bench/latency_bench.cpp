// SPDX-License-Identifier: GPL-3.0-or-later
// From a mouse move in a drag to the frame painted: the 4K project of 16 bilinear, rotated,
// translucent layers in a 1600x900 preview (offscreen), its top layer dragged with the right
// button as a user moves a picture. Each move is sent to the preview window as Qt delivers it;
// the time runs until the window has painted the frame it asked for. Prints the median and the
// 95th percentile of 200 moves, in milliseconds.
#include <QApplication>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/editor.h"
#include "bench_support.h"
#include "core/app/scripted_port.h"
#include "dlg_disp.h"
#include "model/project_file.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  using namespace pelorix;
  const std::string folder = bench::scratchFolder();
  saveProject(test::layerStack(folder, 3, 16), folder + "big.pxp");
  test::ScriptedPort port;
  Editor editor(port);
  editor.startUp(folder + "big.pxp");
  const int top = editor.session().project().layerCount - 1;
  editor.lists().selectTreeItem(editor.lists().treeItemOfLayer(top));
  editor.lists().selectRow(0);
  editor.view().setTotalMode(true);
  editor.view().setPreviewShown(true);
  gui::DlgDisp preview(editor, nullptr);
  preview.setFrameSize(3840, 2160);
  preview.resize(1600, 900);
  preview.show();
  QApplication::processEvents();
  const QPointF start(800, 450);
  auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, preview.mapToGlobal(at), Qt::RightButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&preview, &event);
  };
  send(QEvent::MouseButtonPress, start, Qt::RightButton);
  std::vector<double> times;
  for (int i = 1; i <= 200; ++i) {
    const auto began = std::chrono::steady_clock::now();
    send(QEvent::MouseMove, start + QPointF(i % 40, i % 17), Qt::RightButton);
    // What the main window does when the editor says the preview changed.
    preview.repaintNow();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
            .count());
  }
  send(QEvent::MouseButtonRelease, start, Qt::NoButton);
  std::sort(times.begin(), times.end());
  std::printf("drag to paint, 4K 16 layers in 1600x900: median %.1f ms, p95 %.1f ms (%dx%d)\n",
              times[times.size() / 2], times[times.size() * 95 / 100],
              editor.view().canvas().width(), editor.view().canvas().height());
  return 0;
}
