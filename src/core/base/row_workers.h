// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pelorix {

// A small set of threads that split a range of rows with the calling thread. run() returns when
// every part is done. One run at a time.
class RowWorkers {
 public:
  // `threads` counts the calling thread; 1 means everything runs on the caller.
  explicit RowWorkers(int threads);
  ~RowWorkers();
  RowWorkers(const RowWorkers&) = delete;
  RowWorkers& operator=(const RowWorkers&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }
  void run(int begin, int end, const std::function<void(int, int)>& work);

 private:
  void loop(int index);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int, int)>* work_ = nullptr;
  int begin_ = 0;
  int end_ = 0;
  long generation_ = 0;
  int pending_ = 0;
  bool stopping_ = false;
};

}  // namespace pelorix
