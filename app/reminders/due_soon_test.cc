#include "app/reminders/due_soon.h"

#include <gtest/gtest.h>

namespace vorsandt::app {
namespace {

constexpr int32_t kToday = 1000;

// Only each item's latest service reminds, by date of service and then by
// reference; a service without a next date never does.
TEST(DueServices, OnlyTheLatestServiceOfAnItemCounts) {
  std::vector<ServiceFacts> services = {
      {1, 500, 1, 900},   // item 1, superseded by the next one
      {1, 700, 2, 1100},  // item 1, latest, not due within 30 days
      {2, 600, 3, 990},   // item 2, overdue
      {2, 600, 4, 0},     // item 2, same day, higher reference, nothing planned
      {3, 650, 5, 1030},  // item 3, due on the last day
      {4, 650, 6, 1031},  // item 4, one day too late
  };
  EXPECT_EQ(DueServices(services, kToday, 30), (std::vector<size_t>{4}));
  services[3].next_service = 995;
  EXPECT_EQ(DueServices(services, kToday, 30), (std::vector<size_t>{3, 4}));
  EXPECT_EQ(DueServices(services, kToday, 31), (std::vector<size_t>{3, 4, 5}));
  EXPECT_TRUE(DueServices({}, kToday, 30).empty());
}

TEST(PolicyDue, FromTodayToTheLastDay) {
  EXPECT_FALSE(PolicyDue(kToday - 1, kToday, 30));  // lapsed: history, no reminder
  EXPECT_TRUE(PolicyDue(kToday, kToday, 30));
  EXPECT_TRUE(PolicyDue(kToday + 30, kToday, 30));
  EXPECT_FALSE(PolicyDue(kToday + 31, kToday, 30));
  EXPECT_FALSE(PolicyDue(0, kToday, 30));
}

TEST(DueText, SaysHowLongAndWhichWay) {
  EXPECT_EQ(DueText(DueKind::kService, kToday - 1, kToday), "overdue by 1 day");
  EXPECT_EQ(DueText(DueKind::kService, kToday - 14, kToday), "overdue by 14 days");
  EXPECT_EQ(DueText(DueKind::kService, kToday, kToday), "due today");
  EXPECT_EQ(DueText(DueKind::kService, kToday + 1, kToday), "due in 1 day");
  EXPECT_EQ(DueText(DueKind::kPolicy, kToday, kToday), "expires today");
  EXPECT_EQ(DueText(DueKind::kPolicy, kToday + 15, kToday), "expires in 15 days");
}

}  // namespace
}  // namespace vorsandt::app
