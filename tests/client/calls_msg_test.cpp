// Broadcast messages through the client's exported entry points.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calls_test_util.h"

using namespace nwc;
using nwctest::CallsTest;

namespace {

using Numbers = std::vector<NWCONN_NUM>;

class CallsMessages : public CallsTest {
 protected:
  void SetUp() override {
    CallsTest::SetUp();
    fs1 = ConnTo("ACME-FS1");
    server = Net().FindServer("ACME-FS1");
    jsmith = server->ConnectionsOf(server->FindObject("JSMITH", OT_USER)->id);
  }
  NWCONN_HANDLE fs1 = 0;
  Server* server = nullptr;
  std::vector<std::uint16_t> jsmith;
};

}  // namespace

TEST_F(CallsMessages, ConnectionsOfAUserNeverBeyondTheRoomGiven) {
  ASSERT_EQ(jsmith.size(), 3u);
  NWCONN_NUM list[5] = {0, 0, 0, 0, 0x77};
  nuint16 count = 0;
  ASSERT_EQ(NW(NWGetObjectConnectionNumbers)(fs1, "JSMITH", OT_USER, &count, list, 4), 0);
  EXPECT_EQ(Numbers(list, list + count), Numbers(jsmith.begin(), jsmith.end()));
  ASSERT_EQ(NW(NWGetObjectConnectionNumbers)(fs1, "JSMITH", OT_USER, &count, list + 3, 1), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(list[4], 0x77);
  EXPECT_EQ(NW(NWGetObjectConnectionNumbers)(fs1, "NOBODY", OT_USER, &count, list, 4), NO_SUCH_OBJECT);
  EXPECT_EQ(count, 0);

  // By object ID, from a connection number on.
  const nuint32 id = server->FindObject("JSMITH", OT_USER)->id;
  ASSERT_EQ(NW(NWGetConnListFromObject)(fs1, id, 1, &count, list), 0);
  EXPECT_EQ(Numbers(list, list + count), Numbers(jsmith.begin(), jsmith.end()));
  ASSERT_EQ(NW(NWGetConnListFromObject)(fs1, id, jsmith[1], &count, list), 0);
  EXPECT_EQ(Numbers(list, list + count), Numbers(jsmith.begin() + 1, jsmith.end()));
  EXPECT_EQ(NW(NWGetConnListFromObject)(fs1, IdFromDisplay(0x7777777), 1, &count, list), NO_SUCH_OBJECT);
}

TEST_F(CallsMessages, EachStationAnswersForItself) {
  // Stations that take no user messages refuse; a free slot is no station.
  server->FindSlot(jsmith[0])->broadcastMode = NWCC_BCAST_PERMIT_NONE;
  server->FindSlot(jsmith[1])->broadcastMode = NWCC_BCAST_PERMIT_SYSTEM;
  server->FindSlot(jsmith[2])->broadcastMode = NWCC_BCAST_PERMIT_POLL;
  const NWCONN_NUM to[4] = {jsmith[0], jsmith[1], jsmith[2], 2};
  nuint16 results[4] = {9, 9, 9, 9};
  ASSERT_EQ(NW(NWSendBroadcastMessage)(fs1, "", 4, to, results), 0);
  EXPECT_EQ(results[0], 0xFC);
  EXPECT_EQ(results[1], 0xFC);
  EXPECT_EQ(results[2], 0);
  EXPECT_EQ(results[3], 0xFD);
  EXPECT_TRUE(server->FindSlot(jsmith[0])->messages.empty());
  ASSERT_EQ(server->FindSlot(jsmith[2])->messages.size(), 1u);
  EXPECT_EQ(server->FindSlot(jsmith[2])->messages.back(), "");
}

TEST_F(CallsMessages, MessageLengthAndOwnBroadcastMode) {
  // NetWare 3 carries 58 characters, later servers more.
  const std::string long60(60, 'm');
  NWCONN_NUM one[1] = {jsmith[0]};
  nuint16 result[1] = {9};
  ASSERT_EQ(NW(NWSendBroadcastMessage)(fs1, long60.c_str(), 1, one, result), 0);
  EXPECT_EQ(result[0], 0);
  const NWCONN_HANDLE nw3 = ConnTo("ACME-NW3");
  NWCONN_NUM bob[1] = {2};
  EXPECT_EQ(NW(NWSendBroadcastMessage)(nw3, long60.c_str(), 1, bob, result), NWE_INVALID_NCP_PACKET_LENGTH);
  const std::string long58(58, 'm');
  ASSERT_EQ(NW(NWSendBroadcastMessage)(nw3, long58.c_str(), 1, bob, result), 0);
  EXPECT_EQ(result[0], 0);

  // The workstation's own mode, as the connection information tells it.
  ASSERT_EQ(NW(NWSetBroadcastMode)(fs1, NWCC_BCAST_PERMIT_NONE), 0);
  nuint16 mode = 0;
  ASSERT_EQ(NW(NWCCGetConnInfo)(fs1, NWCC_INFO_BCAST_STATE, sizeof mode, &mode), 0);
  EXPECT_EQ(mode, NWCC_BCAST_PERMIT_NONE);
  NWCONN_NUM self[1] = {Net().workstation.FindConnection(fs1)->number};
  ASSERT_EQ(NW(NWSendBroadcastMessage)(fs1, "hi", 1, self, result), 0);
  EXPECT_EQ(result[0], 0xFC);
  EXPECT_EQ(NW(NWSetBroadcastMode)(fs1, 4), INVALID_PARAMETER);
  EXPECT_EQ(NW(NWSetBroadcastMode)(3, 0), INVALID_CONNECTION);
}
