// Metafiles drawn into pixels; the invariants are in image_fuzz.h.
#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::images;
  return vorsandt::fuzz::FuzzImageDecoder(DecodeWmf, ImageFormat::kWmf, data, size);
}
