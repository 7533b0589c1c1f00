// A declared text file for tests: a one-field record of `length` bytes whose
// name lives in a variable, opened through whatever environment is installed.
#ifndef VORSANDT_RUNTIME_TEXT_TEXT_TEST_SUPPORT_H_
#define VORSANDT_RUNTIME_TEXT_TEXT_TEST_SUPPORT_H_

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "runtime/text/text_driver.h"

namespace vorsandt::text::testing {

class TextTable {
 public:
  TextTable(std::string name, uint32_t length, uint8_t attributes = files::kAttrCreate)
      : name_(std::move(name)),
        buffer_(length + 1, ' '),
        layout_(files::LayoutBuilder().String(0, "TXT:LINE", length).Finish()) {
    record_ = std::make_unique<files::FileRecord>(AsciiEntry, name_.c_str(), -1, attributes, length,
                                                  layout_.data(), layout_.size(), nullptr, 0,
                                                  nullptr, 0, buffer_.data());
  }
  files::FileRecord* operator->() { return record_.get(); }
  files::FileRecord* get() { return record_.get(); }

  // The record buffer as text, trailing blanks removed.
  std::string Line() const {
    std::string s(reinterpret_cast<const char*>(buffer_.data()), record_->record_length);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }
  // The whole record buffer.
  std::string Record() const {
    return std::string(reinterpret_cast<const char*>(buffer_.data()), record_->record_length);
  }
  void SetLine(const std::string& text) {
    std::memset(buffer_.data(), ' ', record_->record_length);
    std::memcpy(buffer_.data(), text.data(), std::min<size_t>(text.size(), record_->record_length));
  }
  TextBlock* block() { return static_cast<TextBlock*>(record_->block.get()); }

 private:
  std::string name_;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> layout_;
  std::unique_ptr<files::FileRecord> record_;
};

}  // namespace vorsandt::text::testing

#endif  // VORSANDT_RUNTIME_TEXT_TEXT_TEST_SUPPORT_H_
