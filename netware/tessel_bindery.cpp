// Bindery objects and properties: IDs and names, object types, the objects
// of one type and an object's full name, with the directory as fallback.
#include <cstdio>
#include <new>

#include "common/nwtext.h"
#include "netware/nwnds.h"
#include "netware/tessel.h"
#include "netware/tessel_entries.h"
#include "util/nwtools.h"

using namespace tessel;

namespace {
// Bindery types in the order a name is probed: print servers before file servers.
constexpr uint16_t kProbeOrder[] = {
    OT_USER,         OT_USER_GROUP,     OT_PRINT_QUEUE,     OT_PRINT_SERVER,         OT_FILE_SERVER,
    OT_JOB_SERVER,   OT_GATEWAY,        OT_ARCHIVE_QUEUE,   OT_ARCHIVE_SERVER,       OT_JOB_QUEUE,
    OT_ADMINISTRATION, OT_NAS_SNA_GATEWAY, OT_REMOTE_BRIDGE_SERVER, OT_TCPIP_GATEWAY,
};

constexpr nuint32 kScanStart = 0xFFFFFFFF;
constexpr std::size_t kObjectNameArea = 50;  // NWGetObjectName's name area
constexpr std::size_t kSegmentSize = 128;

// Hexadecimal, upper case, without leading zeros ("0" for 0).
std::string HexWithoutLeadingZeros(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}
}  // namespace

uint32_t ObjectIDByName(NWCONN_HANDLE &conn, const std::string &name, uint16_t type) {
  if (!NWGetObjectID.Bind()) return 0;
  if (conn == 0) conn = PrimaryConnection();
  // A name too long for the bindery is not a bindery object; the directory
  // may still know it.
  char area[NW_MAX_BINDERY_NAME];
  if (!BinderyNameArea(name, area)) return DirectoryFallback ? DSObjectIDByName(conn, name) : 0;
  nuint32 id = 0;
  CallsLastResult = NWGetObjectID(conn, area, type, &id);
  if (CallsLastResult == 0) return id;
  if (DirectoryFallback) return DSObjectIDByName(conn, name);
  CallsLastError = CallsLastResult;
  return 0;
}

std::string ObjectIDText(NWCONN_HANDLE conn, const std::string &name, uint16_t type) {
  if (DirectoryFallback) {
    std::string text = DSObjectIDText(conn, name);
    if (text != "0") return text;
  }
  if (!NWGetObjectID.Bind()) return "0";
  conn = OrPrimary(conn);
  char area[NW_MAX_BINDERY_NAME];
  nuint32 id = 0;
  if (!BinderyNameArea(name, area) || NWGetObjectID(conn, area, type, &id) != 0) return "0";
  return HexWithoutLeadingZeros(SwapLong(id));
}

std::string ObjectNameByID(NWCONN_HANDLE conn, uint32_t id) {
  std::string name;
  if (!NWGetObjectName.Bind()) return name;
  conn = OrPrimary(conn);
  char area[kObjectNameArea] = {};
  nuint16 type = 0;
  if (CallsRecord(NWGetObjectName(conn, id, area, &type))) name = nwlib::TextOfArea(area);
  if (name.empty() && DirectoryFallback) name = DSObjectNameByID(conn, id);
  return name;
}

uint32_t SwapLong(uint32_t value) { return NWLongSwap.Bind() ? NWLongSwap(value) : 0; }

uint16_t BinderyTypeOf(NWCONN_HANDLE conn, const std::string &name) {
  if (conn == 0) conn = PrimaryConnection();
  for (uint16_t type : kProbeOrder) {
    if (ObjectIDByName(conn, name, type) != 0) return type;
  }
  return 0;
}

TNWObjList BinderyObjectList(NWCONN_HANDLE conn, uint16_t type) {
  TNWObjList objects;
  if (!NWScanObject.Bind()) return objects;
  conn = OrPrimary(conn);
  char pattern[NW_MAX_BINDERY_NAME] = "*";
  nuint32 id = kScanStart;
  char name[NW_MAX_BINDERY_NAME] = {};
  nuint16 objectType = 0;
  nuint8 hasProperties = 0, flags = 0, security = 0;
  // The client advances the scan through the object ID.
  while (NWScanObject(conn, pattern, type, &id, name, &objectType, &hasProperties, &flags, &security) == 0) {
    try {
      objects.push_back({nwlib::TextOfArea(name), id});
    } catch (const std::bad_alloc &) {
      break;
    }
  }
  return objects;
}

void ObjectFullName(NWCONN_HANDLE conn, const std::string &name, std::string &text) {
  if (DirectoryFallback && ReadAttrString("", name, dsaFullName, text)) return;
  text = nwtext::UpperAscii(TrimBoth(name));
  if (!NWReadPropertyValue.Bind()) return;
  conn = OrPrimary(conn);
  char object[NW_MAX_BINDERY_NAME];
  char property[NW_MAX_BINDERY_NAME] = "IDENTIFICATION";
  if (!nwlib::CopyToArea(text, object)) return;
  const uint16_t type = BinderyTypeOf(conn, name);
  nuint8 segment[kSegmentSize] = {};
  nuint8 moreSegments = 0, propertyFlags = 0;
  if (NWReadPropertyValue(conn, object, type, property, 1, segment, &moreSegments, &propertyFlags) == 0) {
    text = nwlib::TextOfArea(reinterpret_cast<const char *>(segment), sizeof segment);
  }
}
