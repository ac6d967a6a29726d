// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageio/image_error.h"

#include "base/c_locale.h"

namespace pelorix {

std::string standardErrorText(HRESULT code) {
  switch (static_cast<uint32_t>(code)) {
    case 0x00000000u:
      return "The operation completed successfully.";
    case 0x80004005u:
      return "Unspecified error";
    case 0x8007000Eu:
      return "Not enough memory resources are available to complete this operation.";
    case 0x80070002u:
      return "The system cannot find the file specified.";
    case 0x80070003u:
      return "The system cannot find the path specified.";
    case 0x80070005u:
      return "Access is denied.";
    case 0x80070013u:
      return "The media is write protected.";
    case 0x80070070u:
      return "There is not enough space on the disk.";
    case 0x800700CEu:
      return "The filename or extension is too long.";
    default:
      break;
  }
  const auto value = static_cast<uint32_t>(code);
  if (value >= 0x80040201u && value <= 0x8004FFFFu) {
    return formatC("IDispatch error #%d", static_cast<int>(value - 0x80040200u));
  }
  return formatC("Unknown error 0x%0lX", static_cast<unsigned long>(value));
}

const std::string& ImageError::errorMessage() const {
  if (!message_) message_ = cause_.empty() ? standardErrorText(code_) : cause_;
  return *message_;
}

}  // namespace pelorix
