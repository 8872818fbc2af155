// SPDX-License-Identifier: MIT
// The record of rigid transforms applied to a scan container.
#ifndef QUAX_SCAN_MODEL_SCANTRANSFORMHISTORY_H_
#define QUAX_SCAN_MODEL_SCANTRANSFORMHISTORY_H_

#include <vector>

#include "geomath/MathMatrix.h"
#include "scan/ScanTemplates.h"
#include "util/Extension.h"

namespace QUAX {

// An extension item that records every transform applied to its container,
// oldest first, and keeps their composition up to date, so that the total
// costs one copy however long the history is. Undo takes the last transform
// out again (exactly for proper rotations).
//
// Thread safety: none; the history is guarded with the container whose
// extension list owns it.
template <class T>
class QUAX_SCAN_API ScanTransformHistory : public ExtensionItem {
 public:
  // Key {0A5F231D-9CE6-44B8-91DE-A01E950DE011}.
  static const _GUID& getScanTransformHistoryKey();

  ScanTransformHistory();
  ScanTransformHistory(const ScanTransformHistory& other);
  ScanTransformHistory& operator=(const ScanTransformHistory& other);
  ~ScanTransformHistory() override;

  static ExtensionItem* create();
  ExtensionItem* clone() const override;

  // Records m and makes the total m x total (m applied after the others).
  // m is not tested here; the container's transform tests it.
  void applyTransform(_MathMatrix<T> m);
  // The transform recorded last. EScanTransformHistoryEmpty when none is.
  _MathMatrix<T> getLastTransform() const;
  _MathMatrix<T> getTotalTransform() const;
  // Removes the last transform and takes its inverse out of the total.
  // EScanTransformHistoryEmpty, with nothing changed, when empty.
  void undoLastTransform();

  std::size_t size() const noexcept { return _transforms.size(); }

 private:
  std::vector<_MathMatrix<T>> _transforms;
  _MathMatrix<T> _totalTransform;
};

QUAX_SCAN_EXTERN_TEMPLATE(class ScanTransformHistory<double>)

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANTRANSFORMHISTORY_H_
