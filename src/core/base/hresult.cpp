#include "base/hresult.h"

#include <cerrno>

namespace pelorix {

HRESULT hresultFromErrno(int error) {
  switch (error) {
    case 0:
      return S_OK;
    case ENOENT:
      return HRESULT_FILE_NOT_FOUND;
    case ENOTDIR:
      return HRESULT_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
      return E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT:
      return HRESULT_DISK_FULL;
    case EROFS:
      return HRESULT_WRITE_PROTECT;
    case ENAMETOOLONG:
      return HRESULT_FILENAME_TOO_LONG;
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

}  // namespace pelorix
