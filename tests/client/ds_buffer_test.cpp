// Directory buffers through the exported entry points, and the entry points
// that would change the directory.
#include "ds_client.h"

using namespace dstest;
using nwctest::DemoNetworkTest;

namespace {
using DsBuffers = DemoNetworkTest;
constexpr nuint32 kDsvAddEntry = 7;
constexpr nuint32 kDsvModifyEntry = 9;
}  // namespace

TEST_F(DsBuffers, AllocationAndRelease) {
  ASSERT_TRUE(Ds().ready) << dlerror();
  pBuf_T buf = nullptr;
  EXPECT_EQ(Ds().NWDSAllocBuf(NW_DEFAULT_BUFFER_SIZE, nullptr), ERR_NULL_POINTER);
  EXPECT_EQ(Ds().NWDSAllocBuf(0, &buf), ERR_BUFFER_ZERO_LENGTH);
  EXPECT_EQ(buf, nullptr);
  EXPECT_EQ(Ds().NWDSAllocBuf(64 * 1024 + 1, &buf), ERR_NOT_ENOUGH_MEMORY);
  ASSERT_EQ(Ds().NWDSAllocBuf(64 * 1024, &buf), 0);
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(Ds().NWDSFreeBuf(buf), 0);
  // A released or foreign buffer is not one of the client's any more.
  EXPECT_EQ(Ds().NWDSFreeBuf(buf), ERR_INVALID_HANDLE);
  EXPECT_EQ(Ds().NWDSFreeBuf(nullptr), ERR_NULL_POINTER);
  Context ctx;
  EXPECT_EQ(Ds().NWDSInitBuf(ctx, DSV_READ, buf), ERR_INVALID_HANDLE);
}

TEST_F(DsBuffers, RequestsHoldWhatFitsAndNoMore) {
  ASSERT_TRUE(Ds().ready);
  Context ctx;
  Buffer small(64);
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, small, "Full Name"), ERR_BAD_VERB);  // not prepared
  EXPECT_EQ(Ds().NWDSInitBuf(ctx, 12345, small), ERR_BAD_VERB);
  EXPECT_EQ(Ds().NWDSInitBuf(0x7FFFFFF0, DSV_READ, small), ERR_BAD_CONTEXT);
  ASSERT_EQ(Ds().NWDSInitBuf(ctx, DSV_READ, small), 0);
  // Each name takes a length word, its text and terminator; 64 bytes hold
  // the count and four 9-character names.
  int put = 0;
  NWDSCCODE code = 0;
  while ((code = Ds().NWDSPutAttrName(ctx, small, "Full Name")) == 0 && put < 100) ++put;
  EXPECT_EQ(code, ERR_BUFFER_FULL);
  EXPECT_EQ(put, 4);

  // The exact bound: a buffer of the count word and one name holds it, a
  // byte less does not.
  const std::string name = "Full Name";
  const size_t exact = 4 + (4 + name.size() + 1);
  Buffer fits(exact);
  ASSERT_EQ(Ds().NWDSInitBuf(ctx, DSV_READ, fits), 0);
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, fits, name.c_str()), 0);
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, fits, "A"), ERR_BUFFER_FULL);
  Buffer oneShort(exact - 1);
  ASSERT_EQ(Ds().NWDSInitBuf(ctx, DSV_READ, oneShort), 0);
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, oneShort, name.c_str()), ERR_BUFFER_FULL);

  // A name longer than the whole buffer is refused without being read to
  // its end; the request stays usable.
  ASSERT_EQ(Ds().NWDSInitBuf(ctx, DSV_READ, small), 0);
  std::vector<char> huge(100, 'N');
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, small, huge.data()), ERR_BUFFER_FULL);
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, small, "Full Name"), 0);
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, small, nullptr), ERR_NULL_POINTER);

  // The request reads what was put in it.
  Context acme("O=ACME");
  Buffer reply;
  nint32 iteration = NO_MORE_ITERATIONS;
  ASSERT_EQ(Ds().NWDSRead(acme, "CN=ADMIN", DS_ATTRIBUTE_VALUES, 0, small, &iteration, reply), 0);
  nuint32 count = 0;
  ASSERT_EQ(Ds().NWDSGetAttrCount(acme, reply, &count), 0);
  EXPECT_EQ(count, 1u);
}

TEST_F(DsBuffers, ChangesAreRefusedWithoutAccess) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  Buffer read;
  Buffer modify;
  Buffer add;
  ASSERT_EQ(Ds().NWDSInitBuf(acme, DSV_READ, read), 0);
  ASSERT_EQ(Ds().NWDSInitBuf(acme, kDsvModifyEntry, modify), 0);
  ASSERT_EQ(Ds().NWDSInitBuf(acme, kDsvAddEntry, add), 0);
  char value[] = "Someone Else";
  // Values and changes only go into requests that take them.
  EXPECT_EQ(Ds().NWDSPutAttrVal(acme, read, SYN_CI_STRING, value), ERR_BAD_VERB);
  EXPECT_EQ(Ds().NWDSPutChange(acme, read, 0, "Full Name"), ERR_BAD_VERB);
  EXPECT_EQ(Ds().NWDSPutAttrName(acme, modify, "Full Name"), ERR_BAD_VERB);
  ASSERT_EQ(Ds().NWDSPutChange(acme, modify, 5, "Full Name"), 0);
  ASSERT_EQ(Ds().NWDSPutAttrVal(acme, modify, SYN_CI_STRING, value), 0);
  EXPECT_EQ(Ds().NWDSPutAttrVal(acme, modify, 999, value), ERR_NO_SUCH_SYNTAX);
  ASSERT_EQ(Ds().NWDSPutAttrName(acme, add, "Surname"), 0);
  ASSERT_EQ(Ds().NWDSPutAttrVal(acme, add, SYN_CI_STRING, value), 0);

  nint32 iteration = NO_MORE_ITERATIONS;
  EXPECT_EQ(Ds().NWDSModifyObject(acme, "CN=ADMIN", &iteration, 0, modify), ERR_NO_ACCESS);
  EXPECT_EQ(Ds().NWDSModifyObject(acme, "CN=NOBODY", &iteration, 0, modify), ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(Ds().NWDSModifyObject(acme, "CN=ADMIN", &iteration, 0, read), ERR_BAD_VERB);
  EXPECT_EQ(Ds().NWDSAddObject(acme, "CN=NEWUSER.OU=SALES", &iteration, 0, add), ERR_NO_ACCESS);
  EXPECT_EQ(Ds().NWDSAddObject(acme, "CN=NEWUSER.OU=NOWHERE", &iteration, 0, add), ERR_NO_SUCH_PARENT);
  EXPECT_EQ(Ds().NWDSRemoveObject(acme, "CN=TEMP.OU=SALES"), ERR_NO_ACCESS);
  EXPECT_EQ(Ds().NWDSRemoveObject(acme, "CN=NOBODY"), ERR_NO_SUCH_ENTRY);
  EXPECT_NE(ModelEntry("CN=TEMP.OU=SALES.O=ACME"), nullptr);

  // The full name is as it was.
  Reading full = ReadValues(acme, "CN=ADMIN", "Full Name");
  EXPECT_EQ(Texts(full), std::vector<std::string>{"Network Administrator"});
}
