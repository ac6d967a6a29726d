// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the pictures of examples/demo, or with --motion those of examples/motion, with the
// project's own encoders:
//   make_demo_images [--motion] OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "imageio/dib_image.h"

using pelorix::DibImage;

namespace {

void put(DibImage& image, int x, int y, int r, int g, int b) {
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
  uint8_t* p = image.row(y) + 3 * x;
  p[0] = static_cast<uint8_t>(b);
  p[1] = static_cast<uint8_t>(g);
  p[2] = static_cast<uint8_t>(r);
}

void disc(DibImage& image, double cx, double cy, double radius, int r, int g, int b) {
  for (int y = static_cast<int>(cy - radius); y <= static_cast<int>(cy + radius); ++y) {
    for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x) {
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) put(image, x, y, r, g, b);
    }
  }
}

void box(DibImage& image, int x0, int y0, int x1, int y1, int r, int g, int b) {
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x)
      put(image, x, y, r, g, b);
  }
}

DibImage background() {
  DibImage image;
  image.create(320, 240, 24);
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const double t = y / 239.0;
      put(image, x, y, static_cast<int>(40 + 200 * t), static_cast<int>(90 + 80 * t),
          static_cast<int>(200 - 120 * t));
    }
  }
  disc(image, 250, 60, 28, 255, 220, 120);
  for (int x = 0; x < 320; ++x) {
    const int hill = static_cast<int>(180 + 18 * std::sin(x / 37.0) + 9 * std::sin(x / 13.0));
    for (int y = hill; y < 240; ++y)
      put(image, x, y, 40, 110 + (y - hill) / 3, 50);
  }
  return image;
}

DibImage logo() {
  DibImage image;
  image.create(160, 64, 24);
  box(image, 0, 0, 160, 64, 30, 30, 60);
  box(image, 4, 4, 156, 60, 250, 250, 240);
  // "PX" in blocks.
  box(image, 20, 12, 30, 52, 200, 40, 60);
  box(image, 30, 12, 52, 20, 200, 40, 60);
  box(image, 44, 20, 52, 32, 200, 40, 60);
  box(image, 30, 32, 52, 40, 200, 40, 60);
  for (int i = 0; i < 40; ++i) {
    box(image, 70 + i, 12 + i, 78 + i, 13 + i, 40, 90, 200);
    box(image, 110 - i, 12 + i, 118 - i, 13 + i, 40, 90, 200);
  }
  for (int i = 0; i < 6; ++i)
    box(image, 124, 12 + 7 * i, 146, 16 + 7 * i, 60 + 30 * i, 160, 80);
  return image;
}

DibImage sprite(int pose) {
  DibImage image;
  image.create(48, 48, 24);
  box(image, 0, 0, 48, 48, 255, 0, 255);  // the key colour
  disc(image, 24, 18, 12, 250, 200, 40);
  disc(image, 20, 15, 2.5, 20, 20, 20);
  disc(image, 29, 15, 2.5, 20, 20, 20);
  box(image, 18, 23, 31, 25, 150, 40, 30);
  const int spread = pose == 0 ? 4 : 10;
  box(image, 24 - spread - 3, 30, 24 - spread + 1, 46, 60, 60, 160);
  box(image, 24 + spread - 1, 30, 24 + spread + 3, 46, 60, 60, 160);
  return image;
}

// A soft light with transparent edges: shows the picture's transparency (and, drawn with
// interpolation, edges without dark fringes).
DibImage glow() {
  DibImage image;
  image.create(80, 80, 32, pelorix::BI_RGB, nullptr, pelorix::kCreateAlpha);
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 80; ++x) {
      const double r = std::hypot(x - 39.5, y - 39.5) / 40.0;
      const double a = r >= 1.0 ? 0.0 : (1.0 - r) * (1.0 - r);
      uint8_t* p = image.row(y) + 4 * x;
      p[0] = static_cast<uint8_t>(150 + 100 * (1.0 - r > 0 ? 1.0 - r : 0));
      p[1] = 235;
      p[2] = 255;
      p[3] = static_cast<uint8_t>(255 * a + 0.5);
    }
  }
  return image;
}

