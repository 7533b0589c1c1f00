#include "runtime/files/error_state.h"

#include <cstdio>
#include <cstdlib>

#include <map>

#include "runtime/files/error_codes.h"
#include "runtime/files/thread_state.h"

namespace vorsandt::files {
namespace {

// What holds for every procedure's error state alike.
struct ProcessErrorSettings {
  std::map<int32_t, std::string> replacements;
  RuntimeErrorSink* sink = nullptr;
};

ProcessErrorSettings& Settings() {
  static ProcessErrorSettings settings;
  return settings;
}

}  // namespace

ErrorState& Errors() { return CurrentThreadState().errors; }

void ErrorState::Clear() {
  code_ = 0;
  failing_ = nullptr;
  text_.clear();
}

void ErrorState::Post(int32_t code) {
  if (code == 0) code = kSystemErrorBase + os_error_;
  code_ = code;
  std::string text = MessageText(code);
  size_t first = text.find_first_not_of(' ');
  text = first == std::string::npos ? std::string() : text.substr(first);
  if (text.size() > static_cast<size_t>(kMaxTextLength)) text.resize(kMaxTextLength);
  text_ = std::move(text);
}

void ErrorState::PostErrno(int errnum, bool writing) {
  os_error_ = MapErrno(errnum, writing);
  Post(0);
}

std::string ErrorState::Text80() const {
  std::string padded = text_;
  padded.resize(kTextWidth, ' ');
  return padded;
}

void ErrorState::Push() { saved_.push_back({code_, os_error_, text_}); }

bool ErrorState::Pop() {
  if (saved_.empty()) return false;
  code_ = saved_.back().code;
  os_error_ = saved_.back().os_error;
  text_ = std::move(saved_.back().text);
  saved_.pop_back();
  return true;
}

std::string ErrorState::MessageText(int32_t code) const {
  if (code == 0) code = kUnknownErrorPosted;
  const std::map<int32_t, std::string>& replacements = Settings().replacements;
  if (auto it = replacements.find(code); it != replacements.end()) return it->second;
  if (const char* text = ErrorTableText(code)) {
    std::string s(text);
    if (s.size() > 255) s.resize(255);
    return s;
  }
  return MessageText(kUnknownErrorPosted) + " : " + std::to_string(code);
}

void ErrorState::SetReplacementText(int32_t code, std::string text) {
  Settings().replacements[code] = std::move(text);
}

void ErrorState::ClearReplacementTexts() { Settings().replacements.clear(); }

void ErrorState::SetRuntimeErrorSink(RuntimeErrorSink* sink) { Settings().sink = sink; }

void ErrorState::ShowRuntimeError(int32_t code, const std::string& extra) {
  std::string message;
  if (code == 0) {
    message = extra;
  } else {
    Post(code);
    message = text_ + " : " + extra;
  }
  if (RuntimeErrorSink* sink = Settings().sink; sink != nullptr) {
    sink->ShowRuntimeError("Runtime error", message);
  } else {
    std::fprintf(stderr, "Runtime error: %s\n", message.c_str());
    std::fflush(stderr);
  }
}

void ErrorState::RuntimeError(int32_t code, const std::string& extra) {
  ShowRuntimeError(code, extra);
  std::exit(2);
}

void ErrorState::RuntimeErrorImmediate(int32_t code, const std::string& extra) {
  ShowRuntimeError(code, extra);
  // What the program printed so far still reaches its reader; nothing else
  // of the process runs: exit handlers and the destructors of this thread's
  // objects could wait for a lock the caller holds (and never get it), or
  // save state that the stop just found broken.
  std::fflush(nullptr);
  std::_Exit(2);
}

}  // namespace vorsandt::files
