// SPDX-License-Identifier: MIT
#include "scan/ScanErrors.h"

#include <string>

namespace QUAX {

#define QUAX_GROUP(Name) \
  Name::Name() { _insertClass(*this); }
#define QUAX_CODED(Name, code) \
  Name::Name() { _processException(*this, code); }
// The text joins the description before the code is processed. A null text
// adds an empty description rather than reading through a null pointer.
#define QUAX_TEXT(Name, code)                                 \
  Name::Name(const wchar_t* text) {                           \
    _addDescriptionSpecific(std::wstring(text ? text : L"")); \
    _processException(*this, code);                           \
  }

QUAX_GROUP(EScanException)
QUAX_CODED(EScanSurfaceIncomplete, kScanSurfaceIncomplete)
QUAX_CODED(EScanSurfaceComplete, kScanSurfaceComplete)
QUAX_CODED(EScanSurfaceRangeException, kScanSurfaceRange)
QUAX_CODED(EScanSurfaceWaitTimeout, kScanSurfaceWaitTimeout)
QUAX_CODED(EScanNoPointExtension, kScanNoPointExtension)
QUAX_CODED(EScanNoTPData, kScanNoTPData)
QUAX_CODED(EScanNoGraysumData, kScanNoGraysumData)
QUAX_GROUP(EScanImageBoundsException)
QUAX_CODED(EScanImageRowTooLarge, kScanImageRowTooLarge)
QUAX_CODED(EScanImageColumnTooLarge, kScanImageColumnTooLarge)
QUAX_GROUP(EScanFrameDataException)
QUAX_CODED(EScanFrameNoGrayImage, kScanFrameNoGrayImage)
QUAX_CODED(EScanFrameNoScanLine, kScanFrameNoScanLine)
QUAX_GROUP(EScanFrameNoExtensionException)
QUAX_CODED(EScanFrameNoTimeData, kScanFrameNoTimeData)
QUAX_GROUP(EScanFrameExtensionException)
QUAX_CODED(EScanFrameTimeDataExists, kScanFrameTimeDataExists)
QUAX_CODED(EScanNeighborhoodSizeOutOfRange, kScanNeighborhoodSizeOutOfRange)
QUAX_CODED(EScanNeighborhoodSizeNotOddNumber, kScanNeighborhoodSizeNotOddNumber)
QUAX_CODED(EScanNonPositiveProximityLimit, kScanNonPositiveProximityLimit)
QUAX_CODED(EScanNonPositiveDeviationLimit, kScanNonPositiveDeviationLimit)
QUAX_CODED(EScanNonPositiveMaxSpan, kScanNonPositiveMaxSpan)
QUAX_CODED(EScanTransformHistoryEmpty, kScanTransformHistoryEmpty)
QUAX_CODED(EScanNonPositiveNumberOfPoints, kScanNonPositiveNumberOfPoints)
QUAX_CODED(EScanUnknownNPointFilterAlgorithm, kScanUnknownNPointFilterAlgorithm)
QUAX_CODED(EScanNPointFilterPointsNotExact, kScanNPointFilterPointsNotExact)
QUAX_CODED(EScanNPointFilterTooSmall, kScanNPointFilterTooSmall)
QUAX_CODED(EScanNPointFilterTooLarge, kScanNPointFilterTooLarge)
QUAX_CODED(EScanNPointFilterSolutionNotFound, kScanNPointFilterSolutionNotFound)

QUAX_GROUP(EScanIOException)
QUAX_TEXT(EScanIOBadHeader, kScanIOBadHeader)
QUAX_TEXT(EScanIOBadFooter, kScanIOBadFooter)
QUAX_TEXT(EScanIOBadAttribute, kScanIOBadAttribute)
QUAX_CODED(EScanPointBadRead, kScanPointBadRead)
QUAX_CODED(EScanContainerBadRead, kScanContainerBadRead)
QUAX_CODED(EScanLineBadRead, kScanLineBadRead)
QUAX_CODED(EScanFrameBadRead, kScanFrameBadRead)
QUAX_CODED(EScanSurfaceBadRead, kScanSurfaceBadRead)
QUAX_CODED(EScanSetBadRead, kScanSetBadRead)

#undef QUAX_GROUP
#undef QUAX_CODED
#undef QUAX_TEXT

}  // namespace QUAX
