// The print services over the real client and the demo network.
#include <gtest/gtest.h>

#include <string>

#include "real_client_fixture.h"

namespace {
using RealPrint = RealClientTest;
}  // namespace

TEST_F(RealPrint, QueueOf130JobsListsEveryJobInQueueOrder) {
  Start();
  TNWObjList lines;
  ASSERT_TRUE(ListQueueJobs(0, "Q-SALES", lines));
  nwc::Server *fs1 = Net().FindServer("ACME-FS1");
  const auto *jobs = fs1->Jobs(fs1->FindObject("Q-SALES", OT_PRINT_QUEUE)->id);
  ASSERT_EQ(jobs->size(), 130u);
  ASSERT_EQ(lines.size(), 130u);
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].value, (*jobs)[i].number) << i;
  EXPECT_EQ(lines[0].text, "MJONES[4]\tActive\tCustomer letters");
  EXPECT_EQ(lines[1].text, "JSMITH[3]\tPaused\tPrice list draft");
  EXPECT_EQ(lines[2].text, "JSMITH[7]\tWaiting\tQuarterly report part 1");
  EXPECT_EQ(lines[125].text, "JSMITH[7]\tWaiting\tQuarterly report part 124");  // from the second reply
  EXPECT_EQ(lines[129].text, "JSMITH[7]\tWaiting\tQuarterly report part 128");
  EXPECT_EQ(TNWPrint().LastErrorText(), "0000");
}

TEST_F(RealPrint, StatusWordsOfHeldOpenAndServicedJobs) {
  Start();
  TNWObjList lines;
  ASSERT_TRUE(ListQueueJobs(ConnTo("ACME-FS2"), "Q-ENG", lines));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].text, "AKUMAR[2]\tActive\tCircuit diagram");
  EXPECT_EQ(lines[1].text, "AKUMAR[2]\tPaused\tHeld by both");
  EXPECT_EQ(lines[2].text, "LCHEN[8]\tAdding\tStill spooling");
  EXPECT_EQ(lines[3].text, "LCHEN[8]\tOperator\tHeld by the operator");
  EXPECT_EQ(lines[4].text, "LCHEN[8]\tWaiting\tTest page");

  const NWCONN_HANDLE nw3 = ConnTo("ACME-NW3");
  ASSERT_TRUE(ListQueueJobs(nw3, "PRINTQ_0", lines));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].text, "BOB[2]\tActive\tInvoices");
  EXPECT_EQ(lines[1].text, "ALICE[3]\tWaiting\tLedger");
  EXPECT_EQ(lines[2].text, "ALICE[3]\tAdding\tPayroll");
  ASSERT_TRUE(ListQueueJobs(nw3, "PRINTQ_1", lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(ListQueueJobs(nw3, "NOQUEUE", lines));
}
