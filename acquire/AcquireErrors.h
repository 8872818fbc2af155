// SPDX-License-Identifier: MIT
// Exceptions of the acquisition library and their codes.
//
// One family under EAcquireException. Every error carries a description that
// names what was refused or what failed (the setting, the file and line, the
// camera), so that a user can act on it without a debugger.
#ifndef QUAX_ACQUIRE_ACQUIREERRORS_H_
#define QUAX_ACQUIRE_ACQUIREERRORS_H_

#include <cstdint>
#include <string>

#include "acquire/QUAXAcquireExport.h"
#include "util/VXException.h"

namespace QUAX {

enum AcquireErrorCode : std::int32_t {
  kAcquireBadSettings = 17600,
  kAcquireBadCalibration = 17601,
  kAcquireDevice = 17602,
  kAcquireNotAvailable = 17603,
};

// Group of the acquisition errors; caught, never thrown.
class QUAX_ACQUIRE_API EAcquireException : public EVXException {
 protected:
  EAcquireException();
};

// Settings that the source cannot run with (a pixel format the mode cannot
// read, a region off the sensor, a threshold out of range); refused before
// any acquisition starts.
class QUAX_ACQUIRE_API EAcquireBadSettings : public EAcquireException {
 public:
  explicit EAcquireBadSettings(const std::string& text);
};

// A calibration (file or values) that does not parse or cannot be used.
class QUAX_ACQUIRE_API EAcquireBadCalibration : public EAcquireException {
 public:
  explicit EAcquireBadCalibration(const std::string& text);
};

// The device failed: not found, refused a feature, or went away.
class QUAX_ACQUIRE_API EAcquireDevice : public EAcquireException {
 public:
  explicit EAcquireDevice(const std::string& text);
};

// The build has no support for the device kind asked for (no Aravis).
class QUAX_ACQUIRE_API EAcquireNotAvailable : public EAcquireException {
 public:
  explicit EAcquireNotAvailable(const std::string& text);
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_ACQUIREERRORS_H_
