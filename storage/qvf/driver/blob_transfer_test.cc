// Blob fields through the driver: operations 75 to 79, and blobs stored by
// Add and Put and read back by the reads.
#include "storage/qvf/driver/blob_transfer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/text_stack.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "storage/qvf/table/definition.h"

namespace vorsandt::qvf {
namespace {

using testing::Code;
using testing::ScratchFolder;

// A table of pictures: a SHORT id (the primary key), a caption memo and a
// picture blob.
struct PictureTable {
  PictureTable() {
    layout = files::LayoutBuilder().Short(0, "PIC:ID").String(2, "PIC:TITLE", 10).Finish();
    buffer.assign(12, ' ');
    file = std::make_unique<files::FileRecord>(&QvfEntry, "PICTURES", 8, files::kAttrCreate, 12,
                                               layout.data(), layout.size(), nullptr, 1, memos, 2,
                                               buffer.data());
    key = {"PIC:ID", 6, 0x16, 1, components, file.get(), 1};
    file->keys = keys;
  }
  void SetId(int id) {
    auto v = static_cast<int16_t>(id);
    std::memcpy(buffer.data(), &v, 2);
  }

  files::MemoDecl caption{"PIC:CAPTION", 11, 0, 100};
  files::MemoDecl picture{"PIC:PICTURE", 11, kMemoBlob, 1000};
  const files::MemoDecl* memos[2] = {&caption, &picture};
  int32_t components[1] = {1};
  files::KeyDecl key{};
  const files::KeyDecl* keys[1] = {&key};
  std::vector<uint8_t> layout;
  std::vector<uint8_t> buffer;
  std::unique_ptr<files::FileRecord> file;
};

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed * 7 + i / 256) & 0xFF);
  return s;
}

intptr_t P(const void* p) { return reinterpret_cast<intptr_t>(p); }

void SetBlob(files::FileRecord* f, int field, const std::string& bytes) {
  files::Texts().Push("");
  f->Send(files::kOpBlob78,
          files::Args{field, P(bytes.data()), static_cast<intptr_t>(bytes.size())});
}

int32_t BlobSize(files::FileRecord* f, int field) {
  int32_t size = -1;
  f->Send(files::kOpBlob75, files::Args{field, P(&size)});
  return size;
}

std::string BlobBytes(files::FileRecord* f, int field) {
  int32_t size = BlobSize(f, field);
  std::string block(static_cast<size_t>(std::max(size, 0)), '\0');
  int32_t copied = -1;
  f->Send(files::kOpBlob76,
          files::Args{field, P(block.data()), static_cast<intptr_t>(block.size()), P(&copied)});
  EXPECT_EQ(copied, size);
  return block;
}

std::string BlobText(files::FileRecord* f, const std::string& name) {
  files::Texts().Push(name);
  f->Send(files::kOpBlob79, files::Args{0});
  return files::Texts().Pop().value_or("(none)");
}

TEST(QvfBlobs, BlobsOfEverySizeComeBackByteForByte) {
  ScratchFolder folder;
  PictureTable t;
  files::FileRecord* f = t.file.get();
  files::Create(f);
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  const size_t sizes[] = {0, 1, 255, 256, 257, 300, 65536};
  for (size_t i = 0; i < std::size(sizes); ++i) {
    t.SetId(static_cast<int>(i) + 1);
    SetBlob(f, 2, Pattern(sizes[i], static_cast<int>(i)));
    ASSERT_EQ(Code(), 0);
    files::Add(f);
    ASSERT_EQ(Code(), 0) << sizes[i];
  }
  // Reopened, so that nothing comes from what this block still holds.
  files::Close(f);
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  for (size_t i = std::size(sizes); i-- > 0;) {
    SCOPED_TRACE(sizes[i]);
    t.SetId(static_cast<int>(i) + 1);
    files::GetByKey(f, &t.key);
    ASSERT_EQ(Code(), 0);
    const std::string expected = Pattern(sizes[i], static_cast<int>(i));
    EXPECT_EQ(BlobSize(f, 2), static_cast<int32_t>(sizes[i]));
    EXPECT_TRUE(BlobBytes(f, 2) == expected);
    EXPECT_TRUE(BlobText(f, "pic:picture") == expected);
    EXPECT_EQ(Code(), 0);
    // The memo buffer shows the leading bytes.
    const auto& buffer = files::InstanceOf(f)->memo_buffers[1];
    EXPECT_EQ(std::string(buffer.data(), std::min<size_t>(buffer.size(), expected.size())),
              expected.substr(0, buffer.size()));
  }
  files::Close(f);
}

