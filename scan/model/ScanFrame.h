// SPDX-License-Identifier: MIT
// A scan frame: one camera image's scan line with the image's other data.
#ifndef QUAX_SCAN_MODEL_SCANFRAME_H_
#define QUAX_SCAN_MODEL_SCANFRAME_H_

#include <cstdint>
#include <memory>

#include "scan/model/ScanGrayImage.h"
#include "scan/model/ScanLine.h"
#include "scan/sync/ScanSync.h"
#include "util/Extension.h"

namespace QUAX {

template <class T, class Frame>
class _ScanFrameSyncImpl;

// A frame owns its scan line (which may be missing), its gray image, its
// extension items (time data, frame info) and its sync object, which guards
// the data state: 0 while the frame's data are incomplete, any other value
// as the filler sets it.
//
// Frames are not copied: they belong to one surface. Their lines are.
template <class T>
class QUAX_SCAN_API _ScanFrame : public ExtensionInterface {
 public:
  _ScanFrame();
  explicit _ScanFrame(std::unique_ptr<_ScanLine<T>> line);
  _ScanFrame(const _ScanFrame&) = delete;
  _ScanFrame& operator=(const _ScanFrame&) = delete;
  ~_ScanFrame() override;

  // The frame's scan line; EScanFrameNoScanLine when it has none.
  _ScanLine<T>* getScanLine() const;
  bool hasScanLine() const noexcept { return _scanLine != nullptr; }
  // Replaces (and deletes) the current line; null leaves the frame without.
  // Handing the frame its own line again keeps it.
  void setScanLine(std::unique_ptr<_ScanLine<T>> line) noexcept;

  // The frame's gray image; EScanFrameNoGrayImage when it has none.
  ScanGrayImage* getGrayImage() const;
  bool hasGrayImage() const noexcept { return _grayImage != nullptr; }
  // Replaces (and deletes) the current image, as setScanLine does the line.
  void setGrayImage(std::unique_ptr<ScanGrayImage> image) noexcept;

  ScanFrameSyncInterface* getSyncObject() const noexcept { return _sync; }
  // The data state, read through the sync object.
  std::uint32_t getDataState() const;

 private:
  // The frame's sync object keeps the data state here and is the only code
  // that reads or writes the storage itself; everybody else goes through
  // getSyncObject(), which takes the state mutex and wakes waiting readers.
  template <class, class>
  friend class _ScanFrameSyncImpl;
  std::uint32_t& dataStateStorage() noexcept { return _dataState; }

  std::uint32_t _dataState = 0;
  _ScanLine<T>* _scanLine = nullptr;
  ScanGrayImage* _grayImage = nullptr;
  ExtensionList _extensionList;
  ScanFrameSyncInterface* _sync = nullptr;
};

QUAX_SCAN_EXTERN_TEMPLATE(class _ScanFrame<double>)

using ScanFrame = _ScanFrame<double>;

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANFRAME_H_
