// The read side of the directory unit: listings, attribute values, streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "nwnds_fakeds.h"

using fakeds::Listed;
using fakeds::ReadReply;
using fakeds::S;

namespace {

std::string Z(const std::string &text) { return text + '\0'; }  // a text value with its terminator

// ---- streams ------------------------------------------------------------------------------

struct StreamCall {
  std::string object, attribute;
  nflag32 flags = 0;
  int handle = -1;
};
StreamCall streamCall;

NWDSCCODE OpenStream(NWDSContextHandle, const char *object, const char *attribute, nflag32 flags,
                     NWFILE_HANDLE *handle) {
  streamCall.object = object;
  streamCall.attribute = attribute;
  streamCall.flags = flags;
  if (streamCall.object == "CN=Nobody") return ERR_NO_SUCH_ENTRY;
  int ends[2];
  if (pipe(ends) != 0) return ERR_SYSTEM_ERROR;
  const char script[] = "MAP F:=SYS:\n";
  EXPECT_EQ(write(ends[1], script, sizeof script - 1), static_cast<ssize_t>(sizeof script - 1));
  close(ends[1]);
  *handle = streamCall.handle = ends[0];
  return 0;
}

class ReadTest : public DirectoryTest {
 protected:
  void SetUp() override {
    DirectoryTest::SetUp();
    REPLACE_ENTRY(client, NWDSOpenStream, &OpenStream);
    Construct();
    DSLastError = -5;
    DSLastResult = -5;
  }
};

// ---- ListSubordinates -------------------------------------------------------------------

TEST_F(ReadTest, SubordinatesOfSeveralRepliesInDeliveryOrder) {
  S.lists = {{{"CN=Ann", "User"}, {"CN=Broken", ""}, {"OU=Sales", "Organizational Unit"}}, {{"CN=Staff", "Group"}}};
  const TNWObjList list = ListSubordinates("", "O=Acme");
  const TNWObjList expected = {{"CN=Ann", dokUser}, {"OU=Sales", dokOrganizationalUnit}, {"CN=Staff", dokGroup}};
  EXPECT_EQ(list, expected);
  EXPECT_EQ(S.listedContainers, (std::vector<std::string>{"O=Acme", "O=Acme"}));
  EXPECT_EQ(DSLastResult, 0);
  EXPECT_EQ(DSLastError, -5);  // a skipped name is not recorded
  ExpectNothingHeld();
}

TEST_F(ReadTest, SubordinatesOnFailure) {
  S.lists = {{}};
  EXPECT_TRUE(ListSubordinates("", "").empty());
  EXPECT_EQ(DSLastError, -5);

  S.lists = {{{"CN=Ann", "User"}}, {{"CN=Bob", "User"}}};
  S.listFailsAt = 1;
  EXPECT_EQ(ListSubordinates("", ""), (TNWObjList{{"CN=Ann", dokUser}}));
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);

  S.objectCountCode = ERR_BUFFER_EMPTY;
  EXPECT_TRUE(ListSubordinates("", "").empty());
  EXPECT_EQ(DSLastError, ERR_BUFFER_EMPTY);
  ExpectNothingHeld();

  // A refused buffer or an over-long container name: no listing, nothing recorded.
  DSLastError = DSLastResult = -5;
  S.objectCountCode = 0;
  S.listedContainers.clear();
  const int duplicates = S.duplicates;
  S.allocFailsAt = S.allocs;
  EXPECT_TRUE(ListSubordinates("", "").empty());
  EXPECT_TRUE(ListSubordinates("", std::string(256, 'c')).empty());
  EXPECT_TRUE(S.listedContainers.empty());
  EXPECT_EQ(S.duplicates, duplicates);  // no working context was made
  EXPECT_EQ(DSLastError, -5);
  EXPECT_EQ(DSLastResult, -5);
  ExpectNothingHeld();
}

