// SPDX-License-Identifier: MIT
#include "scan/stitch/ScanStitchTool.h"

#include <cmath>
#include <iterator>
#include <memory>

#include "geomath/MathErrors.h"
#include "scan/stitch/RigidStitch.h"
#include "scan/stitch/StitchSteps.h"

namespace QUAX {

using stitch_detail::SurfaceEntry;

namespace {
constexpr unsigned kAllEvents = 0xFFFFFFFFu;
}  // namespace

ScanStitchTool::ScanStitchTool(double tolerance) : _tolerance(tolerance) {}

ScanStitchTool::ScanStitchTool(const ScanStitchTool& other)
    : Subject<int, unsigned>(other),
      _initial(other._initial),
      _rigidReport(other._rigidReport),
      _tolerance(other._tolerance),
      _everyPointSearch(other._everyPointSearch) {
  try {
    for (const SurfaceEntry* entry : other._entries) {
      _entries.push_back(new SurfaceEntry(*entry));
    }
  } catch (...) {
    clearEntries();
    throw;
  }
}

ScanStitchTool& ScanStitchTool::operator=(const ScanStitchTool& other) {
  if (this == &other) return *this;
  ScanStitchTool copy(other);
  Subject<int, unsigned>::operator=(other);
  _entries.swap(copy._entries);
  _initial.swap(copy._initial);
  _rigidReport.swap(copy._rigidReport);
  _tolerance = other._tolerance;
  _everyPointSearch = other._everyPointSearch;
  return *this;
}

ScanStitchTool::~ScanStitchTool() { clearEntries(); }

void ScanStitchTool::clearEntries() noexcept {
  for (SurfaceEntry* entry : _entries) delete entry;
  _entries.clear();
}

void ScanStitchTool::addSurfacePointer(_ScanSurface<double>* surface,
                                       bool flag) {
  addSurfacePointer(surface, flag, _MathMatrix<double>());
}

void ScanStitchTool::addSurfacePointer(_ScanSurface<double>* surface,
                                       bool flag,
                                       const _MathMatrix<double>& initial) {
  // Rows of a rotation read from text carry its rounding: orthonormal to
  // this much is taken as a rotation (the fit starts from the nearest one).
  constexpr double kRotationSlack = 1e-4;
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(initial.getTranslation()[i])) {
      throw EMathSingularMatrix();
    }
    for (int j = 0; j < 3; ++j) {
      double product = 0.0;
      for (int k = 0; k < 3; ++k) {
        product += initial.rotation(i, k) * initial.rotation(j, k);
      }
      if (!(std::fabs(product - (i == j ? 1.0 : 0.0)) <= kRotationSlack)) {
        throw EMathSingularMatrix();
      }
    }
  }
  if (!(initial.determinant() > 0.0)) throw EMathSingularMatrix();
  if (surface == nullptr || surface->getFrameCount() == 0) return;
  std::unique_ptr<SurfaceEntry> entry =
      stitch_detail::makeSurfaceEntry(*surface, flag);
  _initial.reserve(_entries.size() + 1);
  _entries.push_back(entry.get());
  entry.release();
  _initial.push_back(initial);
}

std::vector<ScanStitchTool::RigidSurfaceReport> ScanStitchTool::getRigidReport()
    const {
  return _rigidReport;
}

void ScanStitchTool::stitchSurfaces(int iterations, StitchMethod method) {
  _rigidReport.clear();
  if (method == STITCH_RIGID) {
    stitchRigid(iterations);
    return;
  }
  if (_entries.size() < 2) return;
  const bool toReference = method == STITCH_TO_REFERENCE;
  const double step = 100.0 / iterations;
  const double entryCount = static_cast<double>(_entries.size());

  stitch_detail::SurfaceSearch search(_tolerance, _everyPointSearch);
  stitch_detail::CorrespondenceList correspondences;
  for (int k = 0; k < iterations; ++k) {
    if (k == 0) {
      double progress = 0.0;
      for (auto a = _entries.begin(); a != _entries.end(); ++a) {
        for (auto b = std::next(a); b != _entries.end(); ++b) {
          stitch_detail::findCorrespondences(**a, **b, _tolerance, search,
                                             correspondences);
          progress = progress + ((step * 2.0) / entryCount) / entryCount;
          notify(static_cast<int>(progress), kAllEvents);
        }
      }
    } else {
      stitch_detail::refineCorrespondences(correspondences, search);
      notify(static_cast<int>(k * step + step * 0.5), kAllEvents);
      for (SurfaceEntry* entry : _entries) {
        entry->transform = _MathMatrix<double>();
        entry->count = 0;
        entry->flag = false;
      }
    }
    stitch_detail::displaceCorrespondences(correspondences, toReference);
    for (SurfaceEntry* entry : _entries) {
      stitch_detail::moveSurface(*entry, search);
    }
    notify(static_cast<int>((k + 1) * step), kAllEvents);
  }
}

void ScanStitchTool::stitchRigid(int iterations) {
  if (_entries.size() < 2 || iterations <= 0) return;
  std::vector<SurfaceEntry*> entries(_entries.begin(), _entries.end());
  std::vector<RigidSurfaceReport> reports(entries.size());
  stitch_detail::RigidStitch rigid(_tolerance, iterations);
  rigid.run(entries, _initial, reports,
            [this](int percent) { notify(percent, kAllEvents); });
  _rigidReport.swap(reports);
}

}  // namespace QUAX
