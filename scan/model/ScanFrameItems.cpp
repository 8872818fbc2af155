// SPDX-License-Identifier: MIT
#include "scan/model/ScanFrameItems.h"

#include <stdexcept>

namespace QUAX {

// ---- ScanFrameTimeData ------------------------------------------------------

const _GUID ScanFrameTimeData::ScanFrameTimeDataKey = {
    0x95A6C1FA,
    0x283D,
    0x11D5,
    {0x92, 0x2A, 0x00, 0x10, 0xA4, 0xE7, 0xA3, 0x34}};

ScanFrameTimeData::ScanFrameTimeData() noexcept
    : ExtensionItem(ScanFrameTimeDataKey),
      _controllerProcessTime(0),
      _controllerWaitTime(0),
      _scanFrameTime(0),
      _hostProcessTime(0) {}

ScanFrameTimeData::ScanFrameTimeData(const ScanFrameTimeData& other) noexcept
    : ExtensionItem(other),
      _controllerProcessTime(other._controllerProcessTime),
      _controllerWaitTime(other._controllerWaitTime),
      _scanFrameTime(other._scanFrameTime),
      _hostProcessTime(other._hostProcessTime) {}

ScanFrameTimeData& ScanFrameTimeData::operator=(
    const ScanFrameTimeData& other) noexcept {
  if (this != &other) {
    _controllerProcessTime = other._controllerProcessTime;
    _controllerWaitTime = other._controllerWaitTime;
    _scanFrameTime = other._scanFrameTime;
    _hostProcessTime = other._hostProcessTime;
  }
  return *this;
}

ScanFrameTimeData::~ScanFrameTimeData() = default;

ExtensionItem* ScanFrameTimeData::clone() const {
  return new ScanFrameTimeData(*this);
}

ExtensionItem* ScanFrameTimeData::create() { return new ScanFrameTimeData(); }

// ---- SWScanFrameInfo --------------------------------------------------------

namespace {
const _GUID kSWScanFrameInfoKey = {
    0x5BC52BC3,
    0xAA81,
    0x4092,
    {0x95, 0xA1, 0x8B, 0x23, 0x8A, 0xAC, 0xDA, 0x32}};
}  // namespace

_GUID SWScanFrameInfo::getSWScanFrameInfoKey() noexcept {
  return kSWScanFrameInfoKey;
}

SWScanFrameInfo::SWScanFrameInfo(const std::string& info, std::int32_t first,
                                 std::int32_t second, std::int32_t third,
                                 double r1, double r2, double r3, double r4,
                                 double r5, double r6)
    : ExtensionItem(kSWScanFrameInfoKey),
      _info(info),
      _first(first),
      _second(second),
      _third(third),
      _reals{{r1, r2, r3, r4, r5, r6}} {}

SWScanFrameInfo::SWScanFrameInfo(const SWScanFrameInfo& other)
    : ExtensionItem(kSWScanFrameInfoKey),
      _info(other._info),
      _first(other._first),
      _second(other._second),
      _third(other._third),
      _reals(other._reals) {}

SWScanFrameInfo& SWScanFrameInfo::operator=(const SWScanFrameInfo& other) {
  if (this != &other) {
    _info = other._info;
    _first = other._first;
    _second = other._second;
    _third = other._third;
    _reals = other._reals;
  }
  return *this;
}

SWScanFrameInfo::~SWScanFrameInfo() = default;

ExtensionItem* SWScanFrameInfo::clone() const {
  return new SWScanFrameInfo(*this);
}

double SWScanFrameInfo::getReal(std::size_t index) const {
  if (index >= kRealCount) {
    throw std::out_of_range(
        "SWScanFrameInfo::getReal: index past the sixth value");
  }
  return _reals[index];
}

}  // namespace QUAX
