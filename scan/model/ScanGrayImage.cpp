// SPDX-License-Identifier: MIT
#include "scan/model/ScanGrayImage.h"

namespace QUAX {

ScanGrayImage::ScanGrayImage(std::size_t height, std::size_t width,
                             std::size_t pixelBitWidth)
    : _imageHeight(height), _imageWidth(width), _pixelBitWidth(pixelBitWidth) {
  setProxy(&_extensionList);
}

ScanGrayImage::ScanGrayImage(const ScanGrayImage& other)
    : ExtensionInterface(other),
      _imageHeight(other._imageHeight),
      _imageWidth(other._imageWidth),
      _pixelBitWidth(other._pixelBitWidth),
      _extensionList(other._extensionList) {
  setProxy(&_extensionList);
}

ScanGrayImage& ScanGrayImage::operator=(const ScanGrayImage& other) {
  if (this != &other) {
    _imageHeight = other._imageHeight;
    _imageWidth = other._imageWidth;
    _pixelBitWidth = other._pixelBitWidth;
    _extensionList = other._extensionList;
  }
  return *this;
}

ScanGrayImage::~ScanGrayImage() = default;

}  // namespace QUAX
