// SPDX-License-Identifier: MIT
// Extension items carried by a scan frame: its timing values and a
// descriptive record of the sensor software.
#ifndef QUAX_SCAN_MODEL_SCANFRAMEITEMS_H_
#define QUAX_SCAN_MODEL_SCANFRAMEITEMS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "scan/QUAXScanExport.h"
#include "util/Extension.h"
#include "util/Guid.h"

namespace QUAX {

// Four timing values of one frame, stored unchanged in the caller's unit.
// The scan frame time is also reached under the short names getTime and
// setTime. Items carry no lock: they are guarded with their frame.
class QUAX_SCAN_API ScanFrameTimeData : public ExtensionItem {
 public:
  // {95A6C1FA-283D-11D5-922A-0010A4E7A334}
  static const _GUID ScanFrameTimeDataKey;

  // All four values 0.
  ScanFrameTimeData() noexcept;
  ScanFrameTimeData(const ScanFrameTimeData& other) noexcept;
  // Copies the four values; the key stays.
  ScanFrameTimeData& operator=(const ScanFrameTimeData& other) noexcept;
  ~ScanFrameTimeData() override;

  // A new copy, owned by the caller.
  ExtensionItem* clone() const override;
  // A new default item, owned by the caller (fits a factory callback).
  static ExtensionItem* create();

  std::uint32_t getControllerProcessTime() const noexcept {
    return _controllerProcessTime;
  }
  std::uint32_t getControllerWaitTime() const noexcept {
    return _controllerWaitTime;
  }
  std::uint32_t getScanFrameTime() const noexcept { return _scanFrameTime; }
  std::uint32_t getTime() const noexcept { return _scanFrameTime; }
  std::uint32_t getHostProcessTime() const noexcept { return _hostProcessTime; }

  void setControllerProcessTime(std::uint32_t value) noexcept {
    _controllerProcessTime = value;
  }
  void setControllerWaitTime(std::uint32_t value) noexcept {
    _controllerWaitTime = value;
  }
  void setScanFrameTime(std::uint32_t value) noexcept {
    _scanFrameTime = value;
  }
  void setTime(std::uint32_t value) noexcept { _scanFrameTime = value; }
  void setHostProcessTime(std::uint32_t value) noexcept {
    _hostProcessTime = value;
  }

 private:
  std::uint32_t _controllerProcessTime;
  std::uint32_t _controllerWaitTime;
  std::uint32_t _scanFrameTime;
  std::uint32_t _hostProcessTime;
};

// A descriptive record of one frame: a text, three integers and six reals.
// The library gives them no meaning; it stores and copies them. There is no
// default item and no create(), so the factory cannot rebuild it from its
// key.
class QUAX_SCAN_API SWScanFrameInfo : public ExtensionItem {
 public:
  static constexpr std::size_t kRealCount = 6;

  SWScanFrameInfo(const std::string& info, std::int32_t first,
                  std::int32_t second, std::int32_t third, double r1, double r2,
                  double r3, double r4, double r5, double r6);
  SWScanFrameInfo(const SWScanFrameInfo& other);
  // Copies the text and the nine numbers; the key stays.
  SWScanFrameInfo& operator=(const SWScanFrameInfo& other);
  ~SWScanFrameInfo() override;

  // A new copy, owned by the caller.
  ExtensionItem* clone() const override;

  // {5BC52BC3-AA81-4092-95A1-8B238AACDA32}
  static _GUID getSWScanFrameInfoKey() noexcept;

  const std::string& getInfo() const noexcept { return _info; }
  std::int32_t getFirst() const noexcept { return _first; }
  std::int32_t getSecond() const noexcept { return _second; }
  std::int32_t getThird() const noexcept { return _third; }
  // The real value at `index` (0 for the first, 5 for the sixth). An index
  // of kRealCount or more throws std::out_of_range.
  double getReal(std::size_t index) const;
  const std::array<double, kRealCount>& getReals() const noexcept {
    return _reals;
  }

 private:
  std::string _info;
  std::int32_t _first;
  std::int32_t _second;
  std::int32_t _third;
  std::array<double, kRealCount> _reals;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANFRAMEITEMS_H_
