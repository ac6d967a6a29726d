// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio_scrub.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QMediaDevices>

namespace pelorix::gui {

AudioScrub::AudioScrub(QObject* parent) : QObject(parent) {}

AudioScrub::~AudioScrub() {
  if (sink_) sink_->stop();
}

bool AudioScrub::play(const std::vector<int16_t>& samples, int rate) {
  QElapsedTimer clock;
  clock.start();
  if (samples.empty() || rate <= 0) return false;
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return false;
  if (!sink_ || rate != rate_) {
    delete sink_;
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    sink_ = new QAudioSink(device, format, this);
    // Room for one slice and a little: nothing queues up behind the mouse.
    sink_->setBufferSize(static_cast<qsizetype>(rate) / 10);  // 50 ms of 16-bit samples
    rate_ = rate;
  }
  sink_->stop();  // the slice before, if it still plays, ends here
  device_ = sink_->start();
  if (!device_) return false;
  device_->write(reinterpret_cast<const char*>(samples.data()),
                 static_cast<qint64>(samples.size() * sizeof(int16_t)));
  latency_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  return true;
}

}  // namespace pelorix::gui
