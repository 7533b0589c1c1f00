// Test support: the application's tables in a scratch folder, served by the
// native driver behind an entry that counts the reads the view engine makes.
#ifndef VORSANDT_RUNTIME_VIEWS_VIEW_TEST_SUPPORT_H_
#define VORSANDT_RUNTIME_VIEWS_VIEW_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::views::testing {

// Next and Previous calls sent to any table since the last ResetReads.
inline int64_t& ReadCount() {
  static int64_t reads = 0;
  return reads;
}
inline void ResetReads() { ReadCount() = 0; }

inline int32_t CountingEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (op == files::kOpNext || op == files::kOpPrevious) ++ReadCount();
  return qvf::QvfEntry(op, object, args);
}

class ScratchFolder {
 public:
  ScratchFolder() {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "views_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    std::filesystem::current_path(path_);
  }
  ~ScratchFolder() {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(path_);
  }

 private:
  std::filesystem::path old_;
  std::filesystem::path path_;
};

inline int32_t Code() { return files::Errors().Code(); }

inline files::FileRecord* TableFile(app::Table t) {
  app::InitDictionary(&CountingEntry);
  return app::File(t);
}

inline files::FieldInfo Info(const char* name) {
  const app::FieldDef* d = app::FieldNamed(name);
  EXPECT_NE(d, nullptr) << name;
  files::FieldInfo f;
  if (d == nullptr) return f;
  f.name = d->name;
  f.offset = d->offset;
  f.type = d->type;
  f.size = d->size;
  f.decimals = d->places;
  return f;
}

inline uint8_t* BufferOf(const char* field) {
  app::Table t;
  app::TableOfName(field, &t);
  return files::RecordBuffer(TableFile(t));
}

inline void Set(const char* field, const std::string& value) {
  StoreText(Info(field), BufferOf(field), value);
}
inline void Set(const char* field, double value) {
  StoreNumber(Info(field), BufferOf(field), value);
}
inline std::string Text(const char* field) {
  std::string s = FieldText(Info(field), BufferOf(field));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}
inline int Number(const char* field) {
  return static_cast<int>(FieldNumber(Info(field), BufferOf(field)));
}

// Creates, opens and binds the tables, each empty.
inline void OpenTables(std::initializer_list<app::Table> tables) {
  for (app::Table t : tables) {
    files::FileRecord* f = TableFile(t);
    files::Create(f);
    ASSERT_EQ(Code(), 0);
    files::Open(f);
    ASSERT_EQ(Code(), 0);
    eval::BindRecord(f);
  }
}
inline void CloseTables(std::initializer_list<app::Table> tables) {
  for (app::Table t : tables) files::Close(TableFile(t));
}

// Starts a blank record of table `t`.
inline void Blank(app::Table t) {
  files::FileRecord* f = files::InstanceOf(TableFile(t));
  std::vector<files::FieldInfo> fields;
  files::ParseLayout({f->layout, f->layout_size}, &fields);
  ClearRecord(fields, f->buffer, f->record_length);
}

inline void AddRecord(app::Table t) {
  files::Add(TableFile(t));
  ASSERT_EQ(Code(), 0);
}

}  // namespace vorsandt::views::testing

#endif  // VORSANDT_RUNTIME_VIEWS_VIEW_TEST_SUPPORT_H_
