#include "ui/qt/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace vorsandt::ui::qt {
namespace {

// One iconv descriptor per conversion and thread: iconv_t carries shift state
// and must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as it can; returns the number of input bytes consumed.
  // On an unconvertible input sequence it stops there.
  size_t Run(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char buffer[512];
    while (left > 0) {
      char* dst = buffer;
      size_t room = sizeof(buffer);
      size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, dst - buffer);
      if (rc == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        break;  // EILSEQ or EINVAL: the caller decides
      }
    }
    return in.size() - left;
  }

 private:
  iconv_t cd_;
};

void AppendUtf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Length of the UTF-8 sequence starting at `s[0]`, 1 for a malformed one.
size_t Utf8Length(std::string_view s) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (n > s.size()) return 1;
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  thread_local Converter cv("UTF-8", "WINDOWS-1252");
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 2);
  while (!ansi.empty()) {
    size_t used = cv.ok() ? cv.Run(ansi, out) : 0;
    ansi.remove_prefix(used);
    if (ansi.empty()) break;
    // An undefined byte (or no converter at all): keep its value.
    AppendUtf8(static_cast<unsigned char>(ansi.front()), out);
    ansi.remove_prefix(1);
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local Converter cv("WINDOWS-1252", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    size_t used = cv.ok() ? cv.Run(utf8, out) : 0;
    utf8.remove_prefix(used);
    if (utf8.empty()) break;
    size_t n = Utf8Length(utf8);
    std::string_view seq = utf8.substr(0, n);
    // The C1 controls that stand for 1252's undefined bytes go back as those bytes.
    if (n == 2 && static_cast<unsigned char>(seq[0]) == 0xC2) {
      unsigned char b = static_cast<unsigned char>(seq[1]);
      if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
        out.push_back(static_cast<char>(b));
        utf8.remove_prefix(n);
        continue;
      }
    }
    out.push_back('?');
    utf8.remove_prefix(n);
  }
  return out;
}

}  // namespace vorsandt::ui::qt
