// The bindery of a connection's server: object IDs and names, scanning with
// wildcards, and property values in 128-byte segments. What a connection
// sees follows the objects' and properties' read security: everyone sees what
// anyone may read, a logged-in object what logged-in objects may read.
#include <algorithm>
#include <cstring>

#include "calls_common.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::calls;

namespace {

constexpr NWCCODE kWildcardNotAllowed = 0x89F0;
constexpr nuint32 kScanStart = 0xFFFFFFFF;
constexpr std::size_t kPropertyNameRoom = 16;  // 15 characters and the terminator
constexpr std::size_t kSegment = 128;

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

// Whether the connection may read something of this read security (the low
// four bits: 0 anyone, 1 logged in, 2 the object itself, 3 supervisor).
bool MayRead(const Connection& conn, std::uint8_t security, std::uint32_t ownerId) {
  const int level = security & 0x0F;
  if (level == 0) return true;
  const Slot* slot = conn.ServerSlot();
  if (slot == nullptr || !slot->LoggedIn()) return false;
  if (level == 1) return true;
  const BinderyObject* self = conn.server->FindObject(slot->objectId);
  const bool supervisor = self != nullptr && self->manager && self->consoleOperator;
  if (level == 2) return slot->objectId == ownerId || supervisor;
  return level == 3 && supervisor;
}

const BinderyObject* Visible(const Connection& conn, const BinderyObject* o) {
  return (o != nullptr && MayRead(conn, o->security, o->id)) ? o : nullptr;
}

// A bindery name from the caller: fewer than 48 characters.
std::optional<std::string_view> NameArg(const char* name, std::size_t room = NW_MAX_BINDERY_NAME) {
  const auto len = BoundedLength(name, room);
  if (!len) return std::nullopt;
  return std::string_view(name, *len);
}

}  // namespace

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetObjectID(NWCONN_HANDLE conn, const char* objectName,
                                                        nuint16 objectType, nuint32* objectID) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (objectName == nullptr || objectID == nullptr) return INVALID_PARAMETER;
  const auto name = NameArg(objectName);
  if (!name || name->empty()) return NO_SUCH_OBJECT;  // no bindery name is that long
  if (HasWildcard(*name)) return kWildcardNotAllowed;
  const BinderyObject* o = Visible(*c, c->server->FindObject(*name, objectType));
  if (o == nullptr) return NO_SUCH_OBJECT;
  *objectID = o->id;
  return SUCCESSFUL;
}

extern "C" NWEXPORT nuint32 NWAPI nwcore_NWLongSwap(nuint32 value) { return __builtin_bswap32(value); }

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetObjectName(NWCONN_HANDLE conn, nuint32 objectID, char* objectName,
                                                          nuint16* objectType) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (objectName == nullptr) return INVALID_PARAMETER;
  const BinderyObject* o = Visible(*c, c->server->FindObject(objectID));
  if (o == nullptr) return NO_SUCH_OBJECT;
  if (!PutText(objectName, NW_MAX_BINDERY_NAME, o->name)) return BUFFER_OVERFLOW;
  if (objectType != nullptr) *objectType = o->type;
  return SUCCESSFUL;
}

// The next object after *objectID (0xFFFFFFFF: from the start) in the
// bindery's order whose name matches the pattern and whose type matches
// (OT_WILD: any). NO_SUCH_OBJECT ends the scan.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWScanObject(NWCONN_HANDLE conn, const char* searchName,
                                                       nuint16 searchType, nuint32* objectID, char* objectName,
                                                       nuint16* objectType, nuint8* hasPropertiesFlag,
                                                       nuint8* objectFlags, nuint8* objectSecurity) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (searchName == nullptr || objectID == nullptr) return INVALID_PARAMETER;
  const auto pattern = NameArg(searchName);
  if (!pattern || pattern->empty()) return NO_SUCH_OBJECT;
  const auto& bindery = c->server->bindery;
  std::size_t from = 0;
  if (*objectID != kScanStart) {
    while (from < bindery.size() && bindery[from]->id != *objectID) ++from;
    if (from == bindery.size()) return NO_SUCH_OBJECT;  // the scan's last object is gone
    ++from;
  }
  for (std::size_t i = from; i < bindery.size(); ++i) {
    const BinderyObject& o = *bindery[i];
    if (searchType != OT_WILD && o.type != searchType) continue;
    if (!WildMatch(*pattern, o.name) || !Visible(*c, &o)) continue;
    if (objectName != nullptr && !PutText(objectName, NW_MAX_BINDERY_NAME, o.name)) continue;
    *objectID = o.id;
    if (objectType != nullptr) *objectType = o.type;
    if (hasPropertiesFlag != nullptr) *hasPropertiesFlag = o.properties.empty() ? 0 : 0xFF;
    if (objectFlags != nullptr) *objectFlags = o.flags;
    if (objectSecurity != nullptr) *objectSecurity = o.security;
    return SUCCESSFUL;
  }
  return NO_SUCH_OBJECT;
}

// Segment `segmentNumber` (from 1) of a property, 128 bytes; moreSegments is
// 0xFF while further segments follow.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWReadPropertyValue(NWCONN_HANDLE conn, const char* objectName,
                                                              nuint16 objectType, const char* propertyName,
                                                              nuint8 segmentNumber, nuint8* segmentData,
                                                              nuint8* moreSegments, nuint8* flags) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (objectName == nullptr || propertyName == nullptr || segmentData == nullptr) return INVALID_PARAMETER;
  const auto name = NameArg(objectName);
  if (!name || name->empty()) return NO_SUCH_OBJECT;
  const auto property = NameArg(propertyName, kPropertyNameRoom);
  if (HasWildcard(*name) || (property && HasWildcard(*property))) return kWildcardNotAllowed;
  const BinderyObject* o = Visible(*c, c->server->FindObject(*name, objectType));
  if (o == nullptr) return NO_SUCH_OBJECT;
  const BinderyProperty* p = property ? o->FindProperty(*property) : nullptr;
  if (p == nullptr) return NO_SUCH_PROPERTY;
  if (!MayRead(*c, p->security, o->id)) return NO_PROPERTY_READ_PRIVILEGE;
  const std::size_t segments = p->Segments();
  if (segmentNumber == 0 || segmentNumber > segments) return kNoSuchSegment;
  const std::size_t at = (segmentNumber - 1u) * kSegment;
  std::memset(segmentData, 0, kSegment);
  std::memcpy(segmentData, p->data.data() + at, std::min(kSegment, p->data.size() - at));
  if (moreSegments != nullptr) *moreSegments = segmentNumber < segments ? 0xFF : 0;
  if (flags != nullptr) *flags = p->flags;
  return SUCCESSFUL;
}
