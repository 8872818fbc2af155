// SPDX-License-Identifier: MIT
// The abstract base of a frame's camera gray image.
#ifndef QUAX_SCAN_MODEL_SCANGRAYIMAGE_H_
#define QUAX_SCAN_MODEL_SCANGRAYIMAGE_H_

#include <cstddef>
#include <cstdint>

#include "scan/ScanTemplates.h"
#include "util/Extension.h"

namespace QUAX {

// Size and pixel bit width of an image, with extension items of its own.
// Derived image classes hold the pixels; their pixel access reports indexes
// outside the image with EScanImageRowTooLarge / EScanImageColumnTooLarge.
class QUAX_SCAN_API ScanGrayImage : public ExtensionInterface {
 public:
  ~ScanGrayImage() override;

  std::size_t getImageHeight() const noexcept { return _imageHeight; }
  std::size_t getImageWidth() const noexcept { return _imageWidth; }
  std::size_t getPixelBitWidth() const noexcept { return _pixelBitWidth; }

  // The gray value at (row, column), in the image's pixel bit width.
  virtual std::uint32_t getPixel(std::size_t row, std::size_t column) const = 0;

 protected:
  ScanGrayImage(std::size_t height, std::size_t width, std::size_t pixelBitWidth);
  ScanGrayImage(const ScanGrayImage& other);
  ScanGrayImage& operator=(const ScanGrayImage& other);

 private:
  std::size_t _imageHeight;
  std::size_t _imageWidth;
  std::size_t _pixelBitWidth;
  ExtensionList _extensionList;
};

}  // namespace QUAX

#endif  // QUAX_SCAN_MODEL_SCANGRAYIMAGE_H_
