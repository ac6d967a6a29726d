// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder-bound limit of a render: the frames of a folder, decoded beforehand and held as
// the compositor's canvas holds them, encoded by the render's own encoder on every processor,
// with nothing composed. Prints the median frames per second of five passes.
//   encode_limit FOLDER [EXT] [THREADS]      (EXT: jpg, png, webp ... default jpg)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "imageio/dib_image.h"

using namespace pelorix;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: encode_limit FOLDER [EXT] [THREADS]\n");
    return 64;
  }
  const std::string ext = argc > 2 ? argv[2] : "jpg";
  const int threads =
      argc > 3 ? std::atoi(argv[3]) : static_cast<int>(std::thread::hardware_concurrency());
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  std::vector<DibImage> frames;
  for (const std::string& file : files) {
    DibImage loaded;
    if (loaded.load(file).failed() || loaded.bitsPerPixel() != 24) continue;
    // The canvas of a render: 32 bits per pixel, the fourth byte unused.
    DibImage canvas;
    canvas.create(loaded.width(), -loaded.height(), 32, BI_RGB, nullptr, kCreatePadded24);
    for (int y = 0; y < loaded.height(); ++y) {
      const uint8_t* in = loaded.row(y);
      uint8_t* out = canvas.row(y);
      for (int x = 0; x < loaded.width(); ++x)
        std::memcpy(out + 4 * x, in + 3 * x, 3);
    }
    frames.push_back(std::move(canvas));
  }
  if (frames.empty()) {
    std::fprintf(stderr, "encode_limit: no 24-bit frames in %s\n", argv[1]);
    return 1;
  }
  std::vector<double> rates;
  for (int pass = 0; pass < 5; ++pass) {
    std::atomic<size_t> next{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&] {
        std::vector<uint8_t> bytes;
        ImageEncodeOptions options;
        for (size_t i = next++; i < frames.size(); i = next++) {
          if (frames[i].encode(ext, options, bytes).failed()) std::abort();
        }
      });
    }
    for (std::thread& worker : workers)
      worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rates.push_back(static_cast<double>(frames.size()) / seconds);
  }
  std::sort(rates.begin(), rates.end());
  std::printf("%.1f\n", rates[rates.size() / 2]);
  return 0;
}
