// SPDX-License-Identifier: MIT
// Exceptions of the scan library and their codes.
//
// Two families: the scan family under EScanException (data model, filters,
// extents, stitching) and the scan I/O family under EScanIOException
// (malformed stream input). Group classes are caught, never thrown. Every
// class is copyable and carries its code and class chain in EVXException.
//
// A third family, the thread exceptions of the synchronisation objects, is
// internal: a host catches them as EVXException and tells them apart by
// their codes, the ThreadErrorCode values (17560 to 17564) this header
// brings in.
#ifndef QUAX_SCAN_SCANERRORS_H_
#define QUAX_SCAN_SCANERRORS_H_

#include <cstdint>

#include "scan/QUAXScanExport.h"
#include "thread/ThreadErrorCodes.h"
#include "util/VXException.h"

namespace QUAX {

enum ScanErrorCode : std::int32_t {
  kScanSurfaceIncomplete = 17470,
  kScanSurfaceComplete = 17471,
  kScanSurfaceRange = 17472,
  kScanNoPointExtension = 17473,
  kScanNoTPData = 17474,
  kScanNoGraysumData = 17475,
  kScanImageRowTooLarge = 17476,
  kScanImageColumnTooLarge = 17477,
  kScanFrameNoGrayImage = 17478,
  kScanFrameNoScanLine = 17479,
  kScanFrameNoTimeData = 17480,
  kScanFrameTimeDataExists = 17481,
  kScanNeighborhoodSizeOutOfRange = 17097,
  kScanNeighborhoodSizeNotOddNumber = 17098,
  kScanNonPositiveProximityLimit = 17482,
  kScanNonPositiveDeviationLimit = 17483,
  kScanNonPositiveMaxSpan = 17484,
  kScanTransformHistoryEmpty = 17492,
  kScanNonPositiveNumberOfPoints = 17493,
  kScanUnknownNPointFilterAlgorithm = 17494,
  kScanNPointFilterPointsNotExact = 17495,
  kScanNPointFilterTooSmall = 17496,
  kScanNPointFilterTooLarge = 17497,
  kScanNPointFilterSolutionNotFound = 17498,
  kScanSurfaceWaitTimeout = 17499,
  kScanIOBadHeader = 17201,
  kScanIOBadFooter = 17202,
  kScanIOBadAttribute = 17485,
  kScanPointBadRead = 17486,
  kScanContainerBadRead = 17487,
  kScanLineBadRead = 17488,
  kScanFrameBadRead = 17489,
  kScanSurfaceBadRead = 17490,
  kScanSetBadRead = 17491,
};

// A group level: registers its class only.
#define QUAX_SCAN_GROUP(Name, Base)        \
  class QUAX_SCAN_API Name : public Base { \
   protected:                              \
    Name();                                \
  }

// A group level that has a code of its own.
#define QUAX_SCAN_CODED_GROUP(Name, Base) QUAX_SCAN_GROUP(Name, Base)

// A leaf: thrown by value with its fixed code.
#define QUAX_SCAN_LEAF(Name, Base)         \
  class QUAX_SCAN_API Name : public Base { \
   public:                                 \
    Name();                                \
  }

// A leaf that adds the thrower's text (the reading filter's class name) to
// its description before its code; null counts as an empty text.
#define QUAX_SCAN_TEXT_LEAF(Name, Base)    \
  class QUAX_SCAN_API Name : public Base { \
   public:                                 \
    explicit Name(const wchar_t* text);    \
  }

// ---- scan family -----------------------------------------------------------
QUAX_SCAN_GROUP(EScanException, EVXException);
// Names of the two completion states of a surface; thrown by no operation.
QUAX_SCAN_LEAF(EScanSurfaceIncomplete, EScanException);
QUAX_SCAN_LEAF(EScanSurfaceComplete, EScanException);
// Frame index past the end of a complete surface.
QUAX_SCAN_LEAF(EScanSurfaceRangeException, EScanException);
// A frame of a surface still being filled did not arrive within the time
// the caller gave getFrame.
QUAX_SCAN_LEAF(EScanSurfaceWaitTimeout, EScanException);
// A point without the pixel or gray-sum item a caller needs.
QUAX_SCAN_CODED_GROUP(EScanNoPointExtension, EScanException);
QUAX_SCAN_LEAF(EScanNoTPData, EScanNoPointExtension);
QUAX_SCAN_LEAF(EScanNoGraysumData, EScanNoPointExtension);
// Pixel access outside a gray image.
QUAX_SCAN_GROUP(EScanImageBoundsException, EScanException);
QUAX_SCAN_LEAF(EScanImageRowTooLarge, EScanImageBoundsException);
QUAX_SCAN_LEAF(EScanImageColumnTooLarge, EScanImageBoundsException);
// Missing frame data.
QUAX_SCAN_GROUP(EScanFrameDataException, EScanException);
QUAX_SCAN_LEAF(EScanFrameNoGrayImage, EScanFrameDataException);
QUAX_SCAN_LEAF(EScanFrameNoScanLine, EScanFrameDataException);
QUAX_SCAN_GROUP(EScanFrameNoExtensionException, EScanException);
QUAX_SCAN_LEAF(EScanFrameNoTimeData, EScanFrameNoExtensionException);
QUAX_SCAN_GROUP(EScanFrameExtensionException, EScanException);
QUAX_SCAN_LEAF(EScanFrameTimeDataExists, EScanFrameExtensionException);
// Filter settings refused by a constructor.
QUAX_SCAN_LEAF(EScanNeighborhoodSizeOutOfRange, EScanException);
QUAX_SCAN_LEAF(EScanNeighborhoodSizeNotOddNumber, EScanException);
QUAX_SCAN_LEAF(EScanNonPositiveProximityLimit, EScanException);
QUAX_SCAN_LEAF(EScanNonPositiveDeviationLimit, EScanException);
QUAX_SCAN_LEAF(EScanNonPositiveMaxSpan, EScanException);
// Undoing a transform of an empty history.
QUAX_SCAN_LEAF(EScanTransformHistoryEmpty, EScanException);
// N-point filter.
QUAX_SCAN_LEAF(EScanNonPositiveNumberOfPoints, EScanException);
QUAX_SCAN_LEAF(EScanUnknownNPointFilterAlgorithm, EScanException);
QUAX_SCAN_LEAF(EScanNPointFilterPointsNotExact, EScanException);
QUAX_SCAN_LEAF(EScanNPointFilterTooSmall, EScanException);
QUAX_SCAN_LEAF(EScanNPointFilterTooLarge, EScanException);
QUAX_SCAN_LEAF(EScanNPointFilterSolutionNotFound, EScanException);

// ---- scan I/O family -------------------------------------------------------
QUAX_SCAN_GROUP(EScanIOException, EVXIOException);
// Settings blocks: the text names the reading filter's class.
QUAX_SCAN_TEXT_LEAF(EScanIOBadHeader, EScanIOException);
QUAX_SCAN_TEXT_LEAF(EScanIOBadFooter, EScanIOException);
QUAX_SCAN_TEXT_LEAF(EScanIOBadAttribute, EScanIOException);
// Errors for code that reads the data model from a stream.
QUAX_SCAN_LEAF(EScanPointBadRead, EScanIOException);
QUAX_SCAN_LEAF(EScanContainerBadRead, EScanIOException);
QUAX_SCAN_LEAF(EScanLineBadRead, EScanIOException);
QUAX_SCAN_LEAF(EScanFrameBadRead, EScanIOException);
QUAX_SCAN_LEAF(EScanSurfaceBadRead, EScanIOException);
QUAX_SCAN_LEAF(EScanSetBadRead, EScanIOException);

#undef QUAX_SCAN_GROUP
#undef QUAX_SCAN_CODED_GROUP
#undef QUAX_SCAN_LEAF
#undef QUAX_SCAN_TEXT_LEAF

// Internal to the N-point search: no estimate can be formed. Stands outside
// the coded families.
class QUAX_SCAN_API NoSolution : public std::exception {};

}  // namespace QUAX

#endif  // QUAX_SCAN_SCANERRORS_H_
