// SPDX-License-Identifier: MIT
#include "scan/model/ScanPointItems.h"

#include "util/ExtensionItemFactory.h"

namespace QUAX {

// ---- ScanPointTPData ---------------------------------------------------------

const _GUID ScanPointTPData::TPDataKey = {
    0x065EFC60, 0xB25C, 0x11D3, {0xA6, 0x22, 0x00, 0xE0, 0x29, 0x24, 0xBB, 0xF5}};

ScanPointTPData::ScanPointTPData() : ExtensionItem(TPDataKey) {}
ScanPointTPData::ScanPointTPData(const ScanPointTPData& other) = default;
ScanPointTPData& ScanPointTPData::operator=(const ScanPointTPData& other) {
  _lowPixel = other._lowPixel;
  _highPixel = other._highPixel;
  return *this;
}
ScanPointTPData::~ScanPointTPData() = default;
ExtensionItem* ScanPointTPData::clone() const { return new ScanPointTPData(*this); }
ExtensionItem* ScanPointTPData::create() { return new ScanPointTPData(); }

// ---- ScanPointGraysumData ----------------------------------------------------

const _GUID ScanPointGraysumData::GraysumDataKey = {
    0x67559302, 0xB195, 0x11D3, {0xA6, 0x21, 0x00, 0xE0, 0x29, 0x24, 0xBB, 0xF5}};

ScanPointGraysumData::ScanPointGraysumData() : ExtensionItem(GraysumDataKey) {}
ScanPointGraysumData::ScanPointGraysumData(const ScanPointGraysumData& other) =
    default;
ScanPointGraysumData& ScanPointGraysumData::operator=(
    const ScanPointGraysumData& other) {
  _graysum = other._graysum;
  return *this;
}
ScanPointGraysumData::~ScanPointGraysumData() = default;
ExtensionItem* ScanPointGraysumData::clone() const {
  return new ScanPointGraysumData(*this);
}
ExtensionItem* ScanPointGraysumData::create() { return new ScanPointGraysumData(); }

// ---- ScanPointExtData --------------------------------------------------------

template <class T>
const _GUID& ScanPointExtData<T>::getScanPointExtDataKey() {
  static const _GUID key = {0x31CF77DE, 0xFE15, 0x4A88,
                            {0xAB, 0x93, 0x42, 0x41, 0xFA, 0xE3, 0xA1, 0xCC}};
  return key;
}

template <class T>
ScanPointExtData<T>::ScanPointExtData() : ExtensionItem(getScanPointExtDataKey()) {}
template <class T>
ScanPointExtData<T>::ScanPointExtData(const ScanPointExtData& other) = default;
template <class T>
ScanPointExtData<T>& ScanPointExtData<T>::operator=(const ScanPointExtData& other) {
  _data = other._data;
  return *this;
}
template <class T>
ScanPointExtData<T>::~ScanPointExtData() = default;
template <class T>
ExtensionItem* ScanPointExtData<T>::clone() const {
  return new ScanPointExtData(*this);
}
template <class T>
ExtensionItem* ScanPointExtData<T>::create() {
  return new ScanPointExtData();
}

template class ScanPointExtData<double>;

// ---- scanInit ----------------------------------------------------------------

void scanInit() {
  ExtensionItemFactory& factory = ExtensionItemFactory::getInstance();
  factory.registerExtension(
      ScanPointGraysumData::GraysumDataKey,
      ExtensionItemFactory::Creator(&ScanPointGraysumData::create));
  factory.registerExtension(ScanPointTPData::TPDataKey,
                            ExtensionItemFactory::Creator(&ScanPointTPData::create));
}

}  // namespace QUAX
