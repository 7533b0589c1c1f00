// Metafiles: the player over arbitrary bytes (page images and .WMF pictures
// come from outside: a temporary folder anyone can write to, picture files).
//
// Invariants, for every input:
//  1. Playing never reads outside the input and always ends.
//  2. A play that stops gives a reason; one that succeeds read valid headers.
//  3. Every drawn text lies inside the input (its bytes are a slice of it),
//     and a polygon has no more points than the input could hold.
//  4. Playing the same bytes twice draws the same listing.
#include <cstdint>
#include <string>
#include <vector>

#include "images/metafile_listing.h"
#include "images/metafile_player.h"
#include "tests/fuzz/fuzz_support.h"

namespace vorsandt::images {
namespace {

class CheckingCanvas : public MetafileListing {
 public:
  explicit CheckingCanvas(size_t size) : size_(size) {}
  void Polygon(const std::vector<MetaPoint>& points, const MetaPen& pen, const MetaBrush& brush,
               bool closed) override {
    FUZZ_CHECK(points.size() * 4 <= size_);
    MetafileListing::Polygon(points, pen, brush, closed);
  }
  void Text(MetaPoint at, std::string_view text, const MetaFont& font, uint32_t colour,
            uint16_t align) override {
    FUZZ_CHECK(text.size() <= size_);
    FUZZ_CHECK(font.face.size() < kFaceNameBytes + 1);
    MetafileListing::Text(at, text, font, colour, align);
  }

 private:
  size_t size_;
};

}  // namespace
}  // namespace vorsandt::images

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::images;
  // A copy of exactly `size` bytes, so that a read past the end is caught
  // by the sanitizers of the libFuzzer build.
  std::vector<uint8_t> bytes(data, data + size);
  CheckingCanvas first(size);
  PlayResult a = PlayMetafile(bytes, first);
  FUZZ_CHECK(a.ok || !a.error.empty());
  if (a.ok) FUZZ_CHECK(ReadMetafileInfo(bytes.data(), bytes.size(), nullptr).has_value());
  CheckingCanvas second(size);
  PlayResult b = PlayMetafile(bytes, second);
  FUZZ_CHECK(first.text() == second.text());
  FUZZ_CHECK(a.records == b.records && a.ok == b.ok);
  return 0;
}
