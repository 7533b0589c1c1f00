#include "runtime/files/driver.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>

#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/rules.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::files {
namespace {

std::function<void()>& LockWaitHook() {
  static std::function<void()> hook;
  return hook;
}

env::Env* Environment() { return env::Env::Default(); }

int64_t NowHundredths() { return Environment()->NowHundredths(); }

void PauseBetweenLockAttempts() {
  RunLockWaitHook();
  Environment()->SleepMs(10);
}

bool IsRegisterCommand(const std::string& text) {
  std::string t;
  for (char c : text) {
    if (c != ' ') t += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return t == "REGISTER";
}

constexpr char kRegistrationPrefix[] = "@REGISTRATION:";

bool IsOpen(int32_t op) { return op == kOpOpen || op == kOpOpen2; }

// Step 5: the operation itself, with the waiting rules of the two lock codes
// and the "REGISTER" command every driver answers the same way.
int32_t Perform(Driver& driver, Call& call) {
  if (call.op == kOpSend && IsRegisterCommand(call.text1)) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%" PRIxPTR, kRegistrationPrefix,
                  reinterpret_cast<uintptr_t>(&driver.registration()));
    call.text_result = text;
    return 0;
  }
  if (call.op == kOpLock) {
    int32_t r;
    while ((r = driver.Perform(call)) == kFileAlreadyLocked) PauseBetweenLockAttempts();
    return r;
  }
  if (call.op == kOpLockTimeout) {
    const int64_t limit = call.args.Int(0) * 100;
    const int64_t start = NowHundredths();
    int32_t r;
    while ((r = driver.Perform(call)) != 0 && NowHundredths() - start < limit) {
      PauseBetweenLockAttempts();
    }
    return r;
  }
  return driver.Perform(call);
}

// Step 7: the rules row's effect on the state flags, the registry and the
// life of the driver block.
void ApplyRules(Driver& driver, Call& call, int32_t result) {
  FileRecord* file = call.file;
  DriverBlock* block = call.block;
  const RuleRow& row = RuleFor(call.op);
  bool release = false;
  if (result == 0) {
    block->after = row.after;
    block->state = (block->state | row.sets) & ~row.clears;
    if (IsOpen(call.op)) {
      const int32_t mode = static_cast<int32_t>(call.args.Int(0));
      block->open_mode = mode;
      if (mode % 4 != 0) block->state |= kStateWrite;
      if (mode & 0x30) block->state |= kStateExclusive;
      OpenFiles().Add(file, driver.registration().caps);
    } else if (call.op == kOpClose) {
      OpenFiles().Remove(file);
    }
    release = (row.after & kAfterReleasesBlock) != 0;
  } else {
    block->after = 0;
    block->state &= ~row.clears_on_failure;
    // A failed open leaves nothing behind. A refusal must never tear down the
    // block of a file that is still open: "already open", and a Close refused
    // inside a transaction, would otherwise orphan the open file and its
    // transaction.
    if (result != kFileAlreadyOpen && !(block->state & kStateOpen)) {
      release = (row.after & kAfterReleasesBlock) != 0 || IsOpen(call.op);
    }
  }
  if (block->after & kAfterResetsError) Errors().Clear();
  if (block->after & kAfterRemembersSequence) block->last_sequential = call.op;
  if (release) {
    if (block->state & kStateOpen) OpenFiles().Remove(file);
    file->block.reset();
    call.block = nullptr;
  }
}

}  // namespace

bool Registration::SupportsOp(int32_t op) const {
  return std::find(operations.begin(), operations.end(), op) != operations.end();
}

bool Registration::SupportsType(uint8_t type) const {
  return std::find(types.begin(), types.end(), type) != types.end();
}

void Driver::FillBlock(const FileRecord& file, DriverBlock* block) {
  block->name = file.NameText();
  if (file.driver_text1 != nullptr) block->driver_text1 = file.driver_text1;
  if (file.driver_text2 != nullptr) block->driver_text2 = file.driver_text2;
  // Bit 1 of the driver flags means "may be created"; the other declared bits
  // pass through as they are.
  block->driver_flags = static_cast<uint8_t>(
      (file.attributes & (kAttrDriverFlag02 | kAttrDriverFlag08)) |
      ((file.attributes & kAttrCreate) ? 0x02 : 0) | (file.attributes & kAttrOemText));
}

int32_t Driver::NewBlock(FileRecord& file, std::unique_ptr<DriverBlock>* out) {
  auto block = std::make_unique<DriverBlock>();
  FillBlock(file, block.get());
  *out = std::move(block);
  return 0;
}

void SetLockWaitHook(std::function<void()> hook) { LockWaitHook() = std::move(hook); }

void RunLockWaitHook() {
  if (LockWaitHook()) LockWaitHook()();
}

int32_t DriverCall(Driver& driver, int32_t op, AccessObject* object, const Args& args) {
  // Step 1: no driver has a view engine of its own.
  if (op == kOpViewEngine) return 0;

  auto* decl = static_cast<FileRecord*>(object);
  Call call{op, nullptr, nullptr, args, {}, {}, {}, 0};
  int32_t result = 0;

  // Step 2: text arguments come off the text stack first, whatever happens next.
  if (TakesTextArgument(op)) {
    std::optional<std::string> text = Texts().Pop();
    if (!text) {
      result = kInvalidNumberOfParameters;
    } else {
      call.text1 = std::move(*text);
      if (TakesTwoTextArguments(op)) {
        std::optional<std::string> second = Texts().Pop();
        if (!second) {
          result = kInvalidNumberOfParameters;
        } else {
          // Pushed first, popped second: the first argument is the deeper one.
          call.text2 = std::move(call.text1);
          call.text1 = std::move(*second);
        }
      }
    }
  }
  call.file = InstanceOf(decl);

  // Step 3: the driver block, made on the first call.
  if (result == 0 && !call.file->block) {
    std::unique_ptr<DriverBlock> block;
    result = driver.NewBlock(*call.file, &block);
    if (result == 0) call.file->block = std::move(block);
  }
  call.block = call.file->block.get();

  // Step 4: the rules check. Step 5: the operation.
  if (result == 0) {
    call.block->after = 0;
    result = CheckRules(op, call.block->state);
    if (result == 0) result = Perform(driver, call);
  }

  // Step 6: text results are pushed even when the operation failed.
  if (ReturnsText(op)) Texts().Push(result == 0 ? call.text_result : std::string());

  // Step 7: flags, registry, block release.
  if (call.block != nullptr) ApplyRules(driver, call, result);

  // Step 8: post the failure against the object the caller named.
  if (result != 0 && result != kFailSilently) {
    Errors().Post(result);
    Errors().SetFailingObject(object);
  }

  if (op == kOpEof || op == kOpBof) return result != 0 ? 1 : static_cast<int32_t>(call.value);
  if (ReturnsValue(op)) return result == 0 ? static_cast<int32_t>(call.value) : 0;
  return 0;
}

const Registration* QueryRegistration(AccessObject* object) {
  Texts().Push("REGISTER");
  object->Send(kOpSend);
  std::optional<std::string> reply = Texts().Pop();
  if (!reply || reply->rfind(kRegistrationPrefix, 0) != 0) return nullptr;
  uintptr_t address = 0;
  if (std::sscanf(reply->c_str() + sizeof(kRegistrationPrefix) - 1, "%" SCNxPTR, &address) != 1) {
    return nullptr;
  }
  return reinterpret_cast<const Registration*>(address);
}

}  // namespace vorsandt::files
