#include "netware/nwnds_catalog.h"

#include <cstddef>
#include <cstring>
#include <iterator>

#include "common/nwtext.h"

static_assert(sizeof(Object_Info_T) == 80, "object-information record is 80 bytes");
static_assert(offsetof(Object_Info_T, baseClass) == 12, "base class starts at byte 12");
static_assert(sizeof(Object_Info_T::baseClass) == 68, "base-class field is 68 bytes");

namespace {

struct AttrRow {
    uint8_t ordinal;
    const char* enumerator;
    const char* name;
    uint8_t syntax;
};

constexpr AttrRow kAttrRows[] = {
#define NW_DS_ATTR_ROW(ordinal, id, name, syntax) {ordinal, #id, name, syntax},
    NW_DS_ATTRIBUTES(NW_DS_ATTR_ROW)
#undef NW_DS_ATTR_ROW
};

constexpr bool RowsInOrdinalOrder()
{
    for (std::size_t i = 0; i < std::size(kAttrRows); ++i)
        if (kAttrRows[i].ordinal != i)
            return false;
    return true;
}

static_assert(std::size(kAttrRows) == NWDSAttrTypeCount, "one row per attribute");
static_assert(RowsInOrdinalOrder(), "rows are indexed by ordinal");

constexpr const char* kObjKindNames[] = {
    "dokAFPServer", "dokAlias", "dokBinderyObject", "dokBinderyQueue", "dokComputer",
    "dokCountry", "dokDirectoryMap", "dokExternalEntity", "dokGroup", "dokList",
    "dokLocality", "dokMessageRoutingGroup", "dokMessagingServer", "dokNCPServer",
    "dokOrganization", "dokOrganizationalRole", "dokOrganizationalUnit", "dokPrinter",
    "dokPrintServer", "dokProfile", "dokQueue", "dokServer", "dokTop", "dokUnknown",
    "dokUser", "dokVolume", "dokTree", "dokFile", "dokDirectory", "dokQueueJob",
};
static_assert(std::size(kObjKindNames) == dokQueueJob + 1, "one name per kind");

// Base classes the catalogue recognises, as compared (upper case).
struct ClassRow {
    std::string_view name;
    TNWDSObjKind kind;
};

constexpr ClassRow kClassRows[] = {
    {"USER", dokUser},
    {"VOLUME", dokVolume},
    {"TOP", dokTop},
    {"QUEUE", dokQueue},
    {"PROFILE", dokProfile},
    {"PRINT SERVER", dokPrintServer},
    {"PRINTER", dokPrinter},
    {"ORGANIZATIONAL UNIT", dokOrganizationalUnit},
    {"ORGANIZATIONAL ROLE", dokOrganizationalRole},
    {"ORGANIZATION", dokOrganization},
    {"NCP SERVER", dokNCPServer},
    {"MESSAGING SERVER", dokMessagingServer},
    {"MESSAGE ROUTING GROUP", dokMessageRoutingGroup},
    {"LOCALITY", dokLocality},
    {"LIST", dokList},
    {"GROUP", dokGroup},
    {"EXTERNAL ENTITY", dokExternalEntity},
    {"DIRECTORY MAP", dokDirectoryMap},
    {"COUNTRY", dokCountry},
    {"COMPUTER", dokComputer},
    {"BINDERY QUEUE", dokBinderyQueue},
    {"BINDERY OBJECT", dokBinderyObject},
    {"ALIAS", dokAlias},
    {"AFP SERVER", dokAFPServer},
    {"SERVER", dokServer},
};


}  // namespace

std::string AttrName(TNWDSAttrType attr)
{
    return attr < NWDSAttrTypeCount ? kAttrRows[attr].name : std::string();
}

uint8_t AttrSyntax(TNWDSAttrType attr)
{
    return attr < NWDSAttrTypeCount ? kAttrRows[attr].syntax : uint8_t{8};
}

const char* AttrTypeName(TNWDSAttrType attr)
{
    return attr < NWDSAttrTypeCount ? kAttrRows[attr].enumerator : "";
}

bool AttrTypeFromName(std::string_view name, TNWDSAttrType& attr)
{
    for (const AttrRow& row : kAttrRows) {
        if (nwtext::EqualNoCase(name, row.enumerator)) {
            attr = static_cast<TNWDSAttrType>(row.ordinal);
            return true;
        }
    }
    return false;
}

const char* ObjKindName(TNWDSObjKind kind)
{
    return kind < std::size(kObjKindNames) ? kObjKindNames[kind] : "";
}

TNWDSObjKind ObjectKindOfClass(std::string_view baseClass)
{
    for (const ClassRow& row : kClassRows)
        if (nwtext::EqualNoCase(baseClass, row.name))
            return row.kind;
    return dokUnknown;
}

TNWDSObjKind ObjectKindOf(const Object_Info_T& info)
{
    const char* field = info.baseClass;
    const void* zero = std::memchr(field, 0, sizeof info.baseClass);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field)
                                    : sizeof info.baseClass;
    return ObjectKindOfClass(std::string_view(field, length));
}
