// Broadcast messages: the connections an object holds on a server, sending a
// one-line message to stations, and a connection's broadcast mode. A
// delivered message is kept on the receiving slot (Slot::messages).
#include <algorithm>

#include "calls_common.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::calls;

namespace {

// Connection numbers NWGetConnListFromObject writes at most; the call takes
// no capacity. A caller wanting more asks again from the last number + 1.
constexpr std::size_t kConnListFromObjectRoom = 50;

// Longest message a server takes: NetWare 3 carries 58 characters, later
// versions 255.
std::size_t MessageLimit(const Server& server) { return server.majorVersion < 4 ? 58 : 255; }

bool LoggedIn(const Connection& conn) {
  const Slot* slot = conn.ServerSlot();
  return slot != nullptr && slot->LoggedIn();
}

}  // namespace

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWSetBroadcastMode(NWCONN_HANDLE conn, nuint16 mode) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (mode > NWCC_BCAST_PERMIT_POLL) return INVALID_PARAMETER;
  Slot* slot = c->server->FindSlot(c->number);
  if (slot == nullptr) return INVALID_CONNECTION;
  slot->broadcastMode = mode;
  return SUCCESSFUL;
}

// The connection numbers a bindery object holds on the server, ascending,
// never more than maxConns of them.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetObjectConnectionNumbers(NWCONN_HANDLE conn, const char* objectName,
                                                                       nuint16 objectType, nuint16* numConns,
                                                                       NWCONN_NUM* connList, nuint16 maxConns) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (numConns == nullptr || objectName == nullptr || (connList == nullptr && maxConns != 0)) {
    return INVALID_PARAMETER;
  }
  *numConns = 0;
  const auto len = BoundedLength(objectName, NW_MAX_BINDERY_NAME);
  if (!len || *len == 0 || !LoggedIn(*c)) return NO_SUCH_OBJECT;
  const std::string_view name(objectName, *len);
  if (name.find_first_of("*?") != std::string_view::npos) return NO_SUCH_OBJECT;
  const BinderyObject* o = c->server->FindObject(name, objectType);
  if (o == nullptr) return NO_SUCH_OBJECT;
  const auto numbers = c->server->ConnectionsOf(o->id);
  const std::size_t count = std::min<std::size_t>(numbers.size(), maxConns);
  std::copy_n(numbers.begin(), count, connList);
  *numConns = static_cast<nuint16>(count);
  return SUCCESSFUL;
}

// The connections held by an object ID (a bindery object or a directory
// object logged in to the server), from connection number searchConnNum on,
// at most kConnListFromObjectRoom of them.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetConnListFromObject(NWCONN_HANDLE conn, nuint32 objectID,
                                                                  nuint32 searchConnNum, nuint16* connListLen,
                                                                  NWCONN_NUM* connList) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (connListLen == nullptr || connList == nullptr) return INVALID_PARAMETER;
  *connListLen = 0;
  if (!LoggedIn(*c)) return NO_SUCH_OBJECT;
  auto numbers = c->server->ConnectionsOf(objectID);
  if (numbers.empty() && c->server->FindObject(objectID) == nullptr) return NO_SUCH_OBJECT;
  std::erase_if(numbers, [&](std::uint16_t n) { return n < searchConnNum; });
  const std::size_t count = std::min(numbers.size(), kConnListFromObjectRoom);
  std::copy_n(numbers.begin(), count, connList);
  *connListLen = static_cast<nuint16>(count);
  return SUCCESSFUL;
}

// Sends a message to stations of the connection's server. Each station gets
// its own result: 0 delivered, 0xFC refused (its broadcast mode takes no user
// messages), 0xFD no station at that number.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWSendBroadcastMessage(NWCONN_HANDLE conn, const char* message,
                                                                 nuint16 connCount, const NWCONN_NUM* connList,
                                                                 nuint16* resultList) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (message == nullptr || (connCount != 0 && (connList == nullptr || resultList == nullptr))) {
    return INVALID_PARAMETER;
  }
  Server& server = *c->server;
  const auto len = BoundedLength(message, MessageLimit(server) + 1);
  if (!len) return NWE_INVALID_NCP_PACKET_LENGTH;
  const std::string text(message, *len);
  for (nuint16 i = 0; i < connCount; ++i) {
    Slot* slot = server.FindSlot(connList[i]);
    if (slot == nullptr || !slot->inUse) {
      resultList[i] = kNoSuchStation;
    } else if (slot->broadcastMode == NWCC_BCAST_PERMIT_NONE || slot->broadcastMode == NWCC_BCAST_PERMIT_SYSTEM) {
      resultList[i] = kMessageRejected;
    } else {
      slot->messages.push_back(text);
      resultList[i] = 0;
    }
  }
  return SUCCESSFUL;
}
