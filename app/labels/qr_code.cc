#include "app/labels/qr_code.h"

#include <qrencode.h>

#include <memory>

namespace vorsandt::app {

std::optional<QrCode> EncodeQr(const std::string& utf8) {
  // Byte mode keeps the text exactly as given (mixed case included), which
  // is what a scanner types back.
  std::unique_ptr<QRcode, void (*)(QRcode*)> symbol(
      QRcode_encodeString8bit(utf8.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
  if (symbol == nullptr || symbol->width <= 0) return std::nullopt;
  QrCode code;
  code.size = symbol->width;
  code.modules.resize(static_cast<size_t>(code.size) * code.size);
  for (size_t i = 0; i < code.modules.size(); ++i) code.modules[i] = (symbol->data[i] & 1) != 0;
  return code;
}

}  // namespace vorsandt::app
