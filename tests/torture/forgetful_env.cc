#include "tests/torture/forgetful_env.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vorsandt::torture {

class ForgetfulFile final : public env::File {
 public:
  ForgetfulFile(ForgetfulEnv* env, std::string path, std::unique_ptr<env::File> base)
      : env_(env), path_(std::move(path)), base_(std::move(base)) {}
  int ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override {
    return base_->ReadAt(offset, buffer, length, got);
  }
  int WriteAt(uint64_t offset, const void* buffer, size_t length, size_t* written) override {
    size_t done = 0;
    int rc = base_->WriteAt(offset, buffer, length, &done);
    if (written != nullptr) *written = done;
    env_->Wrote(path_, offset, buffer, done);
    return rc;
  }
  int Sync() override { return env_->Synced(path_, base_.get()); }
  int Truncate(uint64_t length) override {
    int rc = base_->Truncate(length);
    if (rc == 0) env_->Truncated(path_, length);
    return rc;
  }
  int Size(uint64_t* length) override { return base_->Size(length); }
  int TryLock(uint64_t offset, uint64_t length, bool exclusive) override {
    return base_->TryLock(offset, length, exclusive);
  }
  int Unlock(uint64_t offset, uint64_t length) override { return base_->Unlock(offset, length); }
  int NamedBy(const std::string& path) override { return base_->NamedBy(path); }
  int FileSystemType(uint64_t* magic) override { return base_->FileSystemType(magic); }
  int MountOptions(std::string* options) override { return base_->MountOptions(options); }

 private:
  ForgetfulEnv* env_;
  std::string path_;
  std::unique_ptr<env::File> base_;
};

int ForgetfulEnv::Open(const std::string& path, uint32_t flags, std::unique_ptr<env::File>* file) {
  std::unique_ptr<env::File> base;
  if (int rc = base_->Open(path, flags, &base); rc != 0) return rc;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!images_.count(path)) {
      // Known for the first time: what is there now is on the disk.
      Image& image = images_[path];
      uint64_t size = 0;
      if (base->Size(&size) == 0 && size > 0) {
        image.current.resize(size);
        size_t got = 0;
        base->ReadAt(0, image.current.data(), size, &got);
        image.current.resize(got);
      }
      image.durable = image.current;
    }
  }
  *file = std::make_unique<ForgetfulFile>(this, path, std::move(base));
  return 0;
}

int ForgetfulEnv::Delete(const std::string& path) {
  int rc = base_->Delete(path);
  std::lock_guard<std::mutex> guard(mutex_);
  if (rc == 0) images_.erase(path);
  return rc;
}

int ForgetfulEnv::Rename(const std::string& from, const std::string& to) {
  int rc = base_->Rename(from, to);
  std::lock_guard<std::mutex> guard(mutex_);
  if (rc == 0 && images_.count(from)) {
    images_[to] = images_[from];
    images_.erase(from);
  }
  return rc;
}

void ForgetfulEnv::Remove(std::vector<Range>* ranges, Range r) {
  std::vector<Range> out;
  for (const Range& x : *ranges) {
    if (x.end <= r.begin || x.begin >= r.end) {
      out.push_back(x);
      continue;
    }
    if (x.begin < r.begin) out.push_back({x.begin, r.begin});
    if (x.end > r.end) out.push_back({r.end, x.end});
  }
  *ranges = std::move(out);
}

void ForgetfulEnv::Wrote(const std::string& path, uint64_t offset, const void* data,
                         size_t length) {
  if (length == 0) return;
  std::lock_guard<std::mutex> guard(mutex_);
  Image& image = images_[path];
  if (image.current.size() < offset + length) image.current.resize(offset + length, '\0');
  std::memcpy(image.current.data() + offset, data, length);
  for (const Range& r : image.dirty) {
    if (r.begin < offset + length && offset < r.end) {
      overlapping_++;
      break;
    }
  }
  image.dirty.push_back({offset, offset + length});
  Remove(&image.lost, {offset, offset + length});  // dirty again: the next flush takes it
}

void ForgetfulEnv::Truncated(const std::string& path, uint64_t length) {
  std::lock_guard<std::mutex> guard(mutex_);
  Image& image = images_[path];
  image.current.resize(length, '\0');
}

int ForgetfulEnv::Synced(const std::string& path, env::File* base) {
  std::lock_guard<std::mutex> guard(mutex_);
  Image& image = images_[path];
  if (++syncs_ == fail_at_) {
    // The kernel reports the failure once and marks the pages clean: they
    // stay readable but will not be written by a later flush.
    image.lost.insert(image.lost.end(), image.dirty.begin(), image.dirty.end());
    image.dirty.clear();
    return EIO;
  }
  if (int rc = base->Sync(); rc != 0) return rc;
  std::string durable = image.current;
  for (const Range& r : image.lost) {
    for (uint64_t i = r.begin; i < r.end && i < durable.size(); ++i) {
      durable[i] = i < image.durable.size() ? image.durable[i] : '\0';
    }
  }
  image.durable = std::move(durable);
  image.dirty.clear();
  return 0;
}

std::map<std::string, std::string> ForgetfulEnv::DurableImages() const {
  std::lock_guard<std::mutex> guard(mutex_);
  std::map<std::string, std::string> out;
  for (const auto& [path, image] : images_) out[path] = image.durable;
  return out;
}

int64_t ForgetfulEnv::OverlappingWrites() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return overlapping_;
}

int64_t ForgetfulEnv::Syncs() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return syncs_;
}

}  // namespace vorsandt::torture
