// Print queues through the client's exported entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "calls_test_util.h"

using namespace nwc;
using nwctest::CallsTest;

namespace {

class CallsQueues : public CallsTest {
 protected:
  void SetUp() override {
    CallsTest::SetUp();
    fs1 = ConnTo("ACME-FS1");
    server = Net().FindServer("ACME-FS1");
    queue = server->FindObject("Q-SALES", OT_PRINT_QUEUE)->id;
    jobs = server->Jobs(queue);
  }
  NWCONN_HANDLE fs1 = 0;
  Server* server = nullptr;
  nuint32 queue = 0;
  std::vector<QueueJob>* jobs = nullptr;
};

}  // namespace

TEST_F(CallsQueues, JobListInBatchesFromAStartPosition) {
  ASSERT_NE(jobs, nullptr);
  ASSERT_EQ(jobs->size(), 130u);
  auto list = NW(NWGetQueueJobList2);
  QueueJobListReply reply;
  std::memset(&reply, 0xEE, sizeof reply);
  ASSERT_EQ(list(fs1, queue, 1, &reply), 0);
  EXPECT_EQ(reply.totalQueueJobs, 130u);
  ASSERT_EQ(reply.replyQueueJobNumbers, 125u);  // what one reply carries
  for (int i = 0; i < 125; ++i) EXPECT_EQ(reply.jobNumberList[i], (*jobs)[i].number) << i;

  ASSERT_EQ(list(fs1, queue, 126, &reply), 0);
  EXPECT_EQ(reply.totalQueueJobs, 130u);
  ASSERT_EQ(reply.replyQueueJobNumbers, 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(reply.jobNumberList[i], (*jobs)[125 + i].number) << i;
  ASSERT_EQ(list(fs1, queue, 131, &reply), 0);
  EXPECT_EQ(reply.replyQueueJobNumbers, 0u);

  EXPECT_EQ(list(fs1, IdFromDisplay(0x7777777), 1, &reply), NO_QUEUE);
  const nuint32 user = server->FindObject("JSMITH", OT_USER)->id;
  EXPECT_EQ(list(fs1, user, 1, &reply), NO_QUEUE);
  EXPECT_EQ(list(0, queue, 1, &reply), INVALID_CONNECTION);
}

TEST_F(CallsQueues, JobRecordAtItsOffsets) {
  const QueueJob& first = jobs->front();
  unsigned char record[sizeof(NWQueueJobStruct) + 4];
  std::memset(record, 0xEE, sizeof record);
  ASSERT_EQ(NW(NWReadQueueJobEntry2)(fs1, queue, first.number, reinterpret_cast<NWQueueJobStruct*>(record)), 0);
  nuint32 station = 0, client = 0, number = 0, servicing = 0;
  nuint16 flags = 0;
  std::memcpy(&station, record, 4);
  std::memcpy(&client, record + 8, 4);
  std::memcpy(&number, record + 28, 4);
  std::memcpy(&flags, record + 36, 2);
  std::memcpy(&servicing, record + 64, 4);
  EXPECT_EQ(station, first.clientStation);
  EXPECT_EQ(client, first.clientId);
  EXPECT_EQ(number, first.number);
  EXPECT_EQ(flags, first.controlFlags);
  EXPECT_EQ(servicing, first.servicingServerId);
  EXPECT_NE(servicing, 0u);  // the demo's first job is being printed
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record + 68)), first.description);
  EXPECT_EQ(record[272], 0xEE);
  const auto* job = reinterpret_cast<const NWQueueJobStruct*>(record);
  EXPECT_EQ(job->jobPosition, 1);
  EXPECT_EQ(std::string(job->jobFileName), first.fileName);

  const QueueJob& last = jobs->back();
  NWQueueJobStruct entry{};
  ASSERT_EQ(NW(NWReadQueueJobEntry2)(fs1, queue, last.number, &entry), 0);
  EXPECT_EQ(entry.jobPosition, 130);
  EXPECT_EQ(NW(NWReadQueueJobEntry2)(fs1, queue, 0xFFFFFFFF, &entry), NO_QUEUE_JOB);
  EXPECT_EQ(NW(NWReadQueueJobEntry2)(fs1, IdFromDisplay(0x7777777), first.number, &entry), NO_QUEUE);
}
