// SPDX-License-Identifier: MIT
// Internal: the chordal deviation thinning four chords and four points at a
// time, on processors with 256-bit lanes (AVX2), chosen at run time.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_FOURLANETHINNING_H_
#define QUAX_SCAN_FILTERS_CHORDAL_FOURLANETHINNING_H_

#include <cstddef>

#include "geomath/GeoPoint.h"
#include "scan/filters/chordal/ThinningWork.h"

namespace QUAX {

// Whether this build and processor run thinByChordalDeviationWide with this
// limit (one whose square DistanceBound compares in its band).
bool chordalWideRuns(double deviationLimit);

// thinByChordalDeviation, the same points and exceptions to the bit: the
// chords from the anchor to four next points are set up at once, and the
// points of a span of up to a hundred or so are tested four at a time where
// one bound of the whole span (SpanBound) leaves the step in doubt, with the
// same arithmetic in every lane; longer spans are left to LongSpans.
// Needs chordalWideRuns(deviationLimit).
std::size_t thinByChordalDeviationWide(const _GeoPoint<double>* p,
                                       std::size_t n, double deviationLimit,
                                       double maxSpan, _GeoPoint<double>* out,
                                       ChordalWork& work);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_FOURLANETHINNING_H_
