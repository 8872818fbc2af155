// SPDX-License-Identifier: MIT
#include "scan/model/ScanFrame.h"

#include <stdexcept>

#include "scan/ScanErrors.h"
#include "scan/sync/ScanSyncImpl.h"

namespace QUAX {

template <class T>
_ScanFrame<T>::_ScanFrame() : _sync(ScanFrameSyncCreator<T>(this)) {
  setProxy(&_extensionList);
}

template <class T>
_ScanFrame<T>::_ScanFrame(std::unique_ptr<_ScanLine<T>> line) : _ScanFrame() {
  _scanLine = line.release();
}

template <class T>
_ScanFrame<T>::~_ScanFrame() {
  delete _sync;
  delete _grayImage;
  delete _scanLine;
}

template <class T>
_ScanLine<T>* _ScanFrame<T>::getScanLine() const {
  if (_scanLine == nullptr) throw EScanFrameNoScanLine();
  return _scanLine;
}

template <class T>
void _ScanFrame<T>::setScanLine(std::unique_ptr<_ScanLine<T>> line) noexcept {
  if (line.get() != _scanLine) delete _scanLine;  // handing back our own line
  _scanLine = line.release();
}

template <class T>
ScanGrayImage* _ScanFrame<T>::getGrayImage() const {
  if (_grayImage == nullptr) throw EScanFrameNoGrayImage();
  return _grayImage;
}

template <class T>
void _ScanFrame<T>::setGrayImage(std::unique_ptr<ScanGrayImage> image) noexcept {
  if (image.get() != _grayImage) delete _grayImage;
  _grayImage = image.release();
}

template <class T>
std::uint32_t _ScanFrame<T>::getDataState() const {
  return _sync->getDataState();
}

template class _ScanFrame<double>;

// The frame keeps its data state for its sync object and hands it out with
// `std::uint32_t& _ScanFrame<T>::dataStateStorage() noexcept`, private to
// everybody but _ScanFrameSyncImpl.
template <class T>
ScanFrameSyncInterface* ScanFrameSyncCreator(_ScanFrame<T>* frame) {
  if (frame == nullptr) {
    throw std::invalid_argument("QUAX::ScanFrameSyncCreator: null frame");
  }
  return new _ScanFrameSyncImpl<T>(frame);
}

template class _ScanFrameSyncImpl<double>;
template ScanFrameSyncInterface* ScanFrameSyncCreator<double>(
    _ScanFrame<double>*);

}  // namespace QUAX