// A picture with transparency, every pixel clear.
DibImage clear(int width, int height) {
  DibImage image;
  image.create(width, height, 32, pelorix::BI_RGB, nullptr, pelorix::kCreateAlpha);
  return image;
}

void paint(DibImage& image, int x, int y, int r, int g, int b) {
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
  uint8_t* p = image.row(y) + 4 * x;
  p[0] = static_cast<uint8_t>(b), p[1] = static_cast<uint8_t>(g), p[2] = static_cast<uint8_t>(r);
  p[3] = 255;
}

// A rounded bar from (x0, y0) to (x1, y1), `radius` thick on each side.
void bar(DibImage& image, double x0, double y0, double x1, double y1, double radius, int r, int g,
         int b) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const double dx = x1 - x0, dy = y1 - y0;
      const double along =
          std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy + 1e-9), 0.0, 1.0);
      if (std::hypot(x - (x0 + along * dx), y - (y0 + along * dy)) <= radius)
        paint(image, x, y, r, g, b);
    }
  }
}

// A landscape three frames wide, with posts every 80 pixels, for a camera to pan across.
DibImage landscape() {
  DibImage image;
  image.create(960, 240, 24);
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 960; ++x) {
      const double t = y / 239.0;
      put(image, x, y, static_cast<int>(70 + 150 * t), static_cast<int>(120 + 70 * t),
          static_cast<int>(220 - 100 * t));
    }
  }
  for (int x = 0; x < 960; ++x) {
    const int hill = static_cast<int>(150 + 22 * std::sin(x / 61.0) + 11 * std::sin(x / 17.0));
    for (int y = hill; y < 240; ++y)
      put(image, x, y, 60, 120 + (y - hill) / 4, 60);
    for (int y = 196; y < 240; ++y)
      put(image, x, y, 150 + (x / 4 + y) % 20, 130, 90);  // the road
  }
  for (int post = 40; post < 960; post += 80) {
    box(image, post - 3, 150, post + 3, 200, 90, 60, 40);
    disc(image, post, 146, 8, 240, 230, 120);
  }
  return image;
}

// A body to walk: a head over a torso and legs; its shoulder is 16 pixels below its top edge.
DibImage body() {
  DibImage image = clear(48, 72);
  bar(image, 24, 18, 24, 44, 10, 200, 60, 60);  // the torso
  bar(image, 19, 44, 17, 68, 4, 40, 50, 120);   // the legs
  bar(image, 29, 44, 31, 68, 4, 40, 50, 120);
  for (int y = 0; y < 18; ++y) {  // the head
    for (int x = 14; x < 34; ++x) {
      if (std::hypot(x - 24, y - 8.5) <= 8.5) paint(image, x, y, 250, 210, 170);
    }
  }
  return image;
}

// An arm that hangs from its shoulder at its top, 4 pixels below the top edge.
DibImage arm() {
  DibImage image = clear(14, 56);
  bar(image, 7, 5, 7, 48, 5, 230, 120, 60);
  for (int y = 44; y < 56; ++y) {  // the hand
    for (int x = 0; x < 14; ++x) {
      if (std::hypot(x - 7, y - 49.5) <= 6) paint(image, x, y, 250, 210, 170);
    }
  }
  return image;
}

bool write(const DibImage& image, const std::string& path) {
  pelorix::ImageEncodeOptions options;
  options.pngLevel = 9;
  const pelorix::ImageError result = image.save(path, options);
  if (result.failed())
    std::fprintf(stderr, "%s: %s\n", path.c_str(), result.errorMessage().c_str());
  return !result.failed();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--motion") {
    const std::string folder = std::string(argv[2]) + "/";
    const bool ok = write(landscape(), folder + "landscape.png") &&
                    write(body(), folder + "body.png") && write(arm(), folder + "arm.png");
    return ok ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s [--motion] OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const bool ok = write(background(), folder + "bg.png") && write(logo(), folder + "logo.png") &&
                  write(sprite(0), folder + "sprite1.bmp") &&
                  write(sprite(1), folder + "sprite2.bmp") && write(glow(), folder + "glow.png");
  return ok ? 0 : 1;
}
