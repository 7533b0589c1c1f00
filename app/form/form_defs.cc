// The update forms as data, registered by name.
#include "app/form/form_def.h"
#include "app/frame/main_frame.h"

namespace vorsandt::app {
namespace {

using T = Table;

// UpdatePolicy starts from the insurer in the thread's buffer (the parent
// when it is called from an insurer's policy list).
void PrimePolicyInsurer(bool new_record);

constexpr Table kPolicyTables[] = {T::kInsuranceCompany, T::kItems, T::kPolicy};
constexpr Table kInsurerTables[] = {T::kInsuranceCompany, T::kPolicy};
constexpr Table kItemsTables[] = {T::kClaim,   T::kItems,    T::kLocations, T::kPolicy,
                                  T::kService, T::kWarranty, T::kDocuments};
constexpr Table kLocationTables[] = {T::kItems, T::kLocations};
constexpr Table kClaimTables[] = {T::kClaim, T::kItems};
constexpr Table kWarrantyTables[] = {T::kItems, T::kWarranty};
constexpr Table kServiceTables[] = {T::kCompanies, T::kItems, T::kService};
constexpr Table kCompanyTables[] = {T::kCompanies};
constexpr Table kDocumentTables[] = {T::kItems, T::kDocuments};

// The policy's insurer must exist: no blank passes, and after the select the
// insurer is checked once more. Its name follows the code.
constexpr FormLookup kPolicyLookups[] = {
    {"POL:INSURER_CODE", "SelectInsurance_Company", nullptr, true, true, "INS:COMPANY",
     "POL:INSURER"},
};
constexpr FormLookup kItemsLookups[] = {
    {"ITE:POLICY_REFERENCE", "SelectPolicy", "?LookupPolicy"},
    {"ITE:LOCATION", "SelectLocations", "?LookupLocation"},
};
constexpr FormLookup kClaimLookups[] = {{"CLA:ITEM_REFERENCE", "SelectItems", "?LookupItem"}};
constexpr FormLookup kWarrantyLookups[] = {{"WAN:ITEM_REFERENCE", "SelectItems", "?LookupItem"}};
constexpr FormLookup kDocumentLookups[] = {{"DOC:ITEM_REFERENCE", "SelectItems", "?LookupItem"}};
constexpr FormLookup kServiceLookups[] = {
    {"SER:COMPANY_CODE", "SelectCompanies", "?LookupCompany", false, false, "COM:COMPANY",
     "SER:COMPANY"},
    {"SER:ITEM_REFERENCE", "SelectItems", "?LookupItem"},
};
constexpr FormCopy kServiceCopies[] = {{"SER:COMPANY", "COM:COMPANY", "SER:COMPANY"}};

constexpr const char* kItemsOfPolicyColumns[] = {"ITE:ITEM_CODE",     "ITE:ITEM",
                                                 "ITE:SERIAL_NUMBER", "ITE:DATE_BOUGHT",
                                                 "ITE:PRICE_PAID",    "ITE:RECEIPT_REFERENCE",
                                                 "ITE:SUPPLIER",      "ITE:POLICY_REFERENCE"};
constexpr const char* kPolicyColumns[] = {
    "POL:POLICY_REFERENCE", "POL:START_INSURANCE", "POL:POLICY_EXPIRES",
    "POL:POLICY_TYPE",      "POL:NO_CLAIMS_BONUS", "POL:EXCESS",
    "POL:PREMIUM",          "POL:INSURER_CODE",    "POL:INSURER"};
constexpr const char* kItemsOfLocationColumns[] = {
    "ITE:ITEM_CODE",         "ITE:POLICY_REFERENCE", "ITE:ITEM",
    "ITE:SERIAL_NUMBER",     "ITE:DATE_BOUGHT",      "ITE:PRICE_PAID",
    "ITE:RECEIPT_REFERENCE", "ITE:COPY_OF_RECIEPT",  "ITE:SUPPLIER"};
constexpr const char* kClaimColumns[] = {"CLA:CLAIM_REFERENCE",
                                         "CLA:ITEM_REFERENCE",
                                         "CLA:INSURERS_REFERENCE",
                                         "CLA:POLICE_CRIME_REFERENCE",
                                         "CLA:DATE_REPORTED_TO_POLICE",
                                         "CLA:DATE_OF_CLAIM",
                                         "CLA:CLAIM_STATUS"};
constexpr const char* kServiceColumns[] = {
    "SER:SERVICE_REFERENCE", "SER:COMPANY_CODE",    "SER:COMPANY",
    "SER:ITEM_REFERENCE",    "SER:DATE_OF_SERVICE", "SER:COST_OF_SERVICE",
    "SER:REFERENCE",         "SER:DATE_RETURNED",   "SER:DATE_NEXT_SERVICE"};
constexpr const char* kWarrantyColumns[] = {"WAN:ITEM_REFERENCE", "WAN:WARRANTY_REFERENCE",
                                            "WAN:DATE_OF_REPAIR", "WAN:SERVICE",
                                            "WAN:COST",           "WAN:SATISFACTORY"};

constexpr const char* kDocumentColumns[] = {"DOC:KIND", "DOC:DATE", "DOC:DESCRIPTION", "DOC:FILE"};

constexpr FormChild kPolicyChildren[] = {
    {OfParent("ITEMS ON THIS POLICY", "ITE:POLICY"), kItemsOfPolicyColumns, "UpdateItems",
     "?ItemsList", "?InsertItem", "?ChangeItem", "?DeleteItem"},
};
constexpr FormChild kInsurerChildren[] = {
    {OfParent("POLICIES FOR THIS COMPANY", "POL:COMPANY"), kPolicyColumns, "UpdatePolicy",
     "?PoliciesList", "?InsertPolicy", "?ChangePolicy", "?DeletePolicy"},
};
constexpr FormChild kLocationChildren[] = {
    {OfParent("ITEMS IN THIS LOCATION", "ITE:LOC"), kItemsOfLocationColumns, "UpdateItems",
     "?ItemsList", "?InsertItem", "?ChangeItem", "?DeleteItem"},
};
constexpr FormChild kItemsChildren[] = {
    {OfParent("CLAIM", "CLA:ITEM_REF"), kClaimColumns, "UpdateClaim", "?ClaimsList", "?InsertClaim",
     "?ChangeClaim", "?DeleteClaim"},
    {OfParent("SERVICE", "SER:ITEM"), kServiceColumns, "UpdateService", "?ServicesList",
     "?InsertService", "?ChangeService", "?DeleteService"},
    {OfParent("WARRANTY", "WAN:ITEM"), kWarrantyColumns, "UpdateWarranty", "?WarrantiesList",
     "?InsertWarranty", "?ChangeWarranty", "?DeleteWarranty"},
    {OfParent("DOCUMENTS", "DOC:ITEM"), kDocumentColumns, "UpdateDocuments", "?DocumentsList",
     "?InsertDocument", "?ChangeDocument", "?DeleteDocument", "?OpenDocument"},
};

constexpr FormAction kClaimActions[] = {{"?ClaimPack", "ClaimPack"}};
constexpr const char* kClaimStatuses[] = {"PENDING", "PART SETTLED", "SETTLED", "NOT SUBMITTED",
                                          "NOT KNOWN"};
constexpr const char* kDocumentKinds[] = {"RECEIPT",   "MANUAL", "WARRANTY",
                                          "VALUATION", "PHOTO",  "OTHER"};

const FormDef kForms[] = {
    {.procedure = "UpdatePolicy",
     .window_id = "ZELTAR3$ZELTA037",
     .label = "UPDATEPOLICY$QUICKWINDOW",
     .table = T::kPolicy,
     .auto_number = false,
     .tables = kPolicyTables,
     .lookups = kPolicyLookups,
     .children = kPolicyChildren,
     .duplicate_key_name = "POL:REFERENCE",
     .prime = &PrimePolicyInsurer},
    {.procedure = "UpdateInsurance_Company",
     .window_id = "ZELTAR3$ZELTA039",
     .label = "UPDATEINSURANCE_COMPANY$QUICKWINDOW",
     .table = T::kInsuranceCompany,
     .auto_number = true,
     .tables = kInsurerTables,
     .children = kInsurerChildren,
     .duplicate_key_name = "INS:REF"},
    {.procedure = "UpdateItems",
     .window_id = "ZELTAR3$ZELTA045",
     .label = "UPDATEITEMS$QUICKWINDOW",
     .table = T::kItems,
     .auto_number = true,
     .tables = kItemsTables,
     .lookups = kItemsLookups,
     .children = kItemsChildren,
     .duplicate_key_name = "ID CODE",
     .picture_button = "?ChoosePicture",
     .picture_field = "ITE:PICTURE",
     .picture_image = "?Picture"},
    {.procedure = "UpdateLocations",
     .window_id = "ZELTAR3$ZELTA047",
     .label = "UPDATELOCATIONS$QUICKWINDOW",
     .table = T::kLocations,
     .auto_number = false,
     .tables = kLocationTables,
     .children = kLocationChildren,
     .duplicate_key_name = "LOC:LOC"},
    {.procedure = "UpdateClaim",
     .window_id = "ZELTAR3$ZELTA049",
     .label = "UPDATECLAIM$QUICKWINDOW",
     .table = T::kClaim,
     .auto_number = true,
     .tables = kClaimTables,
     .lookups = kClaimLookups,
     .duplicate_key_name = "CLA:CLAIM_REF",
     .drop_list = "CLA:CLAIM_STATUS",
     .drop_entries = kClaimStatuses,
     .actions = kClaimActions},
    {.procedure = "UpdateWarranty",
     .window_id = "ZELTAR3$ZELTA050",
     .label = "UPDATEWARRANTY$QUICKWINDOW",
     .table = T::kWarranty,
     .auto_number = true,
     .tables = kWarrantyTables,
     .lookups = kWarrantyLookups,
     .duplicate_key_name = "WAN:WARRANTY"},
    {.procedure = "UpdateService",
     .window_id = "ZELTAR3$ZELTA052",
     .label = "UPDATESERVICE$QUICKWINDOW",
     .table = T::kService,
     .auto_number = true,
     .tables = kServiceTables,
     .lookups = kServiceLookups,
     .copies = kServiceCopies,
     .duplicate_key_name = "SER:SERVICE"},
    {.procedure = "UpdateCompanies",
     .window_id = "ZELTAR3$ZELTA054",
     .label = "UPDATECOMPANIES$QUICKWINDOW",
     .table = T::kCompanies,
     .auto_number = true,
     .tables = kCompanyTables,
     .duplicate_key_name = "COM:REFERENCE"},
    {.procedure = "UpdateDocuments",
     .window_id = "ZELTAR3$ZELTA062",
     .label = "UPDATEDOCUMENTS$QUICKWINDOW",
     .table = T::kDocuments,
     .auto_number = true,
     .tables = kDocumentTables,
     .lookups = kDocumentLookups,
     .duplicate_key_name = "DOC:REFERENCE",
     .drop_list = "DOC:KIND",
     .drop_entries = kDocumentKinds,
     .stored_file_button = "?ChooseFile"},
};

void PrimePolicyInsurer(bool new_record) {
  // An existing policy takes only its own insurer's code and name: a buffer
  // left on another insurer (a tree reads every insurer) must never re-link it.
  if (!new_record && !SameFieldValue("INS:REFERENCE", "POL:INSURER_CODE")) return;
  CopyFieldValue("INS:REFERENCE", "POL:INSURER_CODE");
  CopyFieldValue("INS:COMPANY", "POL:INSURER");
}

struct Registration {
  Registration() {
    for (const FormDef& def : kForms) {
      Procedures().Register(def.procedure, [&def] { RunUpdateForm(def); });
    }
  }
};
Registration g_registration;

}  // namespace

std::span<const FormDef> FormDefs() { return kForms; }

const RelationDef& LinkOf(const FormChild& child) { return *LinkByChildKey(child.order.key); }

Table ChildTable(const FormChild& child) { return LinkOf(child).child; }

const RelationDef& LinkOf(const FormLookup& lookup) { return *LinkByChildField(lookup.field); }

}  // namespace vorsandt::app
