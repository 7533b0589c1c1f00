#include "images/decode.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "images/decoders.h"
#include "images/limits.h"

namespace vorsandt::images {
namespace {

using Sniff = bool (*)(Bytes);
using Decoder = DecodeResult (*)(Bytes, const DecodeOptions&);

// False when `path` names something of this system that is not a regular
// file or a folder (a FIFO, a device). Looked at by name, not opened: opening
// a FIFO waits for a writer. True when it cannot be looked at (the
// environment, which may keep its files elsewhere, then tells).
bool RegularOrUnknown(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

bool Starts(Bytes b, std::initializer_list<uint8_t> magic) {
  return b.size() >= magic.size() && std::equal(magic.begin(), magic.end(), b.begin());
}
uint16_t U16(Bytes b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

bool IsJpeg(Bytes b) { return Starts(b, {0xFF, 0xD8, 0xFF}); }
bool IsPng(Bytes b) { return Starts(b, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}); }
bool IsGif(Bytes b) {
  return Starts(b, {'G', 'I', 'F', '8', '7', 'a'}) || Starts(b, {'G', 'I', 'F', '8', '9', 'a'});
}
bool IsBmp(Bytes b) { return b.size() >= 18 && Starts(b, {'B', 'M'}); }
// Icons and cursors: reserved 0, type 1 or 2, at least one entry.
bool IsIco(Bytes b) {
  return b.size() >= 6 && U16(b, 0) == 0 && (U16(b, 2) == 1 || U16(b, 2) == 2) && U16(b, 4) > 0;
}
// PCX has no real signature: the maker byte, a known version, an encoding
// and a depth it can have.
bool IsPcx(Bytes b) {
  if (b.size() < 128 || b[0] != 0x0A || b[2] > 1) return false;
  const uint8_t version = b[1], bpp = b[3];
  return (version == 0 || (version >= 2 && version <= 5)) &&
         (bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8);
}
// A placeable metafile's key, or a plain metafile's header: type 1 (memory)
// or 2 (disk), a header of nine words, version 1 or 3.
bool IsWmf(Bytes b) {
  if (Starts(b, {0xD7, 0xCD, 0xC6, 0x9A})) return true;
  return b.size() >= 18 && (U16(b, 0) == 1 || U16(b, 0) == 2) && U16(b, 2) == 9 &&
         (U16(b, 4) == 0x0100 || U16(b, 4) == 0x0300);
}

struct FormatEntry {
  ImageFormat format;
  Sniff sniff;
  Decoder decode;
};

// Strong signatures first; PCX and plain metafiles have weak ones.
constexpr std::array<FormatEntry, 7> kFormats = {{
    {ImageFormat::kJpeg, IsJpeg, DecodeJpeg},
    {ImageFormat::kPng, IsPng, DecodePng},
    {ImageFormat::kGif, IsGif, DecodeGif},
    {ImageFormat::kBmp, IsBmp, DecodeBmp},
    {ImageFormat::kWmf, IsWmf, DecodeWmf},
    {ImageFormat::kIco, IsIco, DecodeIco},
    {ImageFormat::kPcx, IsPcx, DecodePcx},
}};

const FormatEntry* EntryFor(Bytes bytes) {
  for (const FormatEntry& entry : kFormats)
    if (entry.sniff(bytes)) return &entry;
  return nullptr;
}

}  // namespace

ImageFormat DetectFormat(std::span<const uint8_t> bytes) {
  const FormatEntry* entry = EntryFor(bytes);
  return entry != nullptr ? entry->format : ImageFormat::kUnknown;
}

DecodeResult DecodeImage(std::span<const uint8_t> bytes, const DecodeOptions& options) {
  if (bytes.empty()) return Failure(ImageFormat::kUnknown, ImageError::kEmpty, "");
  const FormatEntry* entry = EntryFor(bytes);
  if (entry == nullptr) return Failure(ImageFormat::kUnknown, ImageError::kUnknownFormat, "");
  return entry->decode(bytes, options);
}

DecodeResult DecodeImageFile(env::Env& env, const std::string& path, const DecodeOptions& options) {
  // A FIFO would block the open until a writer came; a device never ends.
  if (!RegularOrUnknown(path))
    return Failure(ImageFormat::kUnknown, ImageError::kReadFailed, path + ": not a regular file");
  std::unique_ptr<env::File> file;
  int rc = env.Open(path, env::kOpenReadOnly, &file);
  if (rc == ENOENT || rc == ENOTDIR)
    return Failure(ImageFormat::kUnknown, ImageError::kFileNotFound, path);
  uint64_t size = 0;
  if (rc == 0) rc = file->Size(&size);
  if (rc != 0)
    return Failure(ImageFormat::kUnknown, ImageError::kReadFailed, path + ": " + std::strerror(rc));
  if (size > kMaxFileBytes)
    return Failure(ImageFormat::kUnknown, ImageError::kTooLarge,
                   path + ": " + std::to_string(size) + " bytes");
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  size_t got = 0;
  rc = file->ReadAt(0, bytes.data(), bytes.size(), &got);
  if (rc != 0)
    return Failure(ImageFormat::kUnknown, ImageError::kReadFailed, path + ": " + std::strerror(rc));
  bytes.resize(got);  // the file may have shrunk meanwhile
  return DecodeImage(bytes, options);
}

}  // namespace vorsandt::images