TEST(QvfBlobs, PutStoresTheNewBlobAndKeepsAnUntouchedOne) {
  ScratchFolder folder;
  PictureTable t;
  files::FileRecord* f = t.file.get();
  files::Create(f);
  files::Open(f);
  for (int id = 1; id <= 2; ++id) {
    t.SetId(id);
    SetBlob(f, 2, Pattern(300, id));
    files::Add(f);
    ASSERT_EQ(Code(), 0);
  }
  // Record 1 gets a shorter blob (one chunk less); record 2 is rewritten
  // with its caption changed only.
  t.SetId(1);
  files::GetByKey(f, &t.key);
  SetBlob(f, 2, Pattern(40, 9));
  files::Put(f);
  ASSERT_EQ(Code(), 0);
  t.SetId(2);
  files::GetByKey(f, &t.key);
  std::memcpy(files::InstanceOf(f)->memo_buffers[0].data(), "changed", 7);
  files::Put(f);
  ASSERT_EQ(Code(), 0);
  files::Close(f);
  files::Open(f);
  t.SetId(1);
  files::GetByKey(f, &t.key);
  EXPECT_TRUE(BlobBytes(f, 2) == Pattern(40, 9));
  t.SetId(2);
  files::GetByKey(f, &t.key);
  EXPECT_TRUE(BlobBytes(f, 2) == Pattern(300, 2));
  EXPECT_EQ(std::string(files::InstanceOf(f)->memo_buffers[0].data(), 7), "changed");
  // An emptied blob stores no chunk and reads back empty.
  SetBlob(f, 2, "");
  files::Put(f);
  ASSERT_EQ(Code(), 0);
  files::GetByKey(f, &t.key);
  EXPECT_EQ(BlobSize(f, 2), 0);
  files::Close(f);
}

TEST(QvfBlobs, RefusalsNameTheirReason) {
  ScratchFolder folder;
  PictureTable t;
  files::FileRecord* f = t.file.get();
  int32_t size = -1;
  f->Send(files::kOpBlob75, files::Args{2, P(&size)});
  EXPECT_EQ(Code(), files::kFileNotOpen);
  files::Create(f);
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  int32_t count = -1;
  f->Send(files::kOpBlob77, files::Args{P(&count)});
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(count, 1);

  // Field 1 is a text memo, 3 does not exist, and a name must be a blob's.
  for (int field : {0, 1, 3}) {
    f->Send(files::kOpBlob75, files::Args{field, P(&size)});
    EXPECT_EQ(Code(), files::kUnsupportedDataType) << field;
  }
  EXPECT_EQ(BlobText(f, "PIC:CAPTION"), "");
  EXPECT_EQ(Code(), files::kUnsupportedDataType);
  files::Texts().Push("PIC:NOSUCH");
  f->Send(files::kOpBlob78, files::Args{2, P("x"), 1});
  EXPECT_EQ(Code(), files::kUnsupportedDataType);

  // A block too small gets nothing, and learns the size it needs.
  const std::string bytes = Pattern(300, 1);
  SetBlob(f, 2, bytes);
  ASSERT_EQ(Code(), 0);
  std::string block(299, '#');
  int32_t needed = -1;
  f->Send(files::kOpBlob76, files::Args{2, P(block.data()), 299, P(&needed)});
  EXPECT_EQ(Code(), files::kInsufficientMemory);
  EXPECT_EQ(needed, 300);
  EXPECT_EQ(block, std::string(299, '#'));

  // Missing pointers and negative lengths.
  f->Send(files::kOpBlob75, files::Args{2, 0});
  EXPECT_EQ(Code(), files::kInvalidNumberOfParameters);
  f->Send(files::kOpBlob76, files::Args{2, 0, 0, 0});
  EXPECT_EQ(Code(), files::kInvalidNumberOfParameters);
  files::Texts().Push("");
  f->Send(files::kOpBlob78, files::Args{2, P(bytes.data()), -1});
  EXPECT_EQ(Code(), files::kInvalidNumberOfParameters);
  EXPECT_EQ(BlobSize(f, 2), 300);  // the refused set changed nothing
  // 78 without its text argument.
  f->Send(files::kOpBlob78, files::Args{2, P(bytes.data()), 1});
  EXPECT_EQ(Code(), files::kInvalidNumberOfParameters);
  files::Close(f);
}

TEST(QvfBlobs, ATableWithoutBlobsAnswersUnsupportedDataType) {
  ScratchFolder folder;
  files::FileRecord* f = testing::CreateAndOpenCompanies();
  int32_t count = -1;
  f->Send(files::kOpBlob77, files::Args{P(&count)});
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(count, 0);
  int32_t size = -1;
  f->Send(files::kOpBlob75, files::Args{1, P(&size)});
  EXPECT_EQ(Code(), files::kUnsupportedDataType);
  EXPECT_EQ(size, -1);
  files::Close(f);
}

}  // namespace
}  // namespace vorsandt::qvf
