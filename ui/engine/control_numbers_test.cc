// The field numbers by which procedures, and anything driving a window from
// outside, refer to the controls of the program's own windows. Controls are
// numbered from 1 in declaration order and a sheet's tabs take no number, so
// every control after a sheet keeps the number it would have without the
// sheet's tabs. The table holds the numbers the procedures document for each
// window; it is checked against the definitions the program loads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/engine/resource_set.h"

namespace vorsandt::ui {
namespace {

// A control named by its use name (variable or field equate) or, when it has
// neither, by its text.
struct Numbered {
  Kind kind;
  const char* name;
  int number;
};

struct WindowNumbers {
  const char* id;
  const char* label;
  std::vector<Numbered> controls;
};

constexpr Kind kPrompt = Kind::kPrompt, kEntry = Kind::kEntry, kButton = Kind::kButton,
               kList = Kind::kList, kSheet = Kind::kSheet, kCheck = Kind::kCheck,
               kString = Kind::kString, kGroup = Kind::kGroup, kImage = Kind::kImage;

// Buttons every update form has outside its sheet, after `ok`.
std::vector<Numbered> FormButtons(int ok) {
  return {{kButton, "?OK", ok}, {kButton, "?Cancel", ok + 1}, {kButton, "?Help", ok + 2}};
}

std::vector<Numbered> Join(std::vector<Numbered> a, const std::vector<Numbered>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<Numbered> ProgressWindow() {
  return {{Kind::kProgress, "barValue", 1},
          {kString, "userString", 2},
          {kString, "?PercentDone", 3},
          {kButton, "?Cancel", 4}};
}

const std::vector<WindowNumbers>& Windows() {
  static const std::vector<WindowNumbers> kWindows = {
      {"ZELTAR3$ZELTA002",
       "BROWSEPOLICY$QUICKWINDOW",
       {{kPrompt, "POLICY REFERENCE:", 1},
        {kEntry, "POL:POLICY_REFERENCE", 2},
        {kPrompt, "INSURER CODE:", 3},
        {kEntry, "POL:INSURER_CODE", 4},
        {kList, "?Browse", 5},
        {kButton, "?Insert", 6},
        {kButton, "?Change", 7},
        {kButton, "?Delete", 8},
        {kSheet, "?CurrentTab", 9},
        {kButton, "?SelectInsurance_Company", 10},
        {kButton, "?ItemsOnPolicy", 11},
        {kButton, "?Close", 12},
        {kButton, "?Help", 13}}},
      {"ZELTAR3$ZELTA003",
       "BROWSEINSURANCE_COMPANY$QUICKWINDOW",
       {{kEntry, "INS:REFERENCE", 1}, {kList, "?Browse", 3}}},
      {"ZELTAR3$ZELTA018",
       "SELECTINSURANCE_COMPANY$QUICKWINDOW",
       {{kList, "?Browse", 1},
        {kButton, "?Select", 2},
        {kSheet, "?CurrentTab", 3},
        {kButton, "?Close", 4},
        {kButton, "?Help", 5}}},
      {"ZELTAR3$ZELTA037", "UPDATEPOLICY$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kEntry, "POL:POLICY_REFERENCE", 3},
             {kEntry, "POL:INSURER_CODE", 5},
             {kEntry, "POL:INSURER", 7},
             {kEntry, "POL:START_INSURANCE", 9},
             {kEntry, "POL:POLICY_EXPIRES", 11},
             {kEntry, "POL:POLICY_TYPE", 13},
             {kEntry, "POL:NO_CLAIMS_BONUS", 15},
             {kEntry, "POL:EXCESS", 17},
             {kEntry, "POL:PREMIUM", 19},
             {kEntry, "POL:EXTRA_BENEFITS", 21},
             {kCheck, "POL:ACCIDENTAL_DAMAGE", 22},
             {kEntry, "POL:SINGLE_ITEM_LIMIT", 24},
             {kEntry, "POL:TOTAL_COVER", 26},
             {kList, "?ItemsList", 27},
             {kButton, "?InsertItem", 28},
             {kButton, "?ChangeItem", 29},
             {kButton, "?DeleteItem", 30}},
            FormButtons(31))},
      {"ZELTAR3$ZELTA039", "UPDATEINSURANCE_COMPANY$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kEntry, "INS:REFERENCE", 3},
             {kEntry, "INS:COMPANY", 5},
             {kEntry, "INS:TELEPHONE", 7},
             {kEntry, "INS:FAX", 9},
             {kEntry, "INS:CONTACT", 11},
             {kEntry, "INS:ADDRESS_1", 13},
             {kEntry, "INS:ADDRESS_2", 15},
             {kEntry, "INS:ADDRESS_3", 17},
             {kEntry, "INS:ADDRESS_4", 19},
             {kList, "?PoliciesList", 20},
             {kButton, "?InsertPolicy", 21},
             {kButton, "?ChangePolicy", 22},
             {kButton, "?DeletePolicy", 23}},
            FormButtons(24))},
      {"ZELTAR3$ZELTA045", "UPDATEITEMS$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kString, "INVENTORY ITEM", 2},
             {kEntry, "ITE:ITEM_CODE", 4},
             {kEntry, "ITE:POLICY_REFERENCE", 6},
             {kEntry, "ITE:ITEM", 8},
             {kButton, "?LookupPolicy", 9},
             {kEntry, "ITE:SERIAL_NUMBER", 11},
             {kEntry, "ITE:DATE_BOUGHT", 13},
             {kEntry, "ITE:PRICE_PAID", 15},
             {kEntry, "ITE:RECEIPT_REFERENCE", 17},
             {kCheck, "ITE:COPY_OF_RECIEPT", 18},
             {kEntry, "ITE:SUPPLIER", 20},
             {kEntry, "ITE:MANUFACTURER", 22},
             {kEntry, "ITE:SUPPLIERS_WARRANTY", 24},
             {kEntry, "ITE:MANUFACTURERS_WARRANTY", 26},
             {kEntry, "ITE:EXTENDED_WARRANTY", 28},
             {kButton, "?LookupLocation", 29},
             {kEntry, "ITE:LOCATION", 31},
             {kGroup, "  SECURITY MARKING OF ITEM  ", 32},
             {kCheck, "ITE:UV_MARKED", 33},
             {kCheck, "ITE:ETCHED", 34},
             {kCheck, "ITE:PHOTOGRAPHED", 35},
             {kGroup, "  ON-LINE PHOTOGRAPH OF ITEM  ", 36},
             {kButton, "?ChoosePicture", 37},
             {kEntry, "ITE:PICTURE", 39},
             {kString, "BROWSE...", 40},
             {kEntry, "ITE:DESCRIPTION_OF_PICTURE", 42},
             {kGroup, " GRAPHIC TYPES CURRENTLY SUPPORTED", 43},
             {kString, "PCX   BMP   WMF", 44},
             {kList, "?ClaimsList", 45},
             {kButton, "?InsertClaim", 46},
             {kButton, "?ChangeClaim", 47},
             {kButton, "?DeleteClaim", 48},
             {kList, "?ServicesList", 49},
             {kButton, "?InsertService", 50},
             {kButton, "?ChangeService", 51},
             {kButton, "?DeleteService", 52},
             {kList, "?WarrantiesList", 53},
             {kButton, "?InsertWarranty", 54},
             {kButton, "?ChangeWarranty", 55},
             {kButton, "?DeleteWarranty", 56},
             {kImage, "?Picture", 58},
             {kList, "?DocumentsList", 59},
             {kButton, "?OpenDocument", 60},
             {kButton, "?InsertDocument", 61},
             {kButton, "?ChangeDocument", 62},
             {kButton, "?DeleteDocument", 63}},
            FormButtons(64))},
      {"ZELTAR3$ZELTA047", "UPDATELOCATIONS$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kEntry, "LOC:LOCATION", 3},
             {kList, "?ItemsList", 4},
             {kButton, "?InsertItem", 5},
             {kButton, "?ChangeItem", 6},
             {kButton, "?DeleteItem", 7}},
            FormButtons(8))},
      {"ZELTAR3$ZELTA049", "UPDATECLAIM$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kButton, "?LookupItem", 2},
             {kEntry, "CLA:CLAIM_REFERENCE", 4},
             {kEntry, "CLA:ITEM_REFERENCE", 6},
             {kEntry, "CLA:INSURERS_REFERENCE", 8},
             {kEntry, "CLA:POLICE_CRIME_REFERENCE", 10},
             {kEntry, "CLA:DATE_REPORTED_TO_POLICE", 12},
             {kEntry, "CLA:DATE_OF_CLAIM", 14},
             {kPrompt, "CLAIM STATUS:", 15},
             {kList, "CLA:CLAIM_STATUS", 16},
             {Kind::kTextBox, "CLA:NOTES", 17}},
            FormButtons(18))},
      {"ZELTAR3$ZELTA050", "UPDATEWARRANTY$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kButton, "?LookupItem", 2},
             {kEntry, "WAN:ITEM_REFERENCE", 4},
             {kEntry, "WAN:WARRANTY_REFERENCE", 6},
             {kEntry, "WAN:DATE_OF_REPAIR", 8},
             {kEntry, "WAN:SERVICE", 10},
             {kEntry, "WAN:COST", 12},
             {kCheck, "WAN:SATISFACTORY", 13}},
            FormButtons(14))},
      {"ZELTAR3$ZELTA062", "UPDATEDOCUMENTS$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kEntry, "DOC:DOCUMENT_REFERENCE", 3},
             {kButton, "?LookupItem", 4},
             {kEntry, "DOC:ITEM_REFERENCE", 6},
             {kList, "DOC:KIND", 8},
             {kEntry, "DOC:DATE", 10},
             {kEntry, "DOC:DESCRIPTION", 12},
             {kEntry, "DOC:FILE", 14},
             {kButton, "?ChooseFile", 15}},
            FormButtons(16))},
      {"ZELTAR3$ZELTA052", "UPDATESERVICE$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kEntry, "SER:SERVICE_REFERENCE", 3},
             {kButton, "?LookupCompany", 4},
             {kEntry, "SER:COMPANY_CODE", 6},
             {kEntry, "SER:COMPANY", 8},
             {kButton, "?LookupItem", 9},
             {kEntry, "SER:ITEM_REFERENCE", 11},
             {kEntry, "SER:DATE_OF_SERVICE", 13},
             {kEntry, "SER:COST_OF_SERVICE", 15},
             {kEntry, "SER:REFERENCE", 17},
             {kEntry, "SER:DATE_RETURNED", 19},
             {kEntry, "SER:DATE_NEXT_SERVICE", 21}},
            FormButtons(22))},
      {"ZELTAR3$ZELTA054", "UPDATECOMPANIES$QUICKWINDOW",
       Join({{kSheet, "?CurrentTab", 1},
             {kEntry, "COM:COMPANY_REFERENCE", 3},
             {kEntry, "COM:COMPANY", 5},
             {kEntry, "COM:ADDRESS_1", 7},
             {kEntry, "COM:ADDRESS_2", 9},
             {kEntry, "COM:ADDRESS_3", 11},
             {kEntry, "COM:ADDRESS_4", 13},
             {kEntry, "COM:TELEPHONE", 15},
             {kEntry, "COM:FAX", 17},
             {kEntry, "COM:EMAIL", 19},
             {kEntry, "COM:CONTACT_NAME", 21},
             {kEntry, "COM:EXT", 22},
             {kPrompt, "EXT:", 23}},
            FormButtons(24))},
      {"ZELTAR3$ZELTA055",
       "TREEBROWSEINVENTORY$WINDOW",
       {{kList, "?Tree", 1},
        {kButton, "?Close", 2},
        {kButton, "?Insert", 3},
        {kButton, "?Change", 4},
        {kButton, "?Delete", 5}}},
      {"ZELTAR3$ZELTA060", "MASTERINVENTORYPRINT$PROGRESSWINDOW", ProgressWindow()},
      {"ZELTAR3$ZELTA060", "MASTERINSURANCEREPORT$PROGRESSWINDOW", ProgressWindow()},
      {"ZELTAR3$ZELTA061",
       "REPORTPREVIEW$PREVIEWWINDOW",
       {{kButton, "?Cancel", 1},
        {kButton, "?Print", 2},
        {kButton, "?Zoom", 3},
        {kButton, "?PreviousPage", 4},
        {kButton, "?NextPage", 5},
        {kButton, "?Jump", 6},
        {kButton, "?FacingPages", 7},
        {Kind::kBox, "?LeftFrame", 8},
        {kImage, "?LeftPage", 9},
        {Kind::kRegion, "?LeftRegion", 10},
        {Kind::kBox, "?RightFrame", 11},
        {kImage, "?RightPage", 12},
        {Kind::kRegion, "?RightRegion", 13},
        {Kind::kBox, "?SingleFrame", 14},
        {kImage, "?SinglePage", 15},
        {Kind::kRegion, "?SingleRegion", 16},
        {kImage, "?ZoomedPage", 17}}},
      {"ZELTAR3$ZELTA061",
       "REPORTPREVIEW$JUMPWINDOW",
       {{Kind::kSpin, "jumpPage", 2}, {kButton, "?JumpButton", 3}, {kButton, "?CancelJump", 4}}},
      {"ZELTAR3$ZELTA_SF", "SPLASH$WINDOW", {{kList, "textLines", 4}, {kButton, "?Continue", 5}}},
      {"ZELTAR3$ZELTA_SF", "SPLASH$PROGRESSWINDOW", ProgressWindow()},
      {"ZELTAR3$ZELTA059",
       "BROWSEINVENTORYIMAGES$BROWSEWINDOW",
       {{kImage, "?Image", 1},
        {kList, "?Browse", 2},
        {kButton, "?Insert", 3},
        {kButton, "?Change", 4},
        {kButton, "?Delete", 5},
        {kButton, "?Select", 6},
        {kButton, "?Close", 7}}},
  };
  return kWindows;
}

const Node* Named(const Node& structure, const Numbered& want) {
  const Node* found = nullptr;
  ForEachControl(structure, [&](const Node& c) {
    if (found != nullptr || c.kind != want.kind) return;
    std::string_view use = UseName(c);
    if (use == want.name || (use.empty() && c.text == want.name)) found = &c;
  });
  return found;
}

TEST(ControlNumbersTest, EveryDocumentedNumberHoldsInTheLoadedDefinitions) {
  for (const WindowNumbers& w : Windows()) {
    SCOPED_TRACE(w.label);
    auto found = ProgramResources().Find(w.id, w.label);
    ASSERT_TRUE(found.has_value());
    for (const Numbered& want : w.controls) {
      const Node* c = Named(*found->structure, want);
      ASSERT_NE(c, nullptr) << KindName(want.kind) << " \"" << want.name << "\"";
      EXPECT_EQ(c->number, want.number) << KindName(want.kind) << " \"" << want.name << "\"";
    }
  }
}

}  // namespace
}  // namespace vorsandt::ui
