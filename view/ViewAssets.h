// SPDX-License-Identifier: MIT
// The text files of the view page, built into the library
// (ViewAssets.cpp is generated from them by EmbedText.cmake): three.js and
// its orbit controls, and the viewer's own markup, style and script.
#ifndef QUAX_VIEW_VIEWASSETS_H_
#define QUAX_VIEW_VIEWASSETS_H_

#include <cstddef>
#include <ostream>
#include <string_view>

namespace QUAX {
namespace view {

// A text in parts, to be written one after another.
struct ViewAsset {
  const std::string_view* parts;
  std::size_t count;

  void write(std::ostream& out) const {
    for (std::size_t i = 0; i < count; ++i)
      out.write(parts[i].data(), std::streamsize(parts[i].size()));
  }
};

extern const char* const kThreeJsRevision;
extern const ViewAsset kThreeJs;
extern const ViewAsset kOrbitControlsJs;
extern const ViewAsset kPageHtml;  // the body's markup
extern const ViewAsset kPageCss;
extern const ViewAsset kPageJs;  // the viewer

}  // namespace view
}  // namespace QUAX

#endif  // QUAX_VIEW_VIEWASSETS_H_
