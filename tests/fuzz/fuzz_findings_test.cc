// Faults the fuzz targets found, each as the smallest input that showed it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"

#include "runtime/eval/bind_table.h"
#include "runtime/eval/expression.h"
#include "runtime/format/format.h"
#include "runtime/format/picture.h"
#include "runtime/files/error_codes.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/container.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/table/qvf_table_commands.h"

namespace vorsandt {
namespace {

// A finite number far beyond any day number or time was converted to a
// 64-bit integer before the range check (undefined behaviour); it shows
// blanks like any other invalid date or time.
TEST(FuzzFindings, DateAndTimeOfHugeNumbersShowBlanks) {
  for (const char* text : {"@D10", "@D5", "@T4"}) {
    const auto picture = format::CompilePicture(text);
    ASSERT_TRUE(picture.has_value());
    const std::string blanks(static_cast<size_t>(picture->width), ' ');
    for (double value : {2.74306e+303, -1e300, 9.3e18, -9.3e18}) {
      EXPECT_EQ(format::Format(value, *picture), blanks) << text << " " << value;
    }
  }
}

// Found by fuzzing, now fixed: a real constant made by folding prints with 15 significant digits,
// so the printed form of "LOG10(615)" reads back as a different number.
// Enable once constants print in their shortest exact form.
TEST(FuzzFindings, FoldedRealConstantPrintsAsItsExactValue) {
  eval::ClearBindings();
  const eval::Expression folded = eval::Expression::Compile("LOG10(615)");
  ASSERT_TRUE(folded.ok());
  const eval::Expression again = eval::Expression::Compile(folded.Print());
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.Real(), folded.Real()) << folded.Print();
}

// Found by fuzzing, now fixed: folding leaves a minus over a call that folds to a negative constant,
// which prints as "-(-1)"; the parser makes that the constant 1, so the
// printed form is not yet the form the text settles on. Enable once folding
// turns a negated constant into a constant, as the parser does.
TEST(FuzzFindings, NegatedFoldedConstantPrintsInItsSettledForm) {
  eval::ClearBindings();
  const eval::Expression e = eval::Expression::Compile("-INT(-1)");
  ASSERT_TRUE(e.ok());
  const eval::Expression again = eval::Expression::Compile(e.Print());
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.Print(), e.Print());
  EXPECT_EQ(again.Integer(), 1);
}

// Found by fuzzing, now fixed: a picture with an unclosed "(" ends at the blank after it, but its
// printed form puts the closing ")" of the call right after the picture,
// where the scanner takes it into the picture. Enable once the printer keeps
// such a picture apart from what follows.
TEST(FuzzFindings, PictureWithAnOpenParenthesisPrintsAsItReads) {
  eval::ClearBindings();
  const eval::Expression e = eval::Expression::Compile("FORMAT(1 & 2, @n5( )");
  ASSERT_TRUE(e.ok());
  EXPECT_TRUE(eval::Expression::Compile(e.Print()).ok()) << e.Print();
}

}  // namespace
}  // namespace vorsandt

namespace vorsandt {
namespace {

// Found by fuzzing, now fixed: a damaged tree whose walk steps backwards makes the table check's
// loop over table ids (CheckTableEntries, "Entries of tables the directory
// does not name") step back to an entry it has passed, forever. Enable once
// that loop stops when the tree answers with an earlier entry.
TEST(FuzzFindings, TableCheckEndsOnATreeThatStepsBackwards) {
  std::ifstream in(std::string(VORSANDT_FUZZ_FINDINGS) + "/qvf_table_check_loop.qvf",
                   std::ios::binary);
  ASSERT_TRUE(in);
  std::ostringstream image;
  image << in.rdbuf();
  env::FaultEnv env;
  env.SetContents("DATA.QVF", image.str());
  std::vector<std::string> faults;
  EXPECT_EQ(qvf::CheckTablesCommand(&env, "DATA.QVF", &faults), 1);
}

// Found by fuzzing, now fixed: in a damaged tree, the step from one leaf to the next takes the next
// leaf's first entry without checking that it is greater than the key
// searched after (Tree::Find, kAbove), so a walk with FindNextAfter can go
// round for ever. Enable once such a step stops with an internal error.
TEST(FuzzFindings, WalkOverADamagedTreeEnds) {
  std::ifstream in(std::string(VORSANDT_FUZZ_FINDINGS) + "/qvf_walk_cycle.qvf", std::ios::binary);
  ASSERT_TRUE(in);
  std::ostringstream image;
  image << in.rdbuf();
  env::FaultEnv env;
  env.SetContents("DATA.QVF", image.str());
  qvf::InternalErrorHandler previous = qvf::SetInternalErrorHandler([](int) {});
  qvf::Container c(&env);
  ASSERT_EQ(c.Open("DATA.QVF", qvf::Container::kReadOnly), 0);
  qvf::Tree tree(&c);
  std::string key;
  int status = 0;
  size_t steps = 0;
  for (; steps <= image.str().size(); ++steps) {
    qvf::Entry e;
    bool found = false;
    status = tree.FindNextAfter(key, &e, &found);
    if (status != 0 || !found) break;
    key.assign(e.Key());
  }
  EXPECT_LE(steps, image.str().size()) << "the walk goes round";
  EXPECT_EQ(status, files::kInvalidDataFile);
  (void)c.Close();  // a broken file: nothing is saved
  qvf::SetInternalErrorHandler(previous);
}

}  // namespace
}  // namespace vorsandt
