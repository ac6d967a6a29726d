// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pelorix::gui {

// Fills widgets from the editor without their change signals reaching the editor again.
class Updating {
 public:
  explicit Updating(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  ~Updating() { flag_ = previous_; }
  Updating(const Updating&) = delete;
  Updating& operator=(const Updating&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

}  // namespace pelorix::gui