TEST_F(ReadTest, SubordinatesInANamedContext) {
  S.lists = {{{"CN=Ann", "User"}}};
  EXPECT_EQ(ListSubordinates("OU=Sales.O=Acme", "").size(), 1u);
  EXPECT_EQ(CurrentContextName(), "OU=Sales.O=Acme");
  ExpectNothingHeld();

  EXPECT_TRUE(ListSubordinates(std::string(128, 'c'), "").empty());
  EXPECT_EQ(S.listedContainers.size(), 1u);
  EXPECT_EQ(CurrentContextName(), "OU=Sales.O=Acme");
  ExpectNothingHeld();
}

// ---- ListTreeNames ---------------------------------------------------------------------

struct Scan {
  int calls = 0;
  bool argumentsOk = true;
};
Scan scan;

NWCCODE ScanTrees(NWCONN_HANDLE conn, const char *pattern, nuint16 type, nuint32 *id, char *name, nuint16 *objectType,
                  nuint8 *hasProperties, nuint8 *flags, nuint8 *security) {
  static const char *const kAdvertised[] = {
      "ACME___________________________x", "BETA_TREE", "acme", "  GAMMA  ___", "Beta", "LONGTREENAMEWITHOUTANYUNDERSCORE0123456789"};
  scan.argumentsOk = scan.argumentsOk && conn == 0x5A5A && std::strcmp(pattern, "*") == 0 && type == 0x7802 &&
                     objectType == nullptr && hasProperties == nullptr && flags == nullptr && security == nullptr;
  if (scan.calls == 0) scan.argumentsOk = scan.argumentsOk && *id == 0xFFFFFFFFu;
  if (scan.calls >= 6) return NO_SUCH_OBJECT;
  std::strcpy(name, kAdvertised[scan.calls++]);
  *id = 0x100u * static_cast<nuint32>(scan.calls);
  return 0;
}

TEST_F(ReadTest, TreeNamesAreCutAtTheirPaddingAndListedOnce) {
  REPLACE_ENTRY(client, NWScanObject, &ScanTrees);
  scan = Scan{};
  const TNWObjList expected = {
      {"ACME", 0x100}, {"BETA", 0x200}, {"GAMMA", 0x400}, {"LONGTREENAMEWITHOUTANYUNDERSCORE0", 0x600}};
  EXPECT_EQ(ListTreeNames(), expected);
  EXPECT_TRUE(scan.argumentsOk);
  EXPECT_EQ(DSLastError, NO_SUCH_OBJECT);  // the scan's end
  EXPECT_EQ(DSLastResult, NO_SUCH_OBJECT);
}

TEST_F(ReadTest, TreeNamesWithoutTheScanEntry) {
  client.Without("NWScanObject");
  EXPECT_TRUE(ListTreeNames().empty());
  EXPECT_TRUE(ListTreeNames().empty());
  EXPECT_EQ(DSLastError, -5);
  EXPECT_EQ(client.Lookups("NWScanObject"), 2);
}

// ---- typed readers ---------------------------------------------------------------------

TEST_F(ReadTest, StringValues) {
  std::string text = "untouched";
  S.reads = {{{Z("Ann Smith")}}};
  EXPECT_TRUE(ReadAttrString("", "CN=Ann", dsaFullName, text));
  EXPECT_EQ(text, "Ann Smith");
  EXPECT_EQ(S.putAttrName, "Full Name");
  EXPECT_EQ(S.readObjects.back(), "CN=Ann");

  S.reads = {{{Z("first")}}, {{Z("second")}}};
  EXPECT_TRUE(ReadAttrString("", "CN=Ann", dsaFullName, text));
  EXPECT_EQ(text, "second");

  S.reads = {{{Z(std::string(127, 'v'))}}};
  EXPECT_TRUE(ReadAttrString("", "CN=Ann", dsaFullName, text));
  EXPECT_EQ(text, std::string(127, 'v'));

  // A value larger than the text area is never written into it.
  text = "untouched";
  const int calls = S.getAttrValCalls;
  S.reads = {{{Z(std::string(128, 'v'))}}};
  EXPECT_FALSE(ReadAttrString("", "CN=Ann", dsaFullName, text));
  EXPECT_EQ(S.getAttrValCalls, calls);
  EXPECT_EQ(text, "untouched");

  S.reads.clear();
  EXPECT_FALSE(ReadAttrString("", "CN=Ann", dsaFullName, text));
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(text, "untouched");
  ExpectNothingHeld();
}

