// SPDX-License-Identifier: MIT
// Camera settings as text: one "name = value" per line, '#' starts a
// comment. The names are described in docs/acquisition.md; a name the
// acquisition does not know is a camera feature, set as it is given.
#ifndef QUAX_ACQUIRE_GENICAM_CAMERASETTINGSTEXT_H_
#define QUAX_ACQUIRE_GENICAM_CAMERASETTINGSTEXT_H_

#include <iosfwd>
#include <string>

#include "acquire/QUAXAcquireExport.h"
#include "acquire/genicam/GenICamSource.h"

namespace QUAX {

// Reads `in` into `settings`, over what it holds. Throws EAcquireBadSettings
// naming `name` and the line for a line without '=', a value that is not a
// number where one is needed, or an unknown mode or peak method.
QUAX_ACQUIRE_API void readCameraSettings(std::istream& in,
                                         const std::string& name,
                                         GenICamSettings& settings);
QUAX_ACQUIRE_API void readCameraSettingsFile(const std::string& path,
                                             GenICamSettings& settings);
// CameraMode and PeakMethod by their names in the text ("profile",
// "centre-of-gravity"); false for an unknown name.
QUAX_ACQUIRE_API bool cameraModeFromName(const std::string& name,
                                         CameraMode& mode) noexcept;
QUAX_ACQUIRE_API bool peakMethodFromName(const std::string& name,
                                         PeakMethod& method) noexcept;

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_GENICAM_CAMERASETTINGSTEXT_H_
