#include "runtime/format/search_fold.h"

#include <gtest/gtest.h>

#include "runtime/format/locale.h"

namespace vorsandt::format {
namespace {

TEST(SearchFold, CaseAndAccentsFoldOneCharacterForOne) {
  ResetLocale();
  const SearchFold fold;
  // "Éclair Crème Brûlée ÇA ØRE Šarž Ÿ" in Windows-1252.
  const std::string text =
      "\xC9"
      "clair Cr\xE8"
      "me Br\xFBl\xE9"
      "e \xC7"
      "A \xD8"
      "RE \x8A"
      "ar\x9E \x9F";
  const std::string folded = fold.Text(text);
  EXPECT_EQ(folded, "eclair creme brulee ca ore sarz y");
  EXPECT_EQ(folded.size(), text.size());
}

TEST(SearchFold, SignsDigitsAndLettersWithoutABaseStay) {
  ResetLocale();
  const SearchFold fold;
  // × ÷ ß and digits keep themselves; Æ and Þ take their lower-case forms.
  EXPECT_EQ(fold.Text("\xD7\xF7\xDF"
                      "09-/"),
            "\xD7\xF7\xDF"
            "09-/");
  EXPECT_EQ(fold.Text("\xC6\xDE"), "\xE6\xFE");
  std::string out = "x";
  fold.Append("AB", &out);
  EXPECT_EQ(out, "xab");
}

}  // namespace
}  // namespace vorsandt::format
