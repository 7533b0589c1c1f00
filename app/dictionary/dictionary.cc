#include "app/dictionary/dictionary.h"

#include <cctype>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/files/layout.h"
#include "runtime/files/names.h"

namespace vorsandt::app {
namespace {

using files::kTypeDecimal;
using files::kTypeLong;
using files::kTypeShort;
using files::kTypeString;

constexpr FieldDef Short(const char* n, uint32_t off, const char* pic, const char* m) {
  return {n, off, kTypeShort, 2, 0, 0, pic, false, m};
}
constexpr FieldDef Long(const char* n, uint32_t off, const char* pic, const char* m) {
  return {n, off, kTypeLong, 4, 0, 0, pic, false, m};
}
// A packed decimal of `digits` digits takes (digits + 1) / 2 bytes.
constexpr FieldDef Dec(const char* n, uint32_t off, uint8_t digits, uint8_t places,
                       const char* pic, const char* m) {
  return {n, off, kTypeDecimal, static_cast<uint32_t>((digits + 1) / 2), digits, places, pic,
          false, m};
}
constexpr FieldDef Str(const char* n, uint32_t off, uint32_t len, const char* pic,
                       const char* m) {
  return {n, off, kTypeString, len, 0, 0, pic, false, m};
}
constexpr FieldDef Check(const char* n, uint32_t off, const char* pic, const char* m) {
  return {n, off, kTypeString, 1, 0, 0, pic, true, m};
}

// A key whose components are the named fields of `fields`, numbered from 1
// as the file layer's key descriptor counts them; a name the table does not
// hold stops the build.
template <size_t N>
consteval KeyDef Key(const std::array<FieldDef, N>& fields, const char* name, uint32_t flags,
                     std::initializer_list<std::string_view> components) {
  KeyDef key{name, flags, static_cast<uint8_t>(components.size()), {}};
  size_t i = 0;
  for (std::string_view component : components) {
    int32_t number = 0;
    for (size_t f = 0; f < N; ++f) {
      if (std::string_view(fields[f].name) == component) number = static_cast<int32_t>(f) + 1;
    }
    if (number == 0) throw "a key component is no field of its table";
    key.components[i++] = number;
  }
  return key;
}

// Fields follow one another with no gaps and fill the record exactly.
template <size_t N>
constexpr bool Packed(const std::array<FieldDef, N>& f, uint32_t record_length) {
  uint32_t next = 0;
  for (const FieldDef& d : f) {
    if (d.offset != next) return false;
    next += d.size;
  }
  return next == record_length;
}

constexpr uint32_t kPrimary = files::kKeyNoCase | files::kKeyOptional | files::kKeyPrimary;
constexpr uint32_t kSecondary = files::kKeyNoCase | files::kKeyOptional | files::kKeyDuplicates;
static_assert(kPrimary == 0x16 && kSecondary == 0x07);

constexpr std::array<FieldDef, 11> kCompanies = {{
    Short("COM:COMPANY_REFERENCE", 0, "@N06", "unique identifier, numbered automatically"),
    Str("COM:COMPANY", 2, 30, "@s30", "company name"),
    Str("COM:ADDRESS_1", 32, 20, "@s20", "address line 1"),
    Str("COM:ADDRESS_2", 52, 20, "@s20", "address line 2"),
    Str("COM:ADDRESS_3", 72, 20, "@s20", "address line 3"),
    Str("COM:ADDRESS_4", 92, 20, "@s20", "address line 4"),
    Str("COM:TELEPHONE", 112, 20, "@s20", "telephone"),
    Str("COM:FAX", 132, 20, "@s20", "fax"),
    Str("COM:EMAIL", 152, 20, "@s20", "e-mail address"),
    Str("COM:CONTACT_NAME", 172, 20, "@s20", "name of contact"),
    Str("COM:EXT", 192, 10, "@s10", "telephone extension"),
}};
static_assert(Packed(kCompanies, 202));
constexpr std::array<KeyDef, 2> kCompaniesKeys = {{
    Key(kCompanies, "COM:REFERENCE", kPrimary, {"COM:COMPANY_REFERENCE"}),
    Key(kCompanies, "COM:NAME", kSecondary, {"COM:COMPANY"}),
}};

constexpr std::array<FieldDef, 9> kService = {{
    Short("SER:SERVICE_REFERENCE", 0, "@N06", "unique identifier, numbered automatically"),
    Short("SER:COMPANY_CODE", 2, "@N06", "service company"),
    Str("SER:COMPANY", 4, 30, "@s30", "service company name"),
    Short("SER:ITEM_REFERENCE", 34, "@N06", "item being serviced"),
    Long("SER:DATE_OF_SERVICE", 36, "@D5", "date sent for service"),
    Dec("SER:COST_OF_SERVICE", 40, 7, 2, "@n-10.2", "cost"),
    Str("SER:REFERENCE", 44, 30, "@s30", "the service company's reference"),
    Long("SER:DATE_RETURNED", 74, "@D5", "date returned from service"),
    Long("SER:DATE_NEXT_SERVICE", 78, "@D5", "next service due"),
}};
static_assert(Packed(kService, 82));
constexpr std::array<KeyDef, 6> kServiceKeys = {{
    Key(kService, "SER:SERVICE", kPrimary, {"SER:SERVICE_REFERENCE"}),
    Key(kService, "SER:CODE", kSecondary, {"SER:COMPANY_CODE"}),
    Key(kService, "SER:ITEM", kSecondary, {"SER:ITEM_REFERENCE"}),
    Key(kService, "SER:DATE", kSecondary, {"SER:DATE_OF_SERVICE"}),
    Key(kService, "SER:COMPANY_REFERENCE", kSecondary, {"SER:REFERENCE"}),
    Key(kService, "SER:NEXT", kSecondary, {"SER:DATE_NEXT_SERVICE"}),
}};

constexpr std::array<FieldDef, 6> kWarranty = {{
    Short("WAN:ITEM_REFERENCE", 0, "@N06", "the item"),
    Short("WAN:WARRANTY_REFERENCE", 2, "@N06", "unique identifier, numbered automatically"),
    Long("WAN:DATE_OF_REPAIR", 4, "@D5", "date the repair was carried out"),
    Str("WAN:SERVICE", 8, 30, "@s30", "type of service carried out"),
    Dec("WAN:COST", 38, 7, 2, "@n-10.2", "cost of repair, if any"),
    Check("WAN:SATISFACTORY", 42, "@s1", "repaired satisfactorily"),
}};
static_assert(Packed(kWarranty, 43));
constexpr std::array<KeyDef, 3> kWarrantyKeys = {{
    Key(kWarranty, "WAN:WARRANTY", kPrimary, {"WAN:WARRANTY_REFERENCE"}),
    Key(kWarranty, "WAN:ITEM", kSecondary, {"WAN:ITEM_REFERENCE"}),
    Key(kWarranty, "WAN:DATE", kSecondary, {"WAN:DATE_OF_REPAIR"}),
}};

constexpr std::array<FieldDef, 7> kClaim = {{
    Short("CLA:CLAIM_REFERENCE", 0, "@N06", "unique reference code, numbered automatically"),
    Short("CLA:ITEM_REFERENCE", 2, "@n06", "the item claimed for"),
    Str("CLA:INSURERS_REFERENCE", 4, 30, "@s30", "the insurer's claim reference"),
    Str("CLA:POLICE_CRIME_REFERENCE", 34, 30, "@s30", "crime reference, if reported to the police"),
    Long("CLA:DATE_REPORTED_TO_POLICE", 64, "@D5", "date reported"),
    Long("CLA:DATE_OF_CLAIM", 68, "@D5", "date of claim"),
    Str("CLA:CLAIM_STATUS", 72, 20, "@s20", "status of the claim"),
}};
static_assert(Packed(kClaim, 92));
constexpr std::array<KeyDef, 4> kClaimKeys = {{
    Key(kClaim, "CLA:CLAIM_REF", kPrimary, {"CLA:CLAIM_REFERENCE"}),
    Key(kClaim, "CLA:ITEM_REF", kSecondary, {"CLA:ITEM_REFERENCE"}),
    Key(kClaim, "CLA:REFERENCE", kSecondary, {"CLA:INSURERS_REFERENCE"}),
    Key(kClaim, "CLA:DATE", kSecondary, {"CLA:DATE_OF_CLAIM"}),
}};

constexpr std::array<FieldDef, 1> kLocations = {{
    Str("LOC:LOCATION", 0, 30, "@s30", "name of the location"),
}};
static_assert(Packed(kLocations, 30));
constexpr std::array<KeyDef, 1> kLocationsKeys = {{
    Key(kLocations, "LOC:LOC", kPrimary, {"LOC:LOCATION"}),
}};

constexpr std::array<FieldDef, 19> kItems = {{
    Short("ITE:ITEM_CODE", 0, "@N06", "unique identifier, numbered automatically"),
    Str("ITE:POLICY_REFERENCE", 2, 30, "@s30", "policy the item is insured under"),
    Str("ITE:ITEM", 32, 60, "@s60", "description of the item"),
    Str("ITE:SERIAL_NUMBER", 92, 30, "@s30", "serial number"),
    Long("ITE:DATE_BOUGHT", 122, "@D5", "purchase date"),
    Dec("ITE:PRICE_PAID", 126, 9, 2, "@n-13.2", "total cost including tax"),
    Str("ITE:RECEIPT_REFERENCE", 131, 20, "@s20", "receipt number or details"),
    Check("ITE:COPY_OF_RECIEPT", 151, "@s1", "copy of the receipt sent to the insurer"),
    Str("ITE:SUPPLIER", 152, 40, "@s40", "name of supplier"),
    Str("ITE:MANUFACTURER", 192, 40, "@s40", "manufacturer"),
    Str("ITE:SUPPLIERS_WARRANTY", 232, 20, "@s20", "period of the supplier's warranty"),
    Str("ITE:MANUFACTURERS_WARRANTY", 252, 20, "@s20", "details of the manufacturer's warranty"),
    Str("ITE:EXTENDED_WARRANTY", 272, 40, "@s40", "details of additional warranty"),
    Str("ITE:LOCATION", 312, 30, "@s30", "where the item is stored"),
    Check("ITE:UV_MARKED", 342, "", "UV security marking"),
    Check("ITE:ETCHED", 343, "", "security etching"),
    Check("ITE:PHOTOGRAPHED", 344, "", "photographed"),
    Str("ITE:PICTURE", 345, 41, "@s41", "file name of the item's picture"),
    Str("ITE:DESCRIPTION_OF_PICTURE", 386, 20, "@s20", "description of the picture"),
}};
static_assert(Packed(kItems, 406));
constexpr std::array<KeyDef, 5> kItemsKeys = {{
    Key(kItems, "ITE:CODE", kPrimary, {"ITE:ITEM_CODE"}),
    Key(kItems, "ITE:LOC", kSecondary, {"ITE:LOCATION", "ITE:ITEM"}),
    Key(kItems, "ITE:POLICY", kSecondary, {"ITE:POLICY_REFERENCE"}),
    Key(kItems, "ITE:ITEMS", kSecondary, {"ITE:ITEM"}),
    Key(kItems, "ITE:SERIALS", kSecondary, {"ITE:SERIAL_NUMBER"}),
}};

constexpr std::array<FieldDef, 9> kInsurance = {{
    Short("INS:REFERENCE", 0, "@N06", "company unique reference, numbered automatically"),
    Str("INS:COMPANY", 2, 30, "@s30", "company name"),
    Str("INS:TELEPHONE", 32, 20, "@s20", "telephone"),
    Str("INS:FAX", 52, 20, "@s20", "fax"),
    Str("INS:CONTACT", 72, 20, "@s20", "contact name"),
    Str("INS:ADDRESS_1", 92, 20, "@s20", "address line 1"),
    Str("INS:ADDRESS_2", 112, 20, "@s20", "address line 2"),
    Str("INS:ADDRESS_3", 132, 20, "@s20", "address line 3"),
    Str("INS:ADDRESS_4", 152, 20, "@s20", "address line 4"),
}};
static_assert(Packed(kInsurance, 172));
constexpr std::array<KeyDef, 2> kInsuranceKeys = {{
    Key(kInsurance, "INS:REF", kPrimary, {"INS:REFERENCE"}),
    Key(kInsurance, "INS:NAME", kSecondary, {"INS:COMPANY"}),
}};

constexpr std::array<FieldDef, 13> kPolicy = {{
    Str("POL:POLICY_REFERENCE", 0, 30, "@s30", "policy reference or number"),
    Short("POL:INSURER_CODE", 30, "@n06", "insurer"),
    Str("POL:INSURER", 32, 30, "@s30", "insurer's name"),
    Long("POL:START_INSURANCE", 62, "@D5", "start date of the policy"),
    Long("POL:POLICY_EXPIRES", 66, "@D5", "expiry date"),
    Str("POL:POLICY_TYPE", 70, 30, "@s30", "kind of policy (home, car ...)"),
    Short("POL:NO_CLAIMS_BONUS", 100, "@P##%P", "no-claims bonus in per cent"),
    Dec("POL:EXCESS", 102, 7, 2, "@n-10.2", "excess"),
    Dec("POL:PREMIUM", 106, 7, 2, "@n-10.2", "premium"),
    Str("POL:EXTRA_BENEFITS", 110, 60, "@s60", "extra benefits (legal cover ...)"),
    Check("POL:ACCIDENTAL_DAMAGE", 170, "", "cover against accidental damage"),
    Dec("POL:SINGLE_ITEM_LIMIT", 171, 7, 2, "@n-10.2", "maximum cover for one item"),
    Dec("POL:TOTAL_COVER", 175, 9, 2, "@n-13.2", "total amount covered"),
}};
static_assert(Packed(kPolicy, 180));
constexpr std::array<KeyDef, 2> kPolicyKeys = {{
    Key(kPolicy, "POL:REFERENCE", kPrimary, {"POL:POLICY_REFERENCE"}),
    Key(kPolicy, "POL:COMPANY", kSecondary,
        {"POL:INSURER_CODE", "POL:INSURER", "POL:POLICY_REFERENCE"}),
}};

// What an owner keeps besides a photograph: receipts, manuals, warranty
// cards, valuations. The file itself is a copy in the data folder's
// documents folder, so the folder alone holds everything.
constexpr std::array<FieldDef, 6> kDocuments = {{
    Short("DOC:DOCUMENT_REFERENCE", 0, "@N06", "unique identifier, numbered automatically"),
    Short("DOC:ITEM_REFERENCE", 2, "@N06", "the item the document belongs to"),
    Str("DOC:KIND", 4, 20, "@s20", "kind of document (receipt, manual ...)"),
    Str("DOC:DESCRIPTION", 24, 40, "@s40", "description of the document"),
    Long("DOC:DATE", 64, "@D5", "date of the document"),
    Str("DOC:FILE", 68, 120, "@s120", "the file's name in the documents folder"),
}};
static_assert(Packed(kDocuments, 188));
constexpr std::array<KeyDef, 2> kDocumentsKeys = {{
    Key(kDocuments, "DOC:REFERENCE", kPrimary, {"DOC:DOCUMENT_REFERENCE"}),
    Key(kDocuments, "DOC:ITEM", kSecondary, {"DOC:ITEM_REFERENCE"}),
}};

// One record for each day an item was seen during an inventory check: the
// date an insurer asks about is the newest one. Several checks of one item
// share its reference, so the key takes duplicates.
constexpr std::array<FieldDef, 2> kChecks = {{
    Short("CHK:ITEM_REFERENCE", 0, "@N06", "the item that was seen"),
    Long("CHK:DATE_SEEN", 2, "@D5", "the day it was seen"),
}};
static_assert(Packed(kChecks, 6));
constexpr std::array<KeyDef, 1> kChecksKeys = {{
    Key(kChecks, "CHK:ITEM", kSecondary, {"CHK:ITEM_REFERENCE", "CHK:DATE_SEEN"}),
}};

const files::MemoDecl kClaimNotes = {"CLA:NOTES", 9, 0, 1000};
const files::MemoDecl* const kClaimMemos[] = {&kClaimNotes};

const TableDef kTables[kTableCount] = {
    {Table::kCompanies, "COMPANIES", "COM", 202, kCompanies, kCompaniesKeys, {}, 1},
    {Table::kService, "SERVICE", "SER", 82, kService, kServiceKeys, {}, 1},
    {Table::kWarranty, "WARRANTY", "WAN", 43, kWarranty, kWarrantyKeys, {}, 2},
    {Table::kClaim, "CLAIM", "CLA", 92, kClaim, kClaimKeys, kClaimMemos, 1},
    {Table::kLocations, "LOCATIONS", "LOC", 30, kLocations, kLocationsKeys, {}, 0},
    {Table::kItems, "ITEMS", "ITE", 406, kItems, kItemsKeys, {}, 1},
    {Table::kInsuranceCompany, "INSURANCE_COMPANY", "INS", 172, kInsurance, kInsuranceKeys, {},
     1},
    {Table::kPolicy, "POLICY", "POL", 180, kPolicy, kPolicyKeys, {}, 0},
    {Table::kDocuments, "DOCUMENTS", "DOC", 188, kDocuments, kDocumentsKeys, {}, 1, "DOC:FILE"},
    {Table::kChecks, "CHECKS", "CHK", 6, kChecks, kChecksKeys, {}, 0},
};

const RelationDef kRelations[] = {
    {Table::kPolicy, "POL:POLICY_REFERENCE", Table::kItems, "ITE:POLICY_REFERENCE", "ITE:POLICY",
     RelationAction::kCascade, RelationAction::kCascade},
    {Table::kLocations, "LOC:LOCATION", Table::kItems, "ITE:LOCATION", "ITE:LOC",
     RelationAction::kCascade, RelationAction::kCascade},
    {Table::kItems, "ITE:ITEM_CODE", Table::kService, "SER:ITEM_REFERENCE", "SER:ITEM",
     RelationAction::kCascade, RelationAction::kCascade},
    {Table::kItems, "ITE:ITEM_CODE", Table::kWarranty, "WAN:ITEM_REFERENCE", "WAN:ITEM",
     RelationAction::kCascade, RelationAction::kCascade},
    {Table::kInsuranceCompany, "INS:REFERENCE", Table::kPolicy, "POL:INSURER_CODE", "POL:COMPANY",
     RelationAction::kCascade, RelationAction::kCascade},
    {Table::kCompanies, "COM:COMPANY_REFERENCE", Table::kService, "SER:COMPANY_CODE", "SER:CODE",
     RelationAction::kCascade, RelationAction::kCascade},
    {Table::kItems, "ITE:ITEM_CODE", Table::kDocuments, "DOC:ITEM_REFERENCE", "DOC:ITEM",
     RelationAction::kCascade, RelationAction::kCascade},
    {Table::kItems, "ITE:ITEM_CODE", Table::kChecks, "CHK:ITEM_REFERENCE", "CHK:ITEM",
     RelationAction::kCascade, RelationAction::kCascade},
};

const RelationDef kKeptReferences[] = {
    {Table::kItems, "ITE:ITEM_CODE", Table::kClaim, "CLA:ITEM_REFERENCE", "CLA:ITEM_REF",
     RelationAction::kKeep, RelationAction::kKeep},
};

// The run-time half: layout streams, key declarations and file records, made
// once by InitDictionary and never freed (they are the program's static data).
struct Declared {
  std::vector<uint8_t> layout;
  std::vector<files::KeyDecl> keys;
  std::vector<const files::KeyDecl*> key_list;
  std::vector<uint8_t> buffer;
  std::unique_ptr<files::FileRecord> file;
};

Declared* g_declared = nullptr;
std::once_flag g_once;

std::vector<uint8_t> BuildLayout(const TableDef& def) {
  files::LayoutBuilder b;
  for (const FieldDef& f : def.fields) {
    switch (f.type) {
      case kTypeShort: b.Short(f.offset, f.name); break;
      case kTypeLong: b.Long(f.offset, f.name); break;
      case kTypeDecimal: b.Decimal(f.offset, f.name, static_cast<uint8_t>(f.size), f.places); break;
      default: b.String(f.offset, f.name, f.size, ""); break;
    }
  }
  return b.Finish();
}

void Declare(files::DriverEntry entry) {
  g_declared = new Declared[kTableCount];
  for (int i = 0; i < kTableCount; ++i) {
    const TableDef& def = kTables[i];
    Declared& d = g_declared[i];
    d.layout = BuildLayout(def);
    d.buffer.assign(def.record_length, 0);
    d.keys.reserve(def.keys.size());
    d.file = std::make_unique<files::FileRecord>(
        entry, def.label, static_cast<int32_t>(std::char_traits<char>::length(def.label)),
        files::kAttrCreate | files::kAttrPerThread, def.record_length, d.layout.data(),
        d.layout.size(), nullptr, static_cast<uint8_t>(def.keys.size()), def.memos.data(),
        static_cast<uint8_t>(def.memos.size()), d.buffer.data());
    for (size_t k = 0; k < def.keys.size(); ++k) {
      const KeyDef& kd = def.keys[k];
      d.keys.push_back({kd.name, static_cast<int32_t>(std::char_traits<char>::length(kd.name)),
                        kd.flags, kd.component_count, kd.components.data(), d.file.get(),
                        static_cast<int32_t>(k + 1)});
    }
    for (const files::KeyDecl& k : d.keys) d.key_list.push_back(&k);
    d.file->keys = d.key_list.data();
  }
}

}  // namespace

std::span<const TableDef> Tables() { return kTables; }
const TableDef& Def(Table t) { return kTables[static_cast<int>(t)]; }
std::span<const RelationDef> Relations() { return kRelations; }
std::span<const RelationDef> KeptReferences() { return kKeptReferences; }
const files::MemoDecl& ClaimNotes() { return kClaimNotes; }

namespace {

template <typename Matches>
const RelationDef* FindLink(Matches matches) {
  for (std::span<const RelationDef> links : {Relations(), KeptReferences()}) {
    for (const RelationDef& r : links) {
      if (matches(r)) return &r;
    }
  }
  return nullptr;
}

std::string MakeLinkFilter(const RelationDef& r) {
  const FieldDef* child = FieldNamed(r.child_field);
  const KeyDef* key = nullptr;
  for (const KeyDef& k : Def(r.child).keys) {
    if (std::string_view(k.name) == r.child_key) key = &k;
  }
  const bool no_case = child != nullptr && child->type == kTypeString && key != nullptr &&
                       (key->flags & files::kKeyNoCase) != 0;
  if (!no_case) return std::string(r.child_field) + " = " + r.parent_field;
  return "UPPER(" + std::string(r.child_field) + ") = UPPER(" + r.parent_field + ")";
}

}  // namespace

const RelationDef* LinkByChildKey(std::string_view child_key) {
  return FindLink([&](const RelationDef& r) { return files::SameName(r.child_key, child_key); });
}

const RelationDef* LinkByChildField(std::string_view child_field) {
  return FindLink(
      [&](const RelationDef& r) { return files::SameName(r.child_field, child_field); });
}

const char* LinkFilter(const RelationDef& link) {
  // Made once for every link and kept for the program's life, as the
  // declarations are; in the order FindLink looks.
  static const std::vector<std::pair<const RelationDef*, std::string>> filters = [] {
    std::vector<std::pair<const RelationDef*, std::string>> all;
    FindLink([&](const RelationDef& r) {
      all.emplace_back(&r, MakeLinkFilter(r));
      return false;
    });
    return all;
  }();
  for (const auto& [r, filter] : filters) {
    if (r == &link) return filter.c_str();
  }
  return "";
}

const char* ParentKey(const RelationDef& link) { return Def(link.parent).keys[0].name; }

void InitDictionary(files::DriverEntry entry) {
  std::call_once(g_once, [entry] { Declare(entry); });
}

files::FileRecord* File(Table t) {
  return g_declared == nullptr ? nullptr : g_declared[static_cast<int>(t)].file.get();
}

const files::KeyDecl* Key(Table t, int number) {
  if (g_declared == nullptr) return nullptr;
  const Declared& d = g_declared[static_cast<int>(t)];
  if (number < 1 || number > static_cast<int>(d.keys.size())) return nullptr;
  return &d.keys[number - 1];
}

const files::KeyDecl* KeyNamed(std::string_view name) {
  Table t;
  if (g_declared == nullptr || !TableOfName(name, &t)) return nullptr;
  for (const files::KeyDecl& k : g_declared[static_cast<int>(t)].keys) {
    if (files::SameName(k.name, name)) return &k;
  }
  return nullptr;
}

std::span<const uint8_t> Layout(Table t) {
  if (g_declared == nullptr) return {};
  return g_declared[static_cast<int>(t)].layout;
}

const FieldDef* FieldNamed(std::string_view name) {
  Table t;
  if (!TableOfName(name, &t)) return nullptr;
  for (const FieldDef& f : Def(t).fields) {
    if (files::SameName(f.name, name)) return &f;
  }
  return nullptr;
}

int FieldNumber(Table t, std::string_view name) {
  const std::span<const FieldDef> fields = Def(t).fields;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (files::SameName(fields[i].name, name)) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool TableOfName(std::string_view name, Table* out) {
  size_t colon = name.find(':');
  if (colon == std::string_view::npos) return false;
  for (const TableDef& def : kTables) {
    if (files::SameName(def.prefix, name.substr(0, colon))) {
      *out = def.table;
      return true;
    }
  }
  return false;
}

}  // namespace vorsandt::app
