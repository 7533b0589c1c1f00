// The error state of the runtime.
//
// Every runtime operation either clears it or posts a numbered code into it;
// callers test Errors().Code() after each operation. Each procedure has its
// own (see thread_state.h); Errors() is the one of the procedure running now.
// Replacement texts and the runtime-error sink belong to the process. Only
// the thread that holds the run permission touches it (see ui/engine), so it
// needs no locking.
#ifndef VORSANDT_RUNTIME_FILES_ERROR_STATE_H_
#define VORSANDT_RUNTIME_FILES_ERROR_STATE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace vorsandt::files {

class AccessObject;

// Where runtime errors end up: a modal box in the desktop program, standard
// error until a window engine installs itself.
class RuntimeErrorSink {
 public:
  virtual ~RuntimeErrorSink() = default;
  // Shows `text` under `caption` ("Runtime error") with a stop icon and waits
  // until the user has seen it.
  virtual void ShowRuntimeError(const std::string& caption, const std::string& text) = 0;
};

class ErrorState {
 public:
  static constexpr int kTextWidth = 80;
  static constexpr int kMaxTextLength = 79;

  // Code 0, no failing object, no text.
  void Clear();

  // Posts `code`. Code 0 means "the last operating-system error": the stored
  // OS error is taken and 300 added to it. The text is looked up through
  // MessageText, stripped of leading blanks and cut to 79 characters.
  void Post(int32_t code);

  // Records the operating-system error of a failed system call, already mapped
  // to the error-table numbering (see MapErrno). Post(0) then reports it.
  void SetOsError(int32_t mapped) { os_error_ = mapped; }
  // Convenience: maps errno and posts 300 + the result.
  void PostErrno(int errnum, bool writing = false);

  void SetFailingObject(AccessObject* object) { failing_ = object; }

  // A driver that reports a failure in its own terms (code 90) leaves its
  // error text and its code text here; they stay until it sets others.
  void SetDriverTexts(std::string text, std::string code_text) {
    driver_text_ = std::move(text);
    driver_code_text_ = std::move(code_text);
  }
  const std::string& DriverText() const { return driver_text_; }
  const std::string& DriverCodeText() const { return driver_code_text_; }

  int32_t Code() const { return code_; }
  int32_t OsError() const { return os_error_; }
  // The error text as stored (no padding); Text80 gives the blank-padded form.
  const std::string& Text() const { return text_; }
  std::string Text80() const;
  AccessObject* FailingObject() const { return failing_; }

  // Saved-state stack: keeps an error across a nested operation.
  void Push();
  // Restores the last pushed state; returns false when nothing was pushed.
  bool Pop();

  // The message text for `code`: code 0 counts as 81; replacement texts are
  // searched first, then the runtime's table (at most 255 characters), else
  // the text of 81 + " : " + code.
  std::string MessageText(int32_t code) const;

  // Replacement texts (from the settings file) that override the table; they
  // hold for the whole process.
  void SetReplacementText(int32_t code, std::string text);
  void ClearReplacementTexts();

  // Posts `code`, shows the error text followed by " : " and `extra` (the
  // extra text alone for code 0) in the "Runtime error" box, then ends the
  // program with exit code 2. Never returns.
  [[noreturn]] void RuntimeError(int32_t code, const std::string& extra);
  // As RuntimeError, but once the message was shown (and standard output
  // and error flushed) the process ends at once with exit code 2: no exit
  // handlers, no static or thread-local destructors. For stops that can come
  // while the caller holds locks that such cleanup would wait for. Never
  // returns.
  [[noreturn]] void RuntimeErrorImmediate(int32_t code, const std::string& extra);

  // Installs the process's sink for runtime errors; nullptr restores
  // standard error.
  void SetRuntimeErrorSink(RuntimeErrorSink* sink);

 private:
  // Posts `code` (unless 0) and shows the runtime-error message.
  void ShowRuntimeError(int32_t code, const std::string& extra);

  struct Saved {
    int32_t code;
    int32_t os_error;
    std::string text;
  };

  int32_t code_ = 0;
  int32_t os_error_ = 0;
  std::string text_;
  AccessObject* failing_ = nullptr;
  std::vector<Saved> saved_;
  std::string driver_text_;
  std::string driver_code_text_;
};

// The error state of the procedure running now (thread_state.h).
ErrorState& Errors();

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_ERROR_STATE_H_
