// SPDX-License-Identifier: MIT
// Extension items of scan points, and the library's initialisation.
#ifndef QUAX_SCAN_MODEL_SCANPOINTITEMS_H_
#define QUAX_SCAN_MODEL_SCANPOINTITEMS_H_

#include <cstdint>

#include "scan/ScanTemplates.h"
#include "util/Extension.h"

namespace QUAX {

// The point items are plain records without a lock: they are guarded with
// the point that carries them. Assignment copies the payload only; every
// item keeps its key.

// Low and high pixel of the laser line in the camera image for this point.
class QUAX_SCAN_API ScanPointTPData : public ExtensionItem {
 public:
  // {065EFC60-B25C-11D3-A622-00E02924BBF5}
  static const _GUID TPDataKey;

  ScanPointTPData();
  ScanPointTPData(const ScanPointTPData& other);
  // Copies the payload; the key stays.
  ScanPointTPData& operator=(const ScanPointTPData& other);
  ~ScanPointTPData() override;

  ExtensionItem* clone() const override;
  static ExtensionItem* create();

  std::uint32_t getLowPixel() const noexcept { return _lowPixel; }
  std::uint32_t getHighPixel() const noexcept { return _highPixel; }
  void setLowPixel(std::uint32_t value) noexcept { _lowPixel = value; }
  void setHighPixel(std::uint32_t value) noexcept { _highPixel = value; }

 private:
  std::uint32_t _lowPixel = 0;
  std::uint32_t _highPixel = 0;
};

// Sum of the gray values of the laser line's pixels for this point.
class QUAX_SCAN_API ScanPointGraysumData : public ExtensionItem {
 public:
  // {67559302-B195-11D3-A621-00E02924BBF5}
  static const _GUID GraysumDataKey;

  ScanPointGraysumData();
  ScanPointGraysumData(const ScanPointGraysumData& other);
  ScanPointGraysumData& operator=(const ScanPointGraysumData& other);
  ~ScanPointGraysumData() override;

  ExtensionItem* clone() const override;
  static ExtensionItem* create();

  std::uint32_t getGraysum() const noexcept { return _graysum; }
  void setGraysum(std::uint32_t value) noexcept { _graysum = value; }

 private:
  std::uint32_t _graysum = 0;
};

// One free value per point.
template <class T>
class QUAX_SCAN_API ScanPointExtData : public ExtensionItem {
 public:
  // {31CF77DE-FE15-4A88-AB93-4241FAE3A1CC}
  static const _GUID& getScanPointExtDataKey();

  ScanPointExtData();
  ScanPointExtData(const ScanPointExtData& other);
  ScanPointExtData& operator=(const ScanPointExtData& other);
  ~ScanPointExtData() override;

  ExtensionItem* clone() const override;
  static ExtensionItem* create();

  T getData() const noexcept { return _data; }
  void setData(const T& value) noexcept { _data = value; }

 private:
  T _data = T(0);
};

QUAX_SCAN_EXTERN_TEMPLATE(class ScanPointExtData<double>)

// Registers the factories of ScanPointGraysumData and ScanPointTPData with
// the utility library's item factory. Call once after loading, before other
// threads use extension items. Nothing else is registered.
QUAX_SCAN_API void scanInit();

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANPOINTITEMS_H_
