// Broadcast messages: a connection's broadcast mode, and one-line messages to
// every connection of a user.
#include <algorithm>

#include "netware/tessel.h"
#include "netware/tessel_entries.h"

using namespace tessel;

namespace {
constexpr nuint16 kConnListRoom = 50;     // entries the connection and result lists hold
constexpr nuint16 kFirstQueryRoom = 49;   // the capacity the first query is told
constexpr nuint16 kNoAnswer = 20000;      // counts above this are no answer at all
constexpr nuint16 kNotDelivered = 0xFFFF; // a result the client did not write
}  // namespace

uint16_t ReadBroadcastMode(NWCONN_HANDLE conn) {
  if (!NWCCGetConnInfo.Bind()) return 0;
  conn = OrPrimary(conn);
  nuint16 mode = 0;
  if (!CallsRecord(NWCCGetConnInfo(conn, NWCC_INFO_BCAST_STATE, sizeof mode, &mode))) return 0;
  return mode;
}

bool WriteBroadcastMode(NWCONN_HANDLE conn, uint16_t mode) {
  if (!NWSetBroadcastMode.Bind()) return false;
  conn = OrPrimary(conn);
  return CallsRecord(NWSetBroadcastMode(conn, mode));
}

bool SendLineMessage(NWCONN_HANDLE conn, const std::string &objectName, const std::string &message) {
  if (!NWGetObjectConnectionNumbers.Bind() || !NWSendBroadcastMessage.Bind()) return false;
  conn = OrPrimary(conn);
  // A name or message that does not fit whole is refused, never cut.
  char name[NW_MAX_BINDERY_NAME];
  char text[NW_MAX_MESSAGE];
  if (!BinderyNameArea(objectName, name) || !nwlib::CopyToArea(message, text)) return false;

  NWCONN_NUM connections[kConnListRoom] = {};
  nuint16 count = 0;
  NWGetObjectConnectionNumbers(conn, name, OT_USER, &count, connections, kFirstQueryRoom);
  if (count > kNoAnswer) count = 0;
  if (count == 0 && NWGetConnListFromObject.Bind()) {
    const uint32_t id = ObjectIDByName(conn, objectName, OT_USER);
    NWGetConnListFromObject(conn, id, 1, &count, connections);
  }
  // The second query is told no capacity: a larger count never reaches past the list.
  count = std::min(count, kConnListRoom);
  if (count == 0) return false;

  nuint16 results[kConnListRoom];
  std::fill(std::begin(results), std::end(results), kNotDelivered);
  NWSendBroadcastMessage(conn, text, count, connections, results);
  return std::any_of(results, results + count, [](nuint16 result) { return result == 0; });
}
