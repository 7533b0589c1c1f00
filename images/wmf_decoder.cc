// Metafiles (.WMF, and the .TMP page images of report previews): told apart
// from other pictures here, drawn by the metafile player. Turning the
// player's shapes into pixels is not written yet, so a metafile is reported
// as not supported (after its headers were checked, so that a damaged one
// says so).
#include <string>

#include "images/decoders.h"
#include "images/metafile_player.h"

namespace vorsandt::images {

DecodeResult DecodeWmf(Bytes bytes, const DecodeOptions&) {
  std::string error;
  if (!ReadMetafileInfo(bytes.data(), bytes.size(), &error))
    return Failure(ImageFormat::kWmf, ImageError::kCorrupt, error);
  return Failure(ImageFormat::kWmf, ImageError::kUnsupported, "metafiles are not shown yet");
}

}  // namespace vorsandt::images
