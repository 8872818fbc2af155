// SPDX-License-Identifier: MIT
// The abstract base of every structure that holds scan points.
#ifndef QUAX_SCAN_MODEL_SCANCONTAINER_H_
#define QUAX_SCAN_MODEL_SCANCONTAINER_H_

#include <cstdint>

#include "geomath/MathMatrix.h"
#include "scan/ScanTemplates.h"
#include "scan/model/ScanPoint.h"
#include "util/Callback.h"
#include "util/Extension.h"

namespace QUAX {

// What a point walk hands to its callback: the point being visited. The
// walk sets currentPoint before each call and clears it at the end.
template <class T>
struct _ScanVisit {
  _ScanPoint<T>* currentPoint = nullptr;
};

// A container always has its own extension list (the proxy points to it), in
// which transform() keeps the container's transform history.
//
// Thread safety: none; concurrent access is guarded by the owner's
// synchronisation (surfaces and frames).
template <class T>
class QUAX_SCAN_API _ScanContainer : public ExtensionInterface {
 public:
  using PointCallback = CBFunctor1<_ScanVisit<T>&>;

  ~_ScanContainer() override;

  // Calls `callback` once for every point, in order, with
  // visit.currentPoint set to it; clears it afterwards. Returns the number
  // of points visited.
  virtual std::uint32_t forEachPoint(const PointCallback& callback,
                                     _ScanVisit<T>& visit) = 0;

  // Records m in the container's transform history (made on first use) and
  // moves every point by it: p' = R.p + t. An invalid m throws
  // EMathSingularMatrix at the first point, with m already recorded and no
  // point moved.
  virtual void transform(const _MathMatrix<T>& m);

  ExtensionList& getExtensionList() noexcept { return _extensionList; }
  const ExtensionList& getExtensionList() const noexcept {
    return _extensionList;
  }

 protected:
  _ScanContainer();
  _ScanContainer(const _ScanContainer& other);
  // Assigns the extension list; the proxy stays on the own list.
  _ScanContainer& operator=(const _ScanContainer& other);

 private:
  ExtensionList _extensionList;
};

QUAX_SCAN_EXTERN_TEMPLATE(class _ScanContainer<double>)

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANCONTAINER_H_
