#include "netware/nwprint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tessel_fixture.h"

namespace {

constexpr nuint32 kQueueID = 0x0300AA01;
constexpr nuint32 kOwnerID = 0x01000005;

// The queue LASER: its jobs in queue order, job numbers 1001, 1002, ...
std::vector<NWQueueJobStruct> jobs;
std::vector<nuint32> listStarts;   // start positions of the job-list calls
NWCCODE secondListCode;
nuint32 claimedFirst, claimedSecond;  // reply counts reported beyond the truth, when nonzero

NWQueueJobStruct Job(nuint16 flags, nuint32 servicing, const char *description, nuint32 owner = kOwnerID) {
  NWQueueJobStruct job{};
  job.clientStation = 5;
  job.clientID = owner;
  job.jobNumber = 1001 + static_cast<nuint32>(jobs.size());
  job.jobControlFlags = flags;
  job.servicingServerID = servicing;
  std::strncpy(job.jobDescription, description, sizeof job.jobDescription);
  return job;
}

void QueueJobs(std::size_t count) {
  jobs.clear();
  for (std::size_t i = 0; i < count; ++i) jobs.push_back(Job(0, 0, "job"));
}

class PrintQueueTest : public TesselTest {
 protected:
  PrintQueueTest() {
    jobs.clear();
    listStarts.clear();
    secondListCode = 0;
    claimedFirst = claimedSecond = 0;
    PrintLastResult = 0;
    PrintLastError = 0;
    FAKE(NWGetObjectID, [](NWCONN_HANDLE, const char *name, nuint16 type, nuint32 *id) -> NWCCODE {
      if (std::string(name) != "LASER" || type != OT_PRINT_QUEUE) return NO_SUCH_OBJECT;
      *id = kQueueID;
      return 0;
    });
    FAKE(NWGetObjectName, [](NWCONN_HANDLE, nuint32 id, char *name, nuint16 *) -> NWCCODE {
      if (id != kOwnerID) return NO_SUCH_OBJECT;
      std::strcpy(name, "USER1");
      return 0;
    });
    FAKE(NWGetQueueJobList2, [](NWCONN_HANDLE conn, nuint32 queue, nuint32 start, QueueJobListReply *reply)
                                 -> NWCCODE {
      listStarts.push_back(start);
      if (conn != kPrimary || queue != kQueueID) return NO_QUEUE;
      if (start > 1 && secondListCode != 0) return secondListCode;
      // At most 125 job numbers a reply, from the start position on.
      reply->totalQueueJobs = static_cast<nuint32>(jobs.size());
      nuint32 count = 0;
      for (std::size_t i = start - 1; i < jobs.size() && count < 125; ++i) {
        reply->jobNumberList[count++] = jobs[i].jobNumber;
      }
      const nuint32 claimed = start == 1 ? claimedFirst : claimedSecond;
      if (claimed != 0) {
        for (nuint32 i = count; i < 250; ++i) reply->jobNumberList[i] = 9000 + i;
        count = claimed;
      }
      reply->replyQueueJobNumbers = count;
      return 0;
    });
    FAKE(NWReadQueueJobEntry2, [](NWCONN_HANDLE, nuint32 queue, nuint32 number, NWQueueJobStruct *job)
                                   -> NWCCODE {
      if (queue != kQueueID) return NO_QUEUE;
      for (const NWQueueJobStruct &entry : jobs) {
        if (entry.jobNumber == number) {
          *job = entry;
          return 0;
        }
      }
      return NO_QUEUE_JOB;
    });
    Start();
  }
};

TEST_F(PrintQueueTest, EmptyQueue) {
  TNWObjList lines = {{"old", 1}};
  EXPECT_TRUE(ListQueueJobs(0, "laser", lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(listStarts, (std::vector<nuint32>{1}));
  EXPECT_EQ(TNWPrint().LastErrorText(), "0000");
}

TEST_F(PrintQueueTest, LongQueuesAreReadInTwoBatches) {
  QueueJobs(130);
  TNWObjList lines;
  EXPECT_TRUE(ListQueueJobs(0, "LASER", lines));
  EXPECT_EQ(listStarts, (std::vector<nuint32>{1, 126}));
  ASSERT_EQ(lines.size(), 130u);
  EXPECT_EQ(lines[125].value, 1126u);
  EXPECT_EQ(lines.back().value, 1130u);

  QueueJobs(250);
  EXPECT_TRUE(ListQueueJobs(0, "LASER", lines));
  ASSERT_EQ(lines.size(), 250u);
  EXPECT_EQ(lines.back().value, 1250u);

  QueueJobs(300);  // only the first 250 positions
  EXPECT_TRUE(ListQueueJobs(0, "LASER", lines));
  EXPECT_EQ(lines.size(), 250u);
}

TEST_F(PrintQueueTest, RepliesNeverFillPastTheLastSlot) {
  QueueJobs(130);
  claimedFirst = 400;  // more than the reply's own list
  claimedSecond = 200; // more than the 125 slots left
  TNWJobNumbers numbers;
  EXPECT_TRUE(ReadQueueJobNumbers(0, "LASER", numbers));
  EXPECT_EQ(numbers[0], 1001u);
  EXPECT_EQ(numbers[125], 1126u);  // the second reply from slot 125 on
  EXPECT_EQ(numbers[129], 1130u);
  EXPECT_EQ(numbers[249], 9000u + 124);  // slot 249 is the second reply's 125th number
}

TEST_F(PrintQueueTest, EmptySlotsHoldNoJob) {
  QueueJobs(3);
  TNWJobNumbers numbers;
  numbers.fill(0);
  EXPECT_TRUE(ReadQueueJobNumbers(0, "LASER", numbers));
  EXPECT_EQ(numbers[2], 1003u);
  EXPECT_EQ(numbers[3], 0xFFFFFFFFu);
  EXPECT_EQ(numbers[249], 0xFFFFFFFFu);
}

TEST_F(PrintQueueTest, JobLinesWithTheirStatus) {
  jobs.clear();
  jobs.push_back(Job(QF_USER_HOLD | QF_OPERATOR_HOLD, 0, "held twice"));
  jobs.push_back(Job(QF_OPERATOR_HOLD, 0x0400AA01, "operator"));
  jobs.push_back(Job(QF_ENTRY_RESTART, 0, "adding"));
  jobs.push_back(Job(QF_ENTRY_OPEN, 0x0400AA01, "open"));
  jobs.push_back(Job(QF_AUTO_START, 0x0400AA01, "printing"));
  jobs.push_back(Job(0, 0, "waiting", 0x01000099));
  jobs.push_back(Job(0x0100, 0, std::string(50, 'D').c_str()));  // high flag byte is not tested
  TNWObjList lines;
  EXPECT_TRUE(ListQueueJobs(0, "LASER", lines));
  const TNWObjList expected = {
      {"USER1[5]\tPaused\theld twice", 1001}, {"USER1[5]\tOperator\toperator", 1002},
      {"USER1[5]\tAdding\tadding", 1003},     {"USER1[5]\tAdding\topen", 1004},
      {"USER1[5]\tActive\tprinting", 1005},   {"[5]\tWaiting\twaiting", 1006},
      {"USER1[5]\tWaiting\t" + std::string(50, 'D'), 1007},
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(PrintQueueTest, FailuresOfTheQueue) {
  TNWObjList lines = {{"old", 1}};
  EXPECT_FALSE(ListQueueJobs(0, "NOQUEUE", lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(listStarts.empty());
  EXPECT_EQ(PrintLastError, 0);
  EXPECT_EQ(CallsLastError, NO_SUCH_OBJECT);

  TNWJobNumbers numbers;
  EXPECT_FALSE(ReadQueueJobNumbers(0x9999, "LASER", numbers));
  EXPECT_EQ(TNWPrint().LastErrorText(), "89D1");

  QueueJobs(130);
  secondListCode = NO_QUEUE_RIGHTS;
  PrintLastError = 0;
  EXPECT_TRUE(ListQueueJobs(0, "LASER", lines));
  EXPECT_EQ(lines.size(), 125u);
  EXPECT_EQ(PrintLastError, 0);

  client.Without("NWReadQueueJobEntry2");
  nwlib::ForgetAllEntries();
  lines = {{"old", 1}};
  EXPECT_FALSE(ListQueueJobs(0, "LASER", lines));
  EXPECT_EQ(lines.size(), 1u);
}

}  // namespace
