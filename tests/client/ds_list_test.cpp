// Listing subordinates through the exported entry points, over real reply
// buffers that hold only what fits.
#include <set>

#include "ds_client.h"

using namespace dstest;
using nwctest::DemoNetworkTest;

namespace {

using DsList = DemoNetworkTest;

std::vector<std::string> ModelChildren(const std::string& container, bool typeless) {
  std::vector<std::string> out;
  const nwc::DirEntry* e = ModelEntry(container);
  if (e == nullptr) return out;
  for (const auto& child : e->Children()) {
    nwc::DName leaf;
    leaf.parts.push_back(child->rdn);
    out.push_back(nwc::FormatName(leaf, typeless));
  }
  return out;
}

std::vector<std::string> Names(const Listing& l) {
  std::vector<std::string> out;
  for (const Listed& o : l.objects) out.push_back(o.name);
  return out;
}

}  // namespace

TEST_F(DsList, RootAndContainersGiveTheirSubordinatesWithClasses) {
  ASSERT_TRUE(Ds().ready) << dlerror();
  Context root("[Root]");
  Listing top = ListAll(root, "");
  ASSERT_EQ(top.code, 0);
  EXPECT_EQ(Names(top), ModelChildren("[Root]", false));
  ASSERT_EQ(top.objects.size(), 2u);
  EXPECT_EQ(top.objects[0].name, "C=US");
  EXPECT_EQ(top.objects[0].baseClass, "Country");
  EXPECT_EQ(top.objects[1].name, "O=ACME");
  EXPECT_EQ(top.objects[1].baseClass, "Organization");
  EXPECT_NE(top.objects[1].flags & nwc::kEntryContainer, 0u);

  // A container named relative to the context; subordinates come back by
  // their own part of the name.
  Context acme("O=ACME");
  Listing sales = ListAll(acme, "OU=SALES");
  ASSERT_EQ(sales.code, 0);
  EXPECT_EQ(Names(sales), ModelChildren("OU=SALES.O=ACME", false));
  for (const Listed& o : sales.objects) {
    const nwc::DirEntry* e = ModelEntry(o.name + ".OU=SALES.O=ACME");
    ASSERT_NE(e, nullptr) << o.name;
    EXPECT_EQ(o.baseClass, e->baseClass) << o.name;
  }

  // Typeless names when the context asks for them.
  Context typeless("O=ACME", DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES);
  EXPECT_EQ(Names(ListAll(typeless, "SALES")), ModelChildren("OU=SALES.O=ACME", true));
}

TEST_F(DsList, LargeContainerComesWholeAndInOrderOverSeveralReplies) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  const std::vector<std::string> expected = ModelChildren("OU=STAFF.O=ACME", false);
  ASSERT_GE(expected.size(), 100u);

  Listing staff = ListAll(acme, "OU=STAFF");
  ASSERT_EQ(staff.code, 0);
  EXPECT_EQ(Names(staff), expected);
  EXPECT_GT(staff.perReply.size(), 1u) << "a 4096-byte reply cannot hold every user";
  for (nuint32 n : staff.perReply) EXPECT_LT(n, expected.size());
  for (const Listed& o : staff.objects) EXPECT_EQ(o.baseClass, "User");

  // Smaller replies take more calls and give the same listing.
  Listing small = ListAll(acme, "OU=STAFF", 512);
  ASSERT_EQ(small.code, 0);
  EXPECT_EQ(Names(small), expected);
  EXPECT_GT(small.perReply.size(), staff.perReply.size());
}

TEST_F(DsList, ReplyTooSmallForOneObjectIsRefused) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  Buffer tiny(64);
  nint32 iteration = NO_MORE_ITERATIONS;
  EXPECT_EQ(Ds().NWDSList(acme, "OU=SALES", &iteration, tiny), ERR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(iteration, NO_MORE_ITERATIONS);
}

TEST_F(DsList, IterationHandlesAreCheckedAndNeverReused) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  Buffer reply;
  nint32 staff = NO_MORE_ITERATIONS;
  ASSERT_EQ(Ds().NWDSList(acme, "OU=STAFF", &staff, reply), 0);
  ASSERT_NE(staff, NO_MORE_ITERATIONS);
  nuint32 first = 0;
  ASSERT_EQ(Ds().NWDSGetObjectCount(acme, reply, &first), 0);

  // Another container's request cannot take the handle over, and the handle
  // still continues its own listing afterwards.
  nint32 borrowed = staff;
  EXPECT_EQ(Ds().NWDSList(acme, "OU=SALES", &borrowed, reply), ERR_INVALID_ITERATION);
  nint32 unknown = 0x7FFF1234;
  EXPECT_EQ(Ds().NWDSList(acme, "OU=STAFF", &unknown, reply), ERR_INVALID_ITERATION);

  std::set<std::string> seen;
  nuint32 total = first;
  nint32 iteration = staff;
  while (iteration != NO_MORE_ITERATIONS) {
    ASSERT_EQ(Ds().NWDSList(acme, "OU=STAFF", &iteration, reply), 0);
    nuint32 count = 0;
    ASSERT_EQ(Ds().NWDSGetObjectCount(acme, reply, &count), 0);
    total += count;
  }
  EXPECT_EQ(total, ModelChildren("OU=STAFF.O=ACME", false).size());
  // A finished iteration is gone.
  nint32 stale = staff;
  EXPECT_EQ(Ds().NWDSList(acme, "OU=STAFF", &stale, reply), ERR_INVALID_ITERATION);
}

