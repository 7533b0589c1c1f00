// The position text of a table record: 512 characters that name a record so
// that it can be read again (Reget) or a sequence restarted there (Reset).
//
//   bytes 0..3   the record number, big-endian (as stored in the file)
//   bytes 4..    PositionKey only: the encoded key value of the record
//   the rest     zero bytes
// A key value longer than 508 bytes is cut (the record number still names
// the record).
#ifndef VORSANDT_STORAGE_QVF_DRIVER_POSITION_TEXT_H_
#define VORSANDT_STORAGE_QVF_DRIVER_POSITION_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vorsandt::qvf {

inline constexpr size_t kPositionTextSize = 512;
inline constexpr size_t kPositionKeyRoom = kPositionTextSize - 4;

std::string EncodePosition(uint32_t record);
std::string EncodeKeyPosition(uint32_t record, std::string_view key_value);

// Reads a position text. False when it is shorter than the 4 bytes of a
// record number. `key_value` (optional) receives the `key_length` bytes after
// the number (fewer when the text is shorter).
bool DecodePosition(std::string_view text, uint32_t* record, size_t key_length = 0,
                    std::string* key_value = nullptr);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_POSITION_TEXT_H_
