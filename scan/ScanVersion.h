// SPDX-License-Identifier: MIT
// Build checks of the scan library: version 4.0.1, build 3.
#ifndef QUAX_SCAN_SCANVERSION_H_
#define QUAX_SCAN_SCANVERSION_H_

#include "scan/QUAXScanExport.h"

// Returns when `build` is this library's build number (3); otherwise throws
// EVXDLLWrongVersion carrying "QUAXScan.DLL" and 3.
QUAX_SCAN_API void checkScanDllVersion(unsigned long long build);
// This library's build number: 3.
QUAX_SCAN_API unsigned long long getScanDllBuildNumber();

namespace QUAX {

// The outcome of the load check that ran when the library was loaded.
// false only when the geometry library beside it has another build. Windows
// then refuses the load, and so does the Linux loader for a QUAXGeom that
// carries its build's version node; a QUAXGeom without version nodes gets
// past the loader, and then only this value and the message on standard
// error tell (see README, "Loading").
QUAX_SCAN_API bool scanLibraryLoadAccepted();

}  // namespace QUAX

#endif  // QUAX_SCAN_SCANVERSION_H_