TEST_F(DsList, TwoListingsOpenAtOnceEachComeWhole) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  const std::vector<std::string> expected = ModelChildren("OU=STAFF.O=ACME", false);
  // Small replies: each listing takes many calls, taken in turns.
  Buffer replyA(512);
  Buffer replyB(512);
  nint32 a = NO_MORE_ITERATIONS;
  nint32 b = NO_MORE_ITERATIONS;
  std::vector<std::string> gotA, gotB;
  auto step = [&](nint32* iteration, pBuf_T reply, std::vector<std::string>* got) {
    ASSERT_EQ(Ds().NWDSList(acme, "OU=STAFF", iteration, reply), 0);
    nuint32 count = 0;
    ASSERT_EQ(Ds().NWDSGetObjectCount(acme, reply, &count), 0);
    for (nuint32 i = 0; i < count; ++i) {
      char name[MAX_DN_BYTES];
      nuint32 attrs = 0;
      Object_Info_T info;
      ASSERT_EQ(Ds().NWDSGetObjectName(acme, reply, name, &attrs, &info), 0);
      got->push_back(name);
    }
  };
  step(&a, replyA, &gotA);
  step(&b, replyB, &gotB);
  ASSERT_NE(a, NO_MORE_ITERATIONS);
  ASSERT_NE(b, NO_MORE_ITERATIONS);
  int guard = 0;
  while ((a != NO_MORE_ITERATIONS || b != NO_MORE_ITERATIONS) && ++guard < 1000) {
    // Two open listings never share a handle.
    if (a != NO_MORE_ITERATIONS && b != NO_MORE_ITERATIONS) {
      ASSERT_NE(a, b);
    }
    if (a != NO_MORE_ITERATIONS) step(&a, replyA, &gotA);
    if (b != NO_MORE_ITERATIONS) step(&b, replyB, &gotB);
  }
  EXPECT_EQ(gotA, expected);
  EXPECT_EQ(gotB, expected);
}

TEST_F(DsList, LeavesUnknownNamesAndAliases) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  Listing leaf = ListAll(acme, "CN=ADMIN");
  EXPECT_EQ(leaf.code, 0);
  EXPECT_TRUE(leaf.objects.empty());
  EXPECT_EQ(ListAll(acme, "OU=NOWHERE").code, ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(ListAll(acme, "CN=X.OU=NOWHERE").code, ERR_NO_SUCH_ENTRY);

  // The alias JOHN shows its own class, or that of the user it names when
  // the context dereferences base classes.
  auto classOf = [](const Listing& l, const std::string& name) {
    for (const Listed& o : l.objects) {
      if (o.name == name) return o.baseClass;
    }
    return std::string("<missing>");
  };
  Listing plain = ListAll(acme, "OU=ENGINEERING");
  EXPECT_EQ(classOf(plain, "CN=JOHN"), "Alias");
  Context deref("O=ACME", DCV_DEFAULT_FLAGS | DCV_DEREF_BASE_CLASS);
  EXPECT_EQ(classOf(ListAll(deref, "OU=ENGINEERING"), "CN=JOHN"), "User");
}

TEST_F(DsList, ReplyIsTakenApartInOrderAndOnlyOnce) {
  ASSERT_TRUE(Ds().ready);
  Context root("[Root]");
  Buffer reply;
  nint32 iteration = NO_MORE_ITERATIONS;
  char name[MAX_DN_BYTES];
  Object_Info_T info;
  nuint32 attrs = 0;
  nuint32 count = 0;
  // Nothing to take before a listing filled the buffer.
  EXPECT_EQ(Ds().NWDSGetObjectCount(root, reply, &count), ERR_BAD_VERB);
  ASSERT_EQ(Ds().NWDSList(root, "[Root]", &iteration, reply), 0);
  EXPECT_EQ(iteration, NO_MORE_ITERATIONS);
  ASSERT_EQ(Ds().NWDSGetObjectCount(root, reply, &count), 0);
  ASSERT_EQ(count, 2u);
  for (nuint32 i = 0; i < count; ++i) EXPECT_EQ(Ds().NWDSGetObjectName(root, reply, name, &attrs, &info), 0);
  EXPECT_EQ(Ds().NWDSGetObjectName(root, reply, name, &attrs, &info), ERR_BUFFER_EMPTY);
  // A list reply has no attributes; bad handles are refused.
  EXPECT_EQ(Ds().NWDSGetAttrCount(root, reply, &attrs), ERR_BAD_VERB);
  EXPECT_EQ(Ds().NWDSGetObjectCount(root, nullptr, &count), ERR_NULL_POINTER);
  EXPECT_EQ(Ds().NWDSGetObjectCount(0x7FFFFFF0, reply, &count), ERR_BAD_CONTEXT);
  EXPECT_EQ(Ds().NWDSList(root, "[Root]", nullptr, reply), ERR_NULL_POINTER);
}
