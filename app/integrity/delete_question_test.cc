// The words of the second delete question, from counts made up for each case.
#include "app/integrity/delete_question.h"

#include <gtest/gtest.h>

namespace vorsandt::app {
namespace {

using T = Table;

TEST(DeleteQuestionTest, ListsEveryReachedTableWithTheMostRecordsFirst) {
  // A location whose items have warranty records and no service.
  DeleteReach location{{{T::kItems, 15}, {T::kService, 0}, {T::kWarranty, 2}},
                       {{T::kClaim, T::kItems, 0}}};
  EXPECT_EQ(DeleteQuestion(T::kLocations, location),
            "This also deletes 15 ITEMS records, 2 WARRANTY records and 0 SERVICE records. "
            "Delete them all?");
  // Equal counts keep the cascade's order; one record is "record".
  DeleteReach item{{{T::kService, 1}, {T::kWarranty, 1}}, {{T::kClaim, T::kItems, 0}}};
  EXPECT_EQ(DeleteQuestion(T::kItems, item),
            "This also deletes 1 SERVICE record and 1 WARRANTY record. Delete them all?");
  DeleteReach company{{{T::kService, 3}}, {}};
  EXPECT_EQ(DeleteQuestion(T::kCompanies, company),
            "This also deletes 3 SERVICE records. Delete them all?");
}

TEST(DeleteQuestionTest, RecordsThatKeepNamingWhatGoesAreToldApart) {
  DeleteReach item{{{T::kService, 0}, {T::kWarranty, 2}}, {{T::kClaim, T::kItems, 2}}};
  EXPECT_EQ(DeleteQuestion(T::kItems, item),
            "This also deletes 2 WARRANTY records and 0 SERVICE records. 2 CLAIM records point "
            "at it and will keep doing so; they are not deleted. Delete them all?");
  // Nothing else goes, but a claim stays naming the item.
  DeleteReach claimed{{{T::kService, 0}, {T::kWarranty, 0}}, {{T::kClaim, T::kItems, 1}}};
  EXPECT_EQ(DeleteQuestion(T::kItems, claimed),
            "1 CLAIM record points at it and will keep doing so; it is not deleted. Delete it "
            "anyway?");
  // Claims naming the items a location takes along.
  DeleteReach location{{{T::kItems, 4}, {T::kService, 1}, {T::kWarranty, 0}},
                       {{T::kClaim, T::kItems, 3}}};
  EXPECT_EQ(DeleteQuestion(T::kLocations, location),
            "This also deletes 4 ITEMS records, 1 SERVICE record and 0 WARRANTY records. 3 CLAIM "
            "records point at the ITEMS records deleted and will keep doing so; they are not "
            "deleted. Delete them all?");
}

TEST(DeleteQuestionTest, NothingTakenAndNothingLeftAsksNothing) {
  DeleteReach empty_location{{{T::kItems, 0}, {T::kService, 0}, {T::kWarranty, 0}}, {}};
  EXPECT_TRUE(empty_location.Nothing());
  EXPECT_EQ(DeleteQuestion(T::kLocations, empty_location), "");
  EXPECT_TRUE(DeleteReach{}.Nothing());
  EXPECT_EQ(DeleteQuestion(T::kClaim, DeleteReach{}), "");
}

}  // namespace
}  // namespace vorsandt::app
