// Internal errors: a broken storage structure stops the program with
// "Internal error : qvfbt line " and the number of the check that failed.
//
// The numbers below identify the checks; they are stable so that a report
// from a user points at one check. By default the stop goes through the
// runtime's fatal path (runtime error box, exit code 2), which ends the
// process at once, running no cleanup that could wait for a lock the
// failing operation holds. Tests and the qvf
// tool install a handler that records the number instead; when the handler
// returns, the failing operation returns kInvalidDataFile (36) and the
// container refuses further work until it is reopened or discarded.
#ifndef VORSANDT_STORAGE_QVF_INTERNAL_ERROR_H_
#define VORSANDT_STORAGE_QVF_INTERNAL_ERROR_H_

#include <functional>
#include <string>

namespace vorsandt::qvf {

enum Check : int {
  kCheckTransferLength = 101,     // a transfer that is not a multiple of 64 bytes
  kCheckReadFailed = 102,         // a read call failed
  kCheckShortRead = 103,          // a page beyond the file's end (the checker's verdict; the
                                  // container reports a cut file as damaged, 36)
  kCheckPageNotInRegion = 104,    // a unit that no region holds
  kCheckStoredSizeClass = 105,    // stored size does not round to the page's class
  kCheckPageDecode = 106,         // entry area does not decode to the expanded size
  kCheckOwnAddress = 107,         // page's own address is not its home
  kCheckDuplicateKey = 108,       // duplicate (or unordered) key part inside a page
  kCheckEstimate = 109,           // expanded size exceeds the size estimate
  kCheckPageTooLarge = 110,       // a page image larger than 15104 bytes
  kCheckEntryTooLarge = 111,      // an oversized entry or key part
  kCheckIdOverflow = 112,         // id counter reached 0xFE..
  kCheckReaderWrite = 113,        // a write on a file object without write access
  kCheckSplitTooFew = 114,        // a page with fewer than two entries to split
  kCheckParentNotFound = 115,     // a moved page not found from its parent
  kCheckLevel = 116,              // a child whose level is not one below its parent's
  kCheckProvisionalMissing = 117, // a provisional page that is not in the cache
  kCheckLogWalk = 118,            // a logged page that does not fit the log
  kCheckWriteOrder = 119,         // a write out of the save protocol's order
  kCheckRegions = 120,            // region table broken during allocation
  kCheckEmptyEntry = 121,         // the empty entry is missing or would be deleted
  kCheckTreeDepth = 122,          // a descent deeper than any sound tree
  kCheckOrderAcrossPages = 123,   // the next leaf does not start above the key left behind
  kCheckOptimisticAccess = 124,   // a file access or change inside an unlocked optimistic read
  kCheckPageState = 125,          // a provisional page handed out twice, or a freed one cached
  kCheckHeaderView = 126,         // a header mapped before a sound one was read
};

// The message for `check`: "Internal error : qvfbt line " + number.
std::string InternalErrorText(int check);

// Called with the check number. The default handler reports through the
// runtime's fatal path and does not return.
using InternalErrorHandler = std::function<void(int check)>;

// Installs `handler` (nullptr restores the default); returns the previous one.
InternalErrorHandler SetInternalErrorHandler(InternalErrorHandler handler);

// Reports the failed check. Returns only when an installed handler returns.
void InternalError(int check);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_INTERNAL_ERROR_H_
