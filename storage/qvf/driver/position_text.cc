#include "storage/qvf/driver/position_text.h"

#include <algorithm>

namespace vorsandt::qvf {
namespace {

void PutNumber(std::string* text, uint32_t record) {
  (*text)[0] = static_cast<char>(record >> 24);
  (*text)[1] = static_cast<char>(record >> 16);
  (*text)[2] = static_cast<char>(record >> 8);
  (*text)[3] = static_cast<char>(record);
}

}  // namespace

std::string EncodePosition(uint32_t record) {
  std::string text(kPositionTextSize, '\0');
  PutNumber(&text, record);
  return text;
}

std::string EncodeKeyPosition(uint32_t record, std::string_view key_value) {
  std::string text = EncodePosition(record);
  size_t n = std::min(key_value.size(), kPositionKeyRoom);
  text.replace(4, n, key_value.substr(0, n));
  return text;
}

bool DecodePosition(std::string_view text, uint32_t* record, size_t key_length,
                    std::string* key_value) {
  if (text.size() < 4) return false;
  auto b = [&text](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(text[i])); };
  *record = (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
  if (key_value != nullptr) {
    size_t n = std::min({key_length, kPositionKeyRoom, text.size() - 4});
    key_value->assign(text.substr(4, n));
  }
  return true;
}

}  // namespace vorsandt::qvf
