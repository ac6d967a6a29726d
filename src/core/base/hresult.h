// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace pelorix {

// Image and output operations report HRESULT values, kept as the numbers callers print.
using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT HRESULT_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);
inline constexpr HRESULT HRESULT_PATH_NOT_FOUND = static_cast<HRESULT>(0x80070003u);
inline constexpr HRESULT HRESULT_DISK_FULL = static_cast<HRESULT>(0x80070070u);
inline constexpr HRESULT HRESULT_WRITE_PROTECT = static_cast<HRESULT>(0x80070013u);
inline constexpr HRESULT HRESULT_FILENAME_TOO_LONG = static_cast<HRESULT>(0x800700CEu);

inline constexpr bool failed(HRESULT code) {
  return code < 0;
}

}  // namespace pelorix
