// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/row_workers.h"

namespace pelorix {
namespace {

// Part `index` of `parts` of [begin, end).
std::pair<int, int> part(int begin, int end, int index, int parts) {
  const long span = static_cast<long>(end) - begin;
  return {begin + static_cast<int>(span * index / parts),
          begin + static_cast<int>(span * (index + 1) / parts)};
}

}  // namespace

RowWorkers::RowWorkers(int threads) {
  for (int i = 1; i < threads; ++i)
    workers_.emplace_back([this, i] { loop(i); });
}

RowWorkers::~RowWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_)
    worker.join();
}

void RowWorkers::run(int begin, int end, const std::function<void(int, int)>& work) {
  const int parts = threads();
  if (parts == 1 || end - begin < parts * 4) {
    work(begin, end);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    work_ = &work;
    begin_ = begin;
    end_ = end;
    pending_ = parts - 1;
    ++generation_;
  }
  wake_.notify_all();
  const auto [first, last] = part(begin, end, 0, parts);
  work(first, last);
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
  work_ = nullptr;
}

void RowWorkers::loop(int index) {
  long seen = 0;
  for (;;) {
    const std::function<void(int, int)>* work;
    int begin, end;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      work = work_;
      begin = begin_;
      end = end_;
    }
    const auto [first, last] = part(begin, end, index, threads());
    (*work)(first, last);
    {
      std::lock_guard lock(mutex_);
      if (--pending_ == 0) done_.notify_one();
    }
  }
}

}  // namespace pelorix
