// Where the next list procedure of a thread opens. A list opens at the top of
// its first order, and a lookup at the record its caller left; a procedure
// that starts a browse on a thread of its own to show one record (Find's
// "Show in List") reads that record there first and asks for this.
#ifndef VORSANDT_APP_BROWSE_LIST_START_H_
#define VORSANDT_APP_BROWSE_LIST_START_H_

namespace vorsandt::app {

// The next list procedure the calling thread runs opens at the record its
// table's buffer holds.
void OpenNextListAtBufferedRecord();
// For the list procedure as it starts: whether it was asked to (the request
// is then used up).
bool TakeOpenAtBufferedRecord();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_LIST_START_H_