TEST_F(ReadTest, BooleanAndRawValues) {
  bool flag = false;
  S.reads = {{{std::string(1, '\1')}}};
  EXPECT_TRUE(ReadAttrBoolean("", "CN=Ann", dsaLoginDisabled, flag));
  EXPECT_TRUE(flag);
  S.reads = {{{std::string(1, '\2')}}};
  EXPECT_TRUE(ReadAttrBoolean("", "CN=Ann", dsaLoginDisabled, flag));
  EXPECT_FALSE(flag);
  flag = true;
  S.reads = {{{std::string(2, '\1')}}};
  EXPECT_FALSE(ReadAttrBoolean("", "CN=Ann", dsaLoginDisabled, flag));
  EXPECT_TRUE(flag);

  int32_t value = 17;
  const int32_t stored = 0x11223344;
  S.syntax = SYN_INTEGER;
  S.reads = {{{std::string(reinterpret_cast<const char *>(&stored), 4)}}};
  EXPECT_TRUE(ReadAttrValue("", "CN=Ann", dsaLoginGraceLimit, value));
  EXPECT_EQ(value, stored);
  value = 17;
  S.reads = {{{std::string(8, '\7')}}};
  EXPECT_FALSE(ReadAttrValue("", "CN=Ann", dsaLoginGraceLimit, value));
  EXPECT_EQ(value, 17);
  ExpectNothingHeld();
}

TEST_F(ReadTest, PathValuesFillAllThreeFields) {
  S.syntax = SYN_PATH;
  S.reads = {{{std::string("SYS\0USERS\\ANN", 13)}}};
  TNWDSPathInfo path;
  EXPECT_TRUE(ReadAttrPath("", "CN=Ann", dsaHomeDirectory, path));
  EXPECT_EQ(path.NameSpaceType, 7);
  EXPECT_EQ(path.VolumeName, "SYS");
  EXPECT_EQ(path.Path, "USERS\\ANN");

  S.reads = {{{"SYS" + std::string(1, '\0') + std::string(140, 'p')}}};
  EXPECT_FALSE(ReadAttrPath("", "CN=Ann", dsaHomeDirectory, path));
  EXPECT_EQ(path.Path, "USERS\\ANN");
}

TEST_F(ReadTest, ObjectKinds) {
  S.reads = {{{Z("Organizational Unit"), Z("Top")}}};
  EXPECT_EQ(ReadObjectKind("", "OU=Sales"), dokOrganizationalUnit);
  EXPECT_EQ(S.putAttrName, "Object Class");
  S.reads.clear();
  EXPECT_EQ(ReadObjectKind("", "OU=Sales"), dokUnknown);
  EXPECT_EQ(ReadObjectKind(std::string(128, 'c'), "OU=Sales"), dokUnknown);
  ExpectNothingHeld();
}

TEST_F(ReadTest, FirstValueFailuresAndTheirStatus) {
  struct Row {
    const char *what;
    void (*arrange)();
    int32_t recorded;  // -5: nothing recorded
  };
  const Row rows[] = {
      {"request refused", [] { S.allocFailsAt = S.allocs; }, -5},
      {"reply refused", [] { S.allocFailsAt = S.allocs + 1; }, -5},
      {"init fails", [] { S.initBufCode = ERR_BAD_VERB; }, -5},
      {"attribute name not put", [] { S.putAttrNameCode = ERR_BUFFER_FULL; }, ERR_BUFFER_FULL},
      {"no value", [] { S.reads.clear(); }, ERR_NO_SUCH_ATTRIBUTE},
      {"count fails", [] { S.attrCountCode = ERR_BUFFER_EMPTY; }, ERR_BUFFER_EMPTY},
      {"no attribute", [] { S.attrCount = 0; }, 0},
      {"name fails", [] { S.attrNameCode = ERR_INVALID_OBJECT_NAME; }, ERR_INVALID_OBJECT_NAME},
      {"value fails", [] { S.reads[0].valueFailsAt = 0; }, ERR_INSUFFICIENT_BUFFER},
  };
  for (const Row &row : rows) {
    fakeds::State fresh;
    fresh.contexts = S.contexts;
    fresh.nextHandle = S.nextHandle;
    S = fresh;
    S.reads = {{{Z("value")}}};
    row.arrange();
    DSLastError = DSLastResult = -5;
    std::string text = "untouched";
    EXPECT_FALSE(ReadAttrString("", "CN=Ann", dsaFullName, text)) << row.what;
    EXPECT_EQ(text, "untouched") << row.what;
    EXPECT_EQ(DSLastResult, row.recorded) << row.what;
    EXPECT_EQ(DSLastError, row.recorded == 0 ? -5 : row.recorded) << row.what;
    ExpectNothingHeld();
  }
}

