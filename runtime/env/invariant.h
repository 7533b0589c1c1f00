// Checks of in-memory invariants, kept in release builds while
// VORSANDT_CHECKS is defined (the default). A broken invariant means memory
// was written that should not have been, so the program stops at once, with
// the part of the system and the check named, before it can write a file.
#ifndef VORSANDT_RUNTIME_ENV_INVARIANT_H_
#define VORSANDT_RUNTIME_ENV_INVARIANT_H_

#include <cstdio>
#include <cstdlib>

namespace vorsandt::env {

inline void CheckInvariant(bool condition, const char* part, const char* what) {
#ifdef VORSANDT_CHECKS
  if (!condition) {
    std::fprintf(stderr, "%s invariant broken: %s\n", part, what);
    std::abort();
  }
#else
  (void)condition;
  (void)part;
  (void)what;
#endif
}

}  // namespace vorsandt::env

#endif  // VORSANDT_RUNTIME_ENV_INVARIANT_H_
