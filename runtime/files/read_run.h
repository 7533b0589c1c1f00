// A run of read calls, declared by the code that makes them.
//
// A loop that reads one table record after record (a page of a list, the
// totals of a browse, a report's pass, a tree's load, an export) opens a
// ReadRun around itself. Inside it a driver may keep what each call would
// take and give back (the QVF driver: the reader lock of a shared file) from
// one call to the next, for a short bounded time, instead of paying for it
// at every call. When the outermost run of the thread ends, everything kept
// for it is given back, on the thread that kept it, so nothing stays held
// while the program waits for its user. Runs nest; only the outermost counts.
//
// A run changes no result: every call behaves as it would outside one.
// Whatever else the thread does (a change, a hold, a transaction, a modal
// message, giving up the run permission) makes the driver give back what it
// kept first; EndReadRunTenures is that for the window engine.
#ifndef VORSANDT_RUNTIME_FILES_READ_RUN_H_
#define VORSANDT_RUNTIME_FILES_READ_RUN_H_

namespace vorsandt::files {

class ReadRun {
 public:
  ReadRun();
  ~ReadRun();
  ReadRun(const ReadRun&) = delete;
  ReadRun& operator=(const ReadRun&) = delete;
};

// True while the calling thread is inside a declared run.
bool InReadRun();

// Gives back, now, everything the drivers keep for the calling thread's run
// (the run itself goes on; its next call may keep again). For a thread about
// to wait: a modal call, the run permission given up.
void EndReadRunTenures();

// A driver that keeps something during runs registers, once, the function
// that gives back what it keeps for the calling thread. At most a few.
using ReadRunEnd = void (*)();
void RegisterReadRunEnd(ReadRunEnd end);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_READ_RUN_H_
