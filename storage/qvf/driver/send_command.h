// The command texts the driver answers through Send.
//
//   "QCF=" name     sets the process's transaction coordination file; reply empty
//   "PNM=" name     reply: the next table name in the file after `name`
//   "REGISTER"      reply: the driver's registration block
//   "CHANGES"       reply: how many saves the open table's file has had, in
//                   decimal (read from the file now: a reader holding a copy
//                   of the records tells from it whether to read them again)
//   anything else   reply "SEND arg not recognised" (status 0)
// Commands are matched as written (upper case); the argument is the rest of
// the text, with trailing blanks and a terminating 0 removed.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_SEND_COMMAND_H_
#define VORSANDT_STORAGE_QVF_DRIVER_SEND_COMMAND_H_

#include <string>
#include <string_view>

namespace vorsandt::qvf {

inline constexpr char kSendNotRecognised[] = "SEND arg not recognised";

enum class SendKind { kCoordinationFile, kNextTableName, kRegister, kChangeCount, kUnknown };

struct SendCommand {
  SendKind kind = SendKind::kUnknown;
  std::string argument;
};

SendCommand ParseSend(std::string_view text);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_SEND_COMMAND_H_
