// The common half of every file driver: the driver block, the registration
// block, and DriverCall, which runs the steps every driver call follows
// (text arguments, block, rules, perform, text result, flags, error posting).
// A driver supplies only the operations themselves (Driver::Perform).
#ifndef VORSANDT_RUNTIME_FILES_DRIVER_H_
#define VORSANDT_RUNTIME_FILES_DRIVER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/files/file_decl.h"
#include "runtime/files/registry.h"

namespace vorsandt::env {
class Env;
}

namespace vorsandt::files {

class Driver;

// A driver's private per-file state. Drivers derive from it and add their own.
class DriverBlock {
 public:
  virtual ~DriverBlock() = default;

  std::string name;             // the resolved file name
  std::string driver_text1;
  std::string driver_text2;
  uint8_t driver_flags = 0;     // from the declared attributes; bit 1 = may be created
  int32_t open_mode = 0;
  int32_t last_sequential = 0;  // code of the last positioning or reading operation
  uint32_t state = 0;           // kState* flags (rules.h)
  uint32_t after = 0;           // after-flags of the last operation
};

// The static description a driver hands out for the command text "REGISTER".
struct Registration {
  std::string_view driver_name;   // up to 20 characters
  std::string_view library_name;  // up to 12
  std::string_view notice;        // up to 40
  std::string_view description;   // up to 30
  DriverEntry entry = nullptr;
  Capabilities caps;
  std::vector<int32_t> operations;  // supported operation codes
  std::vector<uint8_t> types;       // supported field type codes

  bool SupportsOp(int32_t op) const;
  bool SupportsType(uint8_t type) const;
};

// One operation in progress, as the driver sees it.
struct Call {
  int32_t op;
  FileRecord* file;             // the calling thread's instance
  DriverBlock* block;
  const Args& args;
  std::string text1;            // popped text arguments
  std::string text2;
  std::string text_result;      // pushed after the call for text-returning codes
  int64_t value = 0;            // result of value-returning codes and Eof/Bof
};

class Driver {
 public:
  virtual ~Driver() = default;
  virtual const Registration& registration() const = 0;

  // Makes the driver block for `file` on its first call. The default fills a
  // plain DriverBlock from the declaration; drivers with their own block type
  // override it and call FillBlock. Returns 0 or an error code.
  virtual int32_t NewBlock(FileRecord& file, std::unique_ptr<DriverBlock>* out);

  // Performs `call.op`; returns 0, an error code, or kFailSilently.
  // Unimplemented codes return kUnsupportedFunction.
  virtual int32_t Perform(Call& call) = 0;

  // Fills the common part of a block from the declaration.
  static void FillBlock(const FileRecord& file, DriverBlock* block);
};

// Runs one driver call for `object` (a FileRecord declaration or instance).
int32_t DriverCall(Driver& driver, int32_t op, AccessObject* object, const Args& args);

// Called between attempts of every wait for a lock someone else holds
// (Lock/LockTimeout here, held records and file locks inside drivers), so the
// window system can look at pending messages and let the other threads of
// this process run: the holder may be one of them and could otherwise never
// release. Null by default.
void SetLockWaitHook(std::function<void()> hook);
// Runs the hook (if any). Drivers call it before each pause of a lock wait.
void RunLockWaitHook();

// The registration block of the object's driver, learned by sending it the
// command text "REGISTER"; nullptr when the driver does not answer.
const Registration* QueryRegistration(AccessObject* object);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_DRIVER_H_
