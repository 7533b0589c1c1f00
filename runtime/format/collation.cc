#include "runtime/format/collation.h"

#include <locale.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "runtime/format/charset.h"

namespace vorsandt::format {
namespace {

using Table = std::array<uint8_t, 256>;

Table Identity() {
  Table table;
  for (int c = 0; c < 256; ++c) table[c] = static_cast<uint8_t>(c);
  return table;
}

// The listed characters (first occurrence counts) take the slots of their own
// codes, reordered: the smallest listed code gets the first listed character.
// Everything else stays where it was, so the table remains a permutation.
Table FromSequence(std::string_view sequence) {
  Table table = Identity();
  std::vector<uint8_t> order;
  std::array<bool, 256> seen{};
  for (char ch : sequence) {
    auto c = static_cast<uint8_t>(ch);
    if (seen[c]) continue;
    seen[c] = true;
    order.push_back(c);
  }
  std::vector<uint8_t> slots = order;
  std::sort(slots.begin(), slots.end());
  for (size_t i = 0; i < order.size(); ++i) table[order[i]] = slots[i];
  return table;
}

// Characters 2-254 sorted by strcoll of their UTF-8 forms (insertion sort, so
// characters the collation calls equal keep code order).
Table FromSystem(char32_t (*to_unicode)(unsigned char), locale_t collate) {
  std::vector<std::pair<int, std::string>> items;
  for (int c = 2; c <= 254; ++c) {
    std::string utf8 = CodePointToUtf8(to_unicode(static_cast<unsigned char>(c)));
    items.emplace_back(c, std::move(utf8));
  }
  for (size_t i = 1; i < items.size(); ++i) {
    auto item = std::move(items[i]);
    size_t j = i;
    while (j > 0 && strcoll_l(items[j - 1].second.c_str(), item.second.c_str(), collate) > 0) {
      items[j] = std::move(items[j - 1]);
      --j;
    }
    items[j] = std::move(item);
  }
  Table table = Identity();
  for (size_t i = 0; i < items.size(); ++i) table[items[i].first] = static_cast<uint8_t>(2 + i);
  return table;
}

}  // namespace

uint8_t CollationWeight(char c) {
  const Locale& locale = CurrentLocale();
  const auto& table =
      locale.charset == CharacterSet::kOem ? locale.oem_weights : locale.ansi_weights;
  return table[static_cast<unsigned char>(c)];
}

int CompareText(std::string_view a, std::string_view b) { return CompareText(a, b, false); }

int CompareText(std::string_view a, std::string_view b, bool fold_case) {
  // One locale lookup per comparison rather than two per character.
  const Locale& locale = CurrentLocale();
  const auto& table =
      locale.charset == CharacterSet::kOem ? locale.oem_weights : locale.ansi_weights;
  auto weight = [&](std::string_view text, size_t i) -> int {
    const auto c = static_cast<unsigned char>(i < text.size() ? text[i] : ' ');
    return table[fold_case ? locale.UpperOf(c) : c];
  };
  size_t length = std::max(a.size(), b.size());
  for (size_t i = 0; i < length; ++i) {
    const int wa = weight(a, i);
    const int wb = weight(b, i);
    if (wa != wb) return wa - wb;
  }
  return 0;
}

void SetCollationSequence(Locale* locale, std::string_view sequence) {
  if (locale->charset == CharacterSet::kOem) {
    locale->oem_weights = FromSequence(sequence);
    locale->ansi_weights = FromSequence(OemToAnsiText(sequence));
  } else {
    locale->ansi_weights = FromSequence(sequence);
    locale->oem_weights = FromSequence(AnsiToOemText(sequence));
  }
}

void SetSystemCollation(Locale* locale) {
  locale_t collate = newlocale(LC_COLLATE_MASK, "", static_cast<locale_t>(nullptr));
  if (collate == static_cast<locale_t>(nullptr))
    collate = newlocale(LC_COLLATE_MASK, "C", static_cast<locale_t>(nullptr));
  if (collate == static_cast<locale_t>(nullptr)) return;
  locale->ansi_weights = FromSystem(&AnsiToUnicode, collate);
  locale->oem_weights = FromSystem(&OemToUnicode, collate);
  freelocale(collate);
}

}  // namespace vorsandt::format