// ---- ReadAttrValues --------------------------------------------------------------------

TNWValueList Prefilled() {
  TNWValueList values;
  values.push_back({std::make_unique<uint8_t[]>(1), 1});
  return values;
}

TEST_F(ReadTest, ValuesKeepDeliveryOrderAndEachBlockFitsItsValue) {
  const std::string longValue = Z(std::string(300, 'L'));
  S.syntax = SYN_TEL_NUMBER;
  S.reads = {{{Z("1"), longValue, Z("22")}}, {{Z("333")}}};
  TNWValueList values;
  EXPECT_TRUE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, values));
  ASSERT_EQ(values.size(), 4u);
  EXPECT_STREQ(values[0].Text(), "1");
  EXPECT_EQ(values[1].size, longValue.size());
  EXPECT_EQ(values[1].Text(), std::string(300, 'L'));
  EXPECT_STREQ(values[2].Text(), "22");
  EXPECT_STREQ(values[3].Text(), "333");
  EXPECT_EQ(S.putAttrName, "Telephone Number");
  ExpectNothingHeld();
}

TEST_F(ReadTest, ValuesWithAPrefilledList) {
  TNWValueList values = Prefilled();
  S.reads.clear();
  EXPECT_TRUE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, values));
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ATTRIBUTE);

  TNWValueList none;
  DSLastError = -5;
  EXPECT_FALSE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, none));
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ATTRIBUTE);

  // A reply that cannot be read fails whatever the list holds.
  S.reads = {{{Z("1")}}};
  S.attrCountCode = ERR_BUFFER_EMPTY;
  EXPECT_FALSE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, values));
  S.attrCountCode = 0;
  S.attrNameCode = ERR_BUFFER_EMPTY;
  EXPECT_FALSE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, values));
  EXPECT_EQ(values.size(), 1u);
  ExpectNothingHeld();
}

TEST_F(ReadTest, ValuesWhoseSizeIsUnknownAreSkipped) {
  ReadReply first{{Z("a"), Z("b"), Z("c")}};
  first.sizeFailsAt = 1;
  S.reads = {first, {{Z("d")}}};
  TNWValueList values;
  EXPECT_TRUE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, values));
  ASSERT_EQ(values.size(), 2u);
  EXPECT_STREQ(values[0].Text(), "a");
  EXPECT_STREQ(values[1].Text(), "d");
  EXPECT_EQ(DSLastError, -5);
  EXPECT_EQ(DSLastResult, 0);
}

TEST_F(ReadTest, AValueThatCannotBeTakenFailsTheRead) {
  ReadReply reply{{Z("a"), Z("b")}};
  reply.valueFailsAt = 1;
  reply.valueCode = ERR_INSUFFICIENT_BUFFER;
  S.reads = {reply};
  TNWValueList values;
  EXPECT_FALSE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, values));
  EXPECT_EQ(DSLastResult, ERR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(DSLastError, -5);  // only a reply's first value is recorded as the last error
  EXPECT_EQ(values.size(), 1u);

  S.reads = {{{Z("a")}}, reply};
  S.reads[1].valueFailsAt = 0;
  values.clear();
  EXPECT_FALSE(ReadAttrValues("", "CN=Ann", dsaTelephoneNumber, values));
  EXPECT_EQ(DSLastError, ERR_INSUFFICIENT_BUFFER);
  ExpectNothingHeld();
}

