// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "base/hresult.h"

namespace pelorix {

// The outcome of an image operation: an HRESULT plus, for failures, the real cause (a missing
// file, a decoder's own message, a picture too large). errorMessage() is what callers print
// beside the code in hexadecimal.
class ImageError {
 public:
  ImageError() = default;
  explicit ImageError(HRESULT code, std::string cause = {})
      : code_(code), cause_(std::move(cause)) {}

  HRESULT code() const { return code_; }
  bool failed() const { return pelorix::failed(code_); }
  const std::string& cause() const { return cause_; }
  // The cause when one is known, else the standard text of the code; built on first request.
  const std::string& errorMessage() const;

 private:
  HRESULT code_ = S_OK;
  std::string cause_;
  mutable std::optional<std::string> message_;
};

// The standard text of an HRESULT.
std::string standardErrorText(HRESULT code);

}  // namespace pelorix
