// SPDX-License-Identifier: MIT
// Export of the double-only class templates.
//
// Each template is declared with QUAX_SCAN_API on the class and instantiated
// for double in the library (one explicit instantiation per .cpp). Users on
// ELF platforms and the library itself see an explicit instantiation
// declaration, so members come from the library. Windows users must not see
// it: MinGW does not export inline members of an explicit instantiation, so
// a dllimport user instantiates the inline members itself and imports the
// rest through the class attribute.
#ifndef QUAX_SCAN_SCANTEMPLATES_H_
#define QUAX_SCAN_SCANTEMPLATES_H_

#include "scan/QUAXScanExport.h"

#if defined(_WIN32) && !defined(QUAXScan_EXPORTS) && !defined(QUAXScan_STATIC)
#define QUAX_SCAN_EXTERN_TEMPLATE(...)
#else
#define QUAX_SCAN_EXTERN_TEMPLATE(...) extern template __VA_ARGS__;
#endif

#endif  // QUAX_SCAN_SCANTEMPLATES_H_