TEST_F(ReadTest, ValuesRefuseOverlongNamesAndFailedContexts) {
  S.reads = {{{Z("a")}}};
  TNWValueList values;
  EXPECT_FALSE(ReadAttrValues("", std::string(256, 'n'), dsaTelephoneNumber, values));
  EXPECT_FALSE(ReadAttrValues(std::string(128, 'c'), "CN=Ann", dsaTelephoneNumber, values));
  EXPECT_TRUE(S.readObjects.empty());
  EXPECT_TRUE(ReadAttrValues("", std::string(255, 'n'), dsaTelephoneNumber, values));
  ExpectNothingHeld();
}

TEST_F(ReadTest, GroupMembersSortedWithoutRegardToCase) {
  S.syntax = SYN_DIST_NAME;
  S.reads = {{{Z("CN=zed"), Z("CN=Bob")}}, {{Z("cn=alice"), Z("CN=Carl")}}};
  const TNWObjList expected = {{"cn=alice", dokUser}, {"CN=Bob", dokUser}, {"CN=Carl", dokUser}, {"CN=zed", dokUser}};
  EXPECT_EQ(ListGroupMembers("", "CN=Staff"), expected);
  EXPECT_EQ(S.putAttrName, "Member");
  S.reads.clear();
  EXPECT_TRUE(ListGroupMembers("", "CN=Staff").empty());
  ExpectNothingHeld();
}

// ---- streams ------------------------------------------------------------------------------

TEST_F(ReadTest, LoginScriptStreamLeavesTheHandleOpen) {
  std::unique_ptr<THandleStream> stream;
  ASSERT_TRUE(OpenAttrStream("", "CN=Ann", dsaLoginScript, stream));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(streamCall.attribute, "Login Script");
  EXPECT_EQ(streamCall.flags, 3u);
  EXPECT_EQ(stream->ReadAll(), "MAP F:=SYS:\n");
  const int handle = stream->Handle();
  stream.reset();
  EXPECT_NE(fcntl(handle, F_GETFD), -1);
  close(handle);
  ExpectNothingHeld();

  EXPECT_FALSE(OpenAttrStream("", "CN=Nobody", dsaLoginScript, stream));
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);

  streamCall = StreamCall{};
  EXPECT_FALSE(OpenAttrStream("", std::string(48, 'n'), dsaLoginScript, stream));
  EXPECT_EQ(streamCall.object, "");
  ASSERT_TRUE(OpenAttrStream("", std::string(47, 'n'), dsaLoginScript, stream));
  close(stream->Handle());
  ExpectNothingHeld();
}

// ---- typeless names ---------------------------------------------------------------------

NWDSCCODE RemoveAllTypes(NWDSContextHandle context, const char *name, char *stripped) {
  if (context != DSContext || std::strcmp(name, "bad") == 0) return ERR_INVALID_DS_NAME;
  std::strcpy(stripped, "Ann.Sales.Acme");
  return 0;
}

TEST_F(ReadTest, TypelessNames) {
  REPLACE_ENTRY(client, NWDSRemoveAllTypes, &RemoveAllTypes);
  std::string name = "CN=Ann.OU=Sales.O=Acme";
  RemoveNameTypes(name, name);
  EXPECT_EQ(name, "Ann.Sales.Acme");
  std::string result = "x";
  RemoveNameTypes("bad", result);
  EXPECT_EQ(result, "");
  EXPECT_EQ(DSLastError, ERR_INVALID_DS_NAME);
  result = "x";
  RemoveNameTypes(std::string(256, 'n'), result);
  EXPECT_EQ(result, "");
}

TEST_F(ReadTest, TypelessNamesWithoutTheEntry) {
  client.Without("NWDSRemoveAllTypes");
  std::string result = "x";
  RemoveNameTypes("CN=Ann", result);
  EXPECT_EQ(result, "");
  EXPECT_EQ(DSLastError, -5);
}

}  // namespace
