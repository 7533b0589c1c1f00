// Loaded with LD_PRELOAD by a test of the opening of tables: every
// byte-range lock request and query of the program fails with ENOLCK, as on
// a network mount whose lock service does not answer. Everything else goes
// to the C library.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

using FcntlFunction = int (*)(int, int, ...);

bool IsLockCommand(int cmd) {
  return cmd == F_SETLK || cmd == F_SETLKW || cmd == F_GETLK || cmd == F_OFD_SETLK ||
         cmd == F_OFD_SETLKW || cmd == F_OFD_GETLK;
}

int Forward(const char* name, int fd, int cmd, void* arg) {
  static FcntlFunction real = nullptr;
  if (real == nullptr) real = reinterpret_cast<FcntlFunction>(dlsym(RTLD_NEXT, name));
  if (real == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  return real(fd, cmd, arg);
}

int Call(const char* name, int fd, int cmd, va_list args) {
  // Every fcntl argument fits a pointer-sized register.
  void* arg = va_arg(args, void*);
  if (IsLockCommand(cmd)) {
    errno = ENOLCK;
    return -1;
  }
  return Forward(name, fd, cmd, arg);
}

}  // namespace

extern "C" int fcntl(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  const int r = Call("fcntl", fd, cmd, args);
  va_end(args);
  return r;
}

extern "C" int fcntl64(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  const int r = Call("fcntl64", fd, cmd, args);
  va_end(args);
  return r;
}
