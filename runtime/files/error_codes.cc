#include "runtime/files/error_codes.h"

#include <cerrno>
#include <string>

#include "runtime/files/error_state.h"

namespace vorsandt::files {
namespace {

struct TextEntry {
  int32_t code;
  const char* text;
};

// One table for every numbered text. Kept sorted by code so a reader can check
// it against the user documentation at a glance; looked up linearly (it is
// consulted only when an error is posted).
constexpr TextEntry kTexts[] = {
    {2, "File Not Found"},
    {3, "Path Not Found"},
    {4, "Too Many Open Files"},
    {5, "Access Denied"},
    {7, "Memory Corrupted"},
    {8, "Insufficient Memory"},
    {30, "Entry Not Found"},
    {32, "File Is Already Locked"},
    {33, "Record Not Available"},
    {35, "Record Not Found"},
    {36, "Invalid Data File"},
    {37, "File Not Open"},
    {38, "Invalid Key File"},
    {40, "Creates Duplicate Key"},
    {43, "Record Is Already Held"},
    {45, "Invalid Filename"},
    {46, "Key File Must Be Rebuilt"},
    {47, "Invalid Record Declaration"},
    {48, "Unable To Log Transaction"},
    {52, "File Already Open"},
    {53, "Invalid Quorvel File"},
    {54, "No Create Attribute"},
    {55, "File Must Be Shared"},
    {56, "LOGOUT Already Active"},
    {57, "Invalid Memo File"},
    {63, "Exclusive Access Required"},
    {64, "Sharing Violation"},
    {65, "Unable To ROLLBACK Transaction"},
    {73, "Memo File Missing"},
    {75, "Invalid Field Type Descriptor"},
    {76, "Invalid Index String"},
    {77, "Unable To Access Index"},
    {78, "Invalid Number Of Parameters "},
    {79, "Unsupported Data Type In File"},
    {80, "Unsupported File Driver Function"},
    {81, "Unknown Error Posted"},
    {88, "Invalid Key Length"},
    {89, "Record Changed By Another Station"},
    {301, "Invalid Function"},
    {302, "File Not Found"},
    {303, "Path Not Found"},
    {304, "Too Many Open Files"},
    {305, "Access Denied"},
    {306, "Invalid Handle"},
    {307, "Memory Corrupted"},
    {308, "Insufficient Memory"},
    {309, "Invalid Memory Block"},
    {310, "Invalid Environment"},
    {311, "Invalid Format"},
    {312, "Invalid Access"},
    {313, "Invalid Data"},
    {315, "Invalid Drive"},
    {316, "Invalid Operation For Current Directory"},
    {317, "Not Same Device"},
    {318, "No More Files"},
    {319, "Write Protect"},
    {320, "Invalid Unit"},
    {321, "Device Not Ready"},
    {322, "Invalid Command"},
    {323, "Media Checksum Failed"},
    {324, "Invalid Length"},
    {325, "Seek Location Inaccessible"},
    {326, "Not DOS Disk"},
    {327, "Sector Not Found"},
    {328, "Out Of Paper"},
    {329, "Write Fault"},
    {330, "Read Fault"},
    {331, "General Failure"},
    {332, "Sharing Violation"},
    {333, "Lock Violation"},
    {334, "Wrong Disk"},
    {335, "FCB Unavailable"},
    {336, "Sharing Buffer Exceeded"},
    {337, "Code Page Mismatched"},
    {338, "Handle EOF"},
    {339, "Handle Disk Full"},
    {350, "Not Supported "},
    {351, "REM Not List"},
    {352, "Duplicate Name Encountered"},
    {353, "Invalid Network Path"},
    {354, "Network Busy"},
    {355, "Device Does Not Exist"},
    {356, "Too Many Commands"},
    {357, "Adapter/Hardware Failure"},
    {358, "Invalid Network Response"},
    {359, "Unexpected Network Error"},
    {360, "Invalid REM Adapter"},
    {361, "Print Queue Full"},
    {362, "No Spool Space"},
    {363, "Print Cancelled"},
    {364, "Network Name Deleted"},
    {365, "Network Access Denied"},
    {366, "Invalid Device Type"},
    {367, "Invalid Network Name"},
    {368, "Too Many Names"},
    {369, "Too Many Sessions"},
    {370, "Sharing Paused"},
    {371, "Request Not Accepted"},
    {372, "Network Redirection Paused"},
    {380, "File Already Exists"},
    {381, "Duplicate FCB"},
    {382, "Cannot Make"},
    {383, "Fail Critical Error"},
    {384, "Out Of Structures"},
    {385, "Already Assigned"},
    {386, "Invalid Password"},
    {387, "Invalid Parameter"},
    {388, "Network Write Fault"},
    {390, "System Component Not Loaded"},
    {391, "Unknown Error"},
    {401, "Stack overflow"},
    {402, "Null pointer de-reference"},
    {403, "Termination caused by signal.  (User break or Floating point)"},
    {404, "Arithmetic Overflow"},
    {405, "Variable out of range"},
    {406, "No return value from function"},
    {407, "No matching Case Label"},
    {408, "Long Integer Divide By Zero"},
    {409, "Index out of range"},
    {410, "Pure Virtual Function Called"},
    {501, "Internal error 01"},
    {502, "Internal error 02"},
    {503, "Internal error 03"},
    {504, "Internal error 04"},
    {505, "Internal error 05"},
    {506, "Internal error 06"},
    {507, "Internal error 07"},
    {508, "Internal error 08"},
    {509, "Internal error 09"},
    {510, "Internal error 10"},
    {511, "Internal error 11"},
    {512, "Internal error 12"},
    {513, "Internal error 13"},
    {514, "Internal error 14"},
    {515, "Internal error 15"},
    {520, "Mismatch with DUDAV.DLL detected"},
    {521, "VBX control is too complex"},
    {522, "Event posted to a report control"},
    {523, "Metafile record too large in report"},
    {524, "Unexpected error opening printer device"},
    {525, "Report is already open"},
    {526, "Unable to open APPLICATION (APPLICATION already active)"},
    {527, "Unable to open APPLICATION (system is MODAL)"},
    {528, "Unable to open APPLICATION"},
    {529, "Unable to open WINDOW"},
    {530, "Unable to open MDI window (No APPLICATION active)"},
    {531, "Unable to open MDI window (system is MODAL)"},
    {532, "Unable to open MDI window on APPLICATION's thread"},
    {533, "Unable to open MDI WINDOW"},
    {534, "Too many keystrokes PRESSed"},
    {535, "Window is already open"},
    {536, "Window is not open"},
    {537, "ACCEPT loop requires a window"},
    {538, "PRINT must only be called for reports"},
    {539, "ENDPAGE must only be called for reports"},
    {540, "Unable to process ACCEPT (system is MODAL)"},
    {541, "Unable to create control (system is MODAL)"},
    {542, "Unable to complete operation (system is MODAL)"},
    {543, "Slider controls are only available in 32-bit programs"},
    {544, "Too Many VBX Hooks"},
    {601, "Invalid DDE channel"},
    {602, "DDE channel is not open"},
    {603, "DDEexecute - invalid command"},
    {604, "DDEpoke - invalid command"},
    {605, "DDE transaction timed out"},
    {800, "Invalid expression for EVALUATE"},
    {801, "No BIND on variable"},
};

}  // namespace

const char* ErrorTableText(int32_t code) {
  for (const TextEntry& e : kTexts) {
    if (e.code == code) return e.text;
    if (e.code > code) break;
  }
  return nullptr;
}

std::string ErrorTextWithCode(int32_t code) {
  // A driver's own error is told in its own words, as the messages tell it.
  if (code == kDriverReportedError && !Errors().DriverText().empty()) {
    std::string text = Errors().DriverText();
    std::string code_text = Errors().DriverCodeText();
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!code_text.empty() && code_text.back() == ' ') code_text.pop_back();
    return text + " (" + code_text + ")";
  }
  const char* text = ErrorTableText(code);
  std::string t = text != nullptr ? text : "Error";
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t + " (" + std::to_string(code) + ")";
}

int32_t MapErrno(int errnum, bool writing) {
  switch (errnum) {
    case 0: return 0;
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM: return 5;
    case EBADF: return 6;
    case ENOMEM: return 8;
    case EINVAL: return 87;
    case EROFS: return 19;
    case ENOSPC:
    case EDQUOT: return 39;
    case EIO: return writing ? 29 : 30;
    case EEXIST: return 80;
    case EAGAIN: return 33;
    default: return 31;  // general failure
  }
}

int32_t MapLockErrno(int errnum) {
  if (errnum == EAGAIN || errnum == EACCES || errnum == EWOULDBLOCK) return 33;
  return MapErrno(errnum);
}

}  // namespace vorsandt::files
