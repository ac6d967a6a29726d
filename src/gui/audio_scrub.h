// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <cstdint>
#include <vector>

class QAudioSink;
class QIODevice;

namespace pelorix::gui {

// Short slices of the sound track played while the playhead is dragged: each slice replaces
// the one before it at once, so what sounds is never more than one slice behind the mouse.
// Without a sound device nothing plays (and nothing is made to play into).
class AudioScrub : public QObject {
  Q_OBJECT

 public:
  explicit AudioScrub(QObject* parent = nullptr);
  ~AudioScrub() override;
  // Plays 16-bit mono samples at `rate`; false when there is no sound device.
  bool play(const std::vector<int16_t>& samples, int rate);
  // Milliseconds from the call to the slice handed to the device, the last time.
  double lastLatency() const { return latency_; }

 private:
  QAudioSink* sink_ = nullptr;
  QIODevice* device_ = nullptr;
  int rate_ = 0;
  double latency_ = 0.0;
};

}  // namespace pelorix::gui
