// SPDX-License-Identifier: MIT
// The error of a scan file that cannot be read or written.
#ifndef QUAX_SCAN_IO_SCANFILEERROR_H_
#define QUAX_SCAN_IO_SCANFILEERROR_H_

#include <string>

#include "scan/QUAXScanExport.h"
#include "scan/ScanErrors.h"

namespace QUAX {

// message() is the text for the user: "<file>: <what is wrong>", with the
// line ("<file>:<line>: ...") or byte offset where it went wrong when there
// is one. It is also the exception's description. Its code is that of the
// I/O group (0): the message tells the cases apart.
class QUAX_SCAN_API EScanFileError : public EScanIOException {
 public:
  explicit EScanFileError(const std::string& message);
  const std::string& message() const noexcept { return _message; }

 private:
  std::string _message;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_IO_SCANFILEERROR_H_
