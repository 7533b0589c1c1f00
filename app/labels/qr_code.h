// QR codes for labels, through libqrencode: the dark modules of the symbol
// for a short text, row by row.
#ifndef VORSANDT_APP_LABELS_QR_CODE_H_
#define VORSANDT_APP_LABELS_QR_CODE_H_

#include <optional>
#include <string>
#include <vector>

namespace vorsandt::app {

struct QrCode {
  int size = 0;               // modules a side, without the quiet zone
  std::vector<bool> modules;  // size * size, row by row; true is dark
  bool Dark(int x, int y) const { return modules[static_cast<size_t>(y * size + x)]; }
};

// The symbol for `utf8` at error correction level M, in byte mode and the
// smallest version that holds it; nullopt when the text is too long for any
// version or the library fails.
std::optional<QrCode> EncodeQr(const std::string& utf8);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_LABELS_QR_CODE_H_
