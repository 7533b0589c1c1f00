// Text files: arbitrary bytes read as a text file under random options,
// through an in-memory environment.
//
// Input: a record length (2 bytes), a flag byte (OEM text, QUICKSCAN, CLIP
// off), a TAB choice, an end-of-record choice, a FILEBUFFERS count, one
// option command text up to a newline (sent as it stands), then the file.
//
// Invariants, for every input:
//  1. Reading line by line ends with 33 (no more records) and nothing else;
//     every line consumes at least one byte and its pointer is its offset
//     plus one; reading stops only at the end of the data or at a Ctrl-Z.
//  2. Every line read again by its pointer, and by its position text, gives
//     the same record as the sequential read.
//  3. Pointers beyond the data give 33; option commands never fail the file.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/text_stack.h"
#include "runtime/text/text_driver.h"
#include "runtime/text/text_test_support.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt;
  using namespace vorsandt::files;
  static const char* const kTabs[] = {"TAB=8",  "TAB=-4", "TAB=0",          "TAB=-100",
                                      "TAB=1",  "TAB=3",  "TAB=2147483647", "TAB=-2147483648"};
  static const char* const kEndings[] = {"ENDOFRECORD=2,13,10", "ENDOFRECORD=1,10",
                                         "ENDOFRECORD=1,13",    "ENDOFRECORD=3,13,13,10",
                                         "ENDOFRECORD=1,26",    "ENDOFRECORD=1,0",
                                         "ENDOFRECORD=2,10,10", "ENDOFRECORD=8,1,2,3,4,5,6,7,8"};
  Errors().Clear();
  Texts().Clear();
  fuzz::Input in(data, size);
  const uint32_t record_length = 1 + in.U16() % 600;
  const uint8_t flags = in.Byte();
  const char* tab = kTabs[in.Byte() % std::size(kTabs)];
  const char* ending = kEndings[in.Byte() % std::size(kEndings)];
  const std::string buffers = "FILEBUFFERS=" + std::to_string(in.Byte() % 5);
  const std::string command = in.TextUntil('\n', 64);
  const std::string contents(in.Rest());

  env::FaultEnv env;
  text::SetTextFileEnv(&env);
  env.SetContents("FUZZ.TXT", contents);
  {
    text::testing::TextTable t("FUZZ.TXT", record_length,
                               (flags & 1) ? kAttrOemText : uint8_t{0});
    Open(t.get(), 0x40);
    FUZZ_CHECK_MSG(Errors().Code() == 0, std::to_string(Errors().Code()));
    Send(t.get(), tab);
    Send(t.get(), ending);
    Send(t.get(), buffers);
    if (flags & 2) Send(t.get(), "QUICKSCAN=ON");
    if (flags & 4) Send(t.get(), "CLIP=OFF");
    Send(t.get(), command);
    Errors().Clear();
    FUZZ_CHECK(!t.block()->options.end_of_record.empty());
    FUZZ_CHECK(t.block()->options.end_of_record.size() <= text::kMaxEndOfRecord);

    struct Line {
      int64_t pointer;
      std::string position;
      std::string record;
    };
    std::vector<Line> lines;
    SetFile(t.get());
    uint64_t consumed = 0;
    for (;;) {
      FUZZ_CHECK(lines.size() <= contents.size());
      Next(t.get());
      if (Errors().Code() == kRecordNotAvailable) break;
      FUZZ_CHECK_MSG(Errors().Code() == 0, std::to_string(Errors().Code()));
      const int64_t pointer = Pointer(t.get());
      FUZZ_CHECK(static_cast<uint64_t>(pointer) == consumed + 1);
      const int32_t bytes = Bytes(t.get());
      FUZZ_CHECK(bytes > 0);
      consumed += static_cast<uint64_t>(bytes);
      if (lines.size() < 64) lines.push_back({pointer, Position(t.get()), t.Record()});
    }
    FUZZ_CHECK(consumed <= contents.size());
    if (consumed < contents.size()) FUZZ_CHECK(contents[consumed] == 26);
    Errors().Clear();

    for (const Line& line : lines) {
      GetByPointer(t.get(), line.pointer);
      FUZZ_CHECK_MSG(Errors().Code() == 0, std::to_string(Errors().Code()));
      FUZZ_CHECK_MSG(t.Record() == line.record,
                     "pointer " + std::to_string(line.pointer) + " reads '" +
                         fuzz::Escaped(t.Record()) + "', the sequential read gave '" +
                         fuzz::Escaped(line.record) + "'");
      Reget(t.get(), line.position);
      FUZZ_CHECK_MSG(Errors().Code() == 0, std::to_string(Errors().Code()));
      FUZZ_CHECK(t.Record() == line.record);
    }
    GetByPointer(t.get(), static_cast<int64_t>(contents.size()) + 2);
    FUZZ_CHECK(Errors().Code() == kRecordNotAvailable);
    Errors().Clear();
    Close(t.get());
    FUZZ_CHECK(Errors().Code() == 0);
  }
  text::SetTextFileEnv(nullptr);
  Texts().Clear();
  return 0;
}
