// DueSoon: the reminder MAIN shows after the welcome window. It lists the
// services whose next service date has passed or falls within the coming
// days, and the policies that expire within them; a double click (or Open)
// on a row opens that record's update form. The number of days is the
// settings file's DUESOONDAYS (30 when it says nothing; 0 switches the
// reminder off). When nothing is due no window opens at all.
//
// Only an item's latest service counts: once a service is done, a new
// SERVICE record holds the next date, and the older record's date, long
// passed, is no longer a reminder.
#ifndef VORSANDT_APP_REMINDERS_DUE_SOON_H_
#define VORSANDT_APP_REMINDERS_DUE_SOON_H_

#include <cstdint>
#include <string>
#include <vector>

namespace vorsandt::app {

inline constexpr char kDueSoonWindowId[] = "ZELTAR3$ZELTA_DS";
inline constexpr char kDueSoonLabel[] = "DUESOON$WINDOW";

enum class DueKind { kService, kPolicy };

// One row of the reminder.
struct DueEntry {
  DueKind kind = DueKind::kService;
  int32_t date = 0;  // day number of the next service or the expiry
  std::string reference;
  std::string details;
  int64_t pointer = 0;  // the record in its table
};

// A service the table holds, as the reminder weighs it.
struct ServiceFacts {
  int32_t item = 0;          // SER:ITEM_REFERENCE
  int32_t serviced = 0;      // SER:DATE_OF_SERVICE
  int32_t reference = 0;     // SER:SERVICE_REFERENCE
  int32_t next_service = 0;  // SER:DATE_NEXT_SERVICE, 0 when none is planned
};

// Of `services`, the indexes of those that remind: per item the latest
// service (by date of service, then reference), when its next service date
// is set and no later than `today` + `days`.
std::vector<size_t> DueServices(const std::vector<ServiceFacts>& services, int32_t today,
                                int32_t days);

// True when a policy expiring on `expires` reminds: from today to `days` on.
bool PolicyDue(int32_t expires, int32_t today, int32_t days);

// "overdue by 3 days", "due today", "due in 1 day", ...; for a policy
// "expires today", "expires in 12 days".
std::string DueText(DueKind kind, int32_t date, int32_t today);

// The program turns the reminder on, except in script runs that name no day
// (their result must not depend on the calendar). Off by default, so that
// test hosts running MAIN read only what they mean to.
void SetDueSoonEnabled(bool enabled);

// The procedure; runs on MAIN's thread before the frame's loop.
void DueSoon();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_REMINDERS_DUE_SOON_H_
