#include "storage/qvf/driver/send_command.h"

namespace vorsandt::qvf {
namespace {

std::string_view Trimmed(std::string_view s) {
  // Texts from fixed-length strings arrive blank-padded, some with their 0.
  size_t nul = s.find('\0');
  if (nul != std::string_view::npos) s = s.substr(0, nul);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

SendCommand ParseSend(std::string_view text) {
  std::string_view t = Trimmed(text);
  SendCommand command;
  if (t.starts_with("QCF=")) {
    command.kind = SendKind::kCoordinationFile;
    command.argument.assign(t.substr(4));
  } else if (t.starts_with("PNM=")) {
    command.kind = SendKind::kNextTableName;
    command.argument.assign(t.substr(4));
  } else if (t == "REGISTER") {
    command.kind = SendKind::kRegister;
  } else if (t == "CHANGES") {
    command.kind = SendKind::kChangeCount;
  }
  return command;
}

}  // namespace vorsandt::qvf
