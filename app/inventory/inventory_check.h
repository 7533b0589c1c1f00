// The inventory check's records, without a window: the items a location
// holds, the day each was last seen, and the ticks that say it was seen.
//
// A tick writes one CHECKS record (the item, the day); ticking the same item
// twice on one day writes nothing more, and unticking removes that day's
// records only, so earlier checks keep their history. The tables ITEMS and
// CHECKS must be open on the calling thread.
#ifndef VORSANDT_APP_INVENTORY_INVENTORY_CHECK_H_
#define VORSANDT_APP_INVENTORY_INVENTORY_CHECK_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vorsandt::app {

// An item counts as not seen when its last check is older than this.
inline constexpr int32_t kNotSeenDays = 365;

struct SeenItem {
  int32_t code = 0;
  std::string description;
  int32_t last_seen = 0;  // day number; 0 when never seen
};

// Whether an item last seen on `last_seen` (0: never) is due a look on
// `today`: never seen, or not in the last twelve months.
bool NotSeenForAYear(int32_t last_seen, int32_t today);

// The locations, in their key order. False with `error` after a read failure.
bool LocationNames(std::vector<std::string>* names, std::string* error);

// The items kept at `location` (compared as the key does: without case), by
// description, each with the day it was last seen.
bool ItemsAt(const std::string& location, std::vector<SeenItem>* items, std::string* error);

// The "Not seen" order: the items due a look, those never seen first, then
// the longest unseen first; items seen within the year are left out.
std::vector<SeenItem> NotSeenOrder(const std::vector<SeenItem>& items, int32_t today);

// The newest day item `code` was seen; 0 when never. -1 after a read failure.
int32_t LastSeen(int32_t code);

// The newest check of every item that has one, for the reports: CHECKS is
// opened for reading only (OpenTableForReading), and a data folder without
// it has no checks. False with `error`, naming the table, when it cannot be
// read.
bool ReadLastSeen(std::map<int32_t, int32_t>* last_seen, std::string* error);

// Writes the item's check for `day` unless it is there already.
bool MarkSeen(int32_t code, int32_t day, std::string* error);
// Removes the item's checks of `day` (and no other day's).
bool UnmarkSeen(int32_t code, int32_t day, std::string* error);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_INVENTORY_INVENTORY_CHECK_H_
