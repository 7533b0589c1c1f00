#include "storage/qvf/header_view.h"

#include <cstring>

#include "runtime/files/error_codes.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

void HeaderView::Reset(bool refuse) {
  view_.reset();
  refused_ = refuse;
  valid_ = false;
}

int HeaderView::Map(env::File* file) {
  if (view_ != nullptr || refused_) return 0;
#ifdef VORSANDT_CHECKS
  if (!valid_) return kCheckHeaderView;  // invariant b
#endif
  if (file->Map(kHeaderSize, &view_) != 0) {
    view_.reset();
    refused_ = true;
  }
  return 0;
}

bool HeaderView::Unchanged(uint8_t* buf) const {
  if (view_ == nullptr || !valid_) return false;
  // Any difference, a torn copy included, sends the caller to ReadAt.
  return view_->Read(0, buf, kHeaderSize) == 0 && Same(buf);
}

bool HeaderView::Same(const uint8_t* buf) const {
  return valid_ && std::memcmp(buf, raw_.data(), kHeaderSize) == 0;
}

int HeaderView::Decode(const uint8_t* buf, FileHeader* h) {
  if (Same(buf)) {
    *h = decoded_;
    return 0;
  }
  if (DecodeHeader(buf, h) != 0) return files::kInvalidDataFile;
  std::memcpy(raw_.data(), buf, kHeaderSize);
  decoded_ = *h;
  valid_ = true;
  return 0;
}

}  // namespace vorsandt::qvf
