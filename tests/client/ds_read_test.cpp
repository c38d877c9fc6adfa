// Reading attribute values and streams through the exported entry points:
// the record of each syntax, exact value sizes, values over several replies.
#include <unistd.h>

#include <map>
#include <set>

#include "ds_client.h"

using namespace dstest;
using nwctest::DemoNetworkTest;

namespace {

using DsRead = DemoNetworkTest;

std::vector<std::string> ModelTexts(const std::string& object, const std::string& attr) {
  std::vector<std::string> out;
  auto lock = nwc::NetworkLock();
  const nwc::DirEntry* e = ModelEntry(object);
  const std::optional<nwc::Attribute> a = e ? e->ReadAttribute(attr) : std::nullopt;
  if (!a) return out;
  for (const nwc::Value& v : a->values) {
    if (const std::string* s = v.Text()) out.push_back(*s);
  }
  return out;
}

// Model names as a context with these settings hands them out.
std::vector<std::string> Relative(const std::vector<std::string>& typedNames, const std::string& context,
                                  bool typeless) {
  nwc::DName ctx;
  if (context != "[Root]") {
    EXPECT_EQ(nwc::CanonicalizeName(context, nwc::DName{}, {}, &ctx), 0);
  }
  std::vector<std::string> out;
  for (const std::string& t : typedNames) {
    nwc::DName n;
    EXPECT_EQ(nwc::CanonicalizeName(t, nwc::DName{}, {}, &n), 0);
    out.push_back(nwc::FormatRelative(n, ctx, typeless));
  }
  return out;
}

std::string ReadStream(NWFILE_HANDLE fd) {
  std::string content;
  char chunk[256];
  ssize_t n;
  while ((n = ::read(fd, chunk, sizeof chunk)) > 0) content.append(chunk, static_cast<size_t>(n));
  return content;
}

}  // namespace

TEST_F(DsRead, TextValuesComeWithTheirExactSizes) {
  ASSERT_TRUE(Ds().ready) << dlerror();
  Context acme("O=ACME");
  Reading full = ReadValues(acme, "CN=JSMITH.OU=SALES", "Full Name");
  ASSERT_EQ(full.code, 0);
  EXPECT_EQ(full.attrName, "Full Name");
  ASSERT_EQ(full.values.size(), 1u);
  EXPECT_EQ(full.values[0].syntax, static_cast<nuint32>(SYN_CI_STRING));
  EXPECT_EQ(full.values[0].Text(), "John Smith");
  EXPECT_EQ(full.values[0].bytes.size(), std::string("John Smith").size() + 1);

  Reading phones = ReadValues(acme, "JSMITH.SALES", "Telephone Number");
  ASSERT_EQ(phones.code, 0);
  EXPECT_EQ(phones.values[0].syntax, static_cast<nuint32>(SYN_TEL_NUMBER));
  EXPECT_EQ(Texts(phones), ModelTexts("CN=JSMITH.OU=SALES.O=ACME", "Telephone Number"));
  EXPECT_EQ(phones.values.size(), 3u);

  Reading cls = ReadValues(acme, "CN=JSMITH.OU=SALES", "Object Class");
  ASSERT_EQ(cls.code, 0);
  ASSERT_FALSE(cls.values.empty());
  EXPECT_EQ(cls.values[0].Text(), "User");
  EXPECT_EQ(cls.values[0].syntax, static_cast<nuint32>(SYN_CLASS_NAME));
}

TEST_F(DsRead, DistinguishedNamesAreFormattedByTheReadingContext) {
  ASSERT_TRUE(Ds().ready);
  const std::vector<std::string> members = ModelTexts("CN=EVERYONE.O=ACME", "Member");
  ASSERT_EQ(members.size(), 6u);
  struct Case {
    std::string context;
    nuint32 flags;
  } cases[] = {{"[Root]", DCV_DEFAULT_FLAGS},
               {"O=ACME", DCV_DEFAULT_FLAGS},
               {"OU=SALES.O=ACME", DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES}};
  for (const Case& c : cases) {
    Context ctx(c.context, c.flags);
    Reading r = ReadValues(ctx, ".CN=EVERYONE.O=ACME", "Member");
    ASSERT_EQ(r.code, 0) << c.context;
    EXPECT_EQ(r.values[0].syntax, static_cast<nuint32>(SYN_DIST_NAME));
    // Every block is exactly its own name: the names differ in length.
    for (const RawValue& v : r.values) EXPECT_EQ(v.bytes.size(), v.Text().size() + 1);
    EXPECT_EQ(Texts(r), Relative(members, c.context, (c.flags & DCV_TYPELESS_NAMES) != 0)) << c.context;
  }
  // Without canonicalized names they come back in full.
  Context full("OU=SALES.O=ACME", DCV_DEREF_ALIASES | DCV_XLATE_STRINGS);
  EXPECT_EQ(Texts(ReadValues(full, "CN=EVERYONE.O=ACME..", "Member")), members);

  Context root("[Root]");
  Reading host = ReadValues(root, "CN=PS-ACME.O=ACME", "Host Device");
  ASSERT_EQ(host.code, 0);
  EXPECT_EQ(Texts(host), std::vector<std::string>{"CN=ACME-FS1.O=ACME"});
}

TEST_F(DsRead, StructuredValuesCarryTheirTextsInTheirOwnBlock) {
  ASSERT_TRUE(Ds().ready);
  Context root("[Root]");
  Reading home = ReadValues(root, "CN=JSMITH.OU=SALES.O=ACME", "Home Directory");
  ASSERT_EQ(home.code, 0);
  ASSERT_EQ(home.values.size(), 1u);
  const RawValue& hv = home.values[0];
  EXPECT_EQ(hv.syntax, static_cast<nuint32>(SYN_PATH));
  const auto path = hv.Record<Path_T>();
  EXPECT_EQ(path.nameSpaceType, 0u);
  ASSERT_TRUE(hv.Inside(path.volumeName));
  ASSERT_TRUE(hv.Inside(path.path));
  EXPECT_STREQ(path.volumeName, "CN=ACME-FS1_DATA.O=ACME");
  EXPECT_STREQ(path.path, "HOME\\JSMITH");
  EXPECT_EQ(hv.bytes.size(), sizeof(Path_T) + std::strlen(path.volumeName) + 1 + std::strlen(path.path) + 1);
  // The volume name follows the context like any name.
  Context acme("O=ACME", DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES);
  Reading rel = ReadValues(acme, "JSMITH.SALES", "Home Directory");
  ASSERT_EQ(rel.code, 0);
  EXPECT_STREQ(rel.values[0].Record<Path_T>().volumeName, "ACME-FS1_DATA");

  Reading mail = ReadValues(root, "CN=JSMITH.OU=SALES.O=ACME", "EMail Address");
  ASSERT_EQ(mail.code, 0);
  ASSERT_EQ(mail.values.size(), 2u);
  std::vector<std::string> addresses;
  for (const RawValue& v : mail.values) {
    const auto e = v.Record<EMail_Address_T>();
    ASSERT_TRUE(v.Inside(e.address));
    EXPECT_EQ(e.type, 0u);
    addresses.push_back(e.address);
    EXPECT_EQ(v.bytes.size(), sizeof(EMail_Address_T) + addresses.back().size() + 1);
  }
  EXPECT_EQ(addresses, (std::vector<std::string>{"jsmith@acme.com", "john.smith@acme.com"}));

  Reading queues = ReadValues(root, "CN=P-ENG.OU=ENGINEERING.O=ACME", "Queue");
  ASSERT_EQ(queues.code, 0);
  ASSERT_EQ(queues.values.size(), 2u);
  const auto q0 = queues.values[0].Record<Typed_Name_T>();
  const auto q1 = queues.values[1].Record<Typed_Name_T>();
  ASSERT_TRUE(queues.values[0].Inside(q0.objectName));
  ASSERT_TRUE(queues.values[1].Inside(q1.objectName));
  EXPECT_STREQ(q0.objectName, "CN=Q-ENG.OU=ENGINEERING.O=ACME");
  EXPECT_EQ(q0.level, 1u);
  EXPECT_STREQ(q1.objectName, "CN=Q-SALES.OU=SALES.O=ACME");
  EXPECT_EQ(q1.level, 2u);
}

TEST_F(DsRead, IntegersAndBooleansHaveTheirOwnSizes) {
  ASSERT_TRUE(Ds().ready);
  ASSERT_TRUE(nwc::LoadNetworkFromString(R"({
    "tree": {"name": "T_TREE", "objects": [{"name": "O=T", "class": "Organization", "objects": [
      {"name": "CN=U1", "class": "User", "attributes": {
        "Login Disabled": true, "Detect Intruder": false, "Login Grace Limit": 6,
        "Login Intruder Attempts": -2}}]}]},
    "servers": [{"name": "T-FS1", "tree": "T_TREE", "context": "O=T"}],
    "workstation": {"nameContext": "O=T", "identity": "CN=U1.O=T",
                    "connections": [{"server": "T-FS1", "slot": 1, "user": "CN=U1.O=T"}]}})", "."));
  Context t("O=T");
  Reading disabled = ReadValues(t, "U1", "Login Disabled");
  ASSERT_EQ(disabled.code, 0);
  ASSERT_EQ(disabled.values.size(), 1u);
  EXPECT_EQ(disabled.values[0].bytes, std::vector<uint8_t>{1});
  Reading detect = ReadValues(t, "U1", "Detect Intruder");
  ASSERT_EQ(detect.code, 0);
  EXPECT_EQ(detect.values[0].bytes, std::vector<uint8_t>{0});
  Reading grace = ReadValues(t, "U1", "Login Grace Limit");
  ASSERT_EQ(grace.code, 0);
  ASSERT_EQ(grace.values[0].bytes.size(), 4u);
  EXPECT_EQ(grace.values[0].Record<nint32>(), 6);
  Reading attempts = ReadValues(t, "U1", "Login Intruder Attempts");
  ASSERT_EQ(attempts.code, 0);
  EXPECT_EQ(attempts.values[0].syntax, static_cast<nuint32>(SYN_COUNTER));
  EXPECT_EQ(attempts.values[0].Record<nint32>(), -2);
}

TEST_F(DsRead, EveryKindOfValueReadsWholeEmptyAndStreamOnesToo) {
  ASSERT_TRUE(Ds().ready);
  ASSERT_TRUE(nwc::LoadNetworkFromString(R"({
    "tree": {"name": "T_TREE", "objects": [{"name": "O=T", "class": "Organization", "objects": [
      {"name": "CN=U2", "class": "User", "attributes": {"Login Script": ["MAP G:"]}},
      {"name": "CN=U1", "class": "User", "attributes": {
        "Full Name": "U One", "Telephone Number": "555", "Facsimile Telephone Number": "556",
        "Bindery Type": "12", "See Also": "CN=U2.O=T", "Login Grace Limit": 6, "Login Disabled": true,
        "Login Expiration Time": 0, "Home Directory": {"volume": "CN=T-FS1_SYS.O=T", "path": "HOME"},
        "Notify": {"name": "CN=U2.O=T", "level": 1}, "EMail Address": "u@t",
        "Login Allowed Time Map": "", "External Name": "abc", "Login Script": ""}}]}]},
    "servers": [{"name": "T-FS1", "tree": "T_TREE", "context": "O=T", "volumes": [{"name": "SYS", "path": "."}]}],
    "workstation": {"nameContext": "O=T", "identity": "CN=U1.O=T",
                    "connections": [{"server": "T-FS1", "slot": 1, "user": "CN=U1.O=T"}]}})", "."));
  Context t("O=T");
  std::set<nuint32> syntaxes;
  std::map<std::string, nuint32> octets;  // the length an octet or stream value gives
  for (const char* object : {"U1", "U2"}) {
    Buffer reply;
    nint32 iteration = NO_MORE_ITERATIONS;
    do {
      ASSERT_EQ(Ds().NWDSRead(t, object, DS_ATTRIBUTE_VALUES, 1, nullptr, &iteration, reply), 0) << object;
      nuint32 attrs = 0;
      ASSERT_EQ(Ds().NWDSGetAttrCount(t, reply, &attrs), 0);
      for (nuint32 a = 0; a < attrs; ++a) {
        char name[MAX_SCHEMA_NAME_BYTES];
        nuint32 count = 0;
        nuint32 syntax = 0;
        ASSERT_EQ(Ds().NWDSGetAttrName(t, reply, name, &count, &syntax), 0);
        for (nuint32 v = 0; v < count; ++v) {
          nuint32 size = 0;
          ASSERT_EQ(Ds().NWDSComputeAttrValSize(t, reply, syntax, &size), 0) << name;
          std::vector<uint8_t> block(size + kGuardBytes, kGuard);
          ASSERT_EQ(Ds().NWDSGetAttrVal(t, reply, syntax, block.data()), 0) << name;
          for (size_t g = size; g < block.size(); ++g) ASSERT_EQ(block[g], kGuard) << name;
          syntaxes.insert(syntax);
          if (syntax == SYN_OCTET_STRING || syntax == SYN_STREAM) {
            nuint32 length = 0;
            std::memcpy(&length, block.data(), sizeof length);
            octets[std::string(object) + "/" + name] = length;
          }
        }
      }
    } while (iteration != NO_MORE_ITERATIONS);
  }
  EXPECT_EQ(syntaxes, (std::set<nuint32>{SYN_DIST_NAME, SYN_CI_STRING, SYN_NU_STRING, SYN_CLASS_NAME, SYN_TEL_NUMBER,
                                         SYN_FAX_NUMBER, SYN_BOOLEAN, SYN_INTEGER, SYN_TIME, SYN_PATH, SYN_TYPED_NAME,
                                         SYN_EMAIL_ADDRESS, SYN_OCTET_STRING, SYN_STREAM}));
  // A stream's content comes through NWDSOpenStream; its value in a reply is
  // empty, as an empty octet string is.
  EXPECT_EQ(octets, (std::map<std::string, nuint32>{{"U1/External Name", 3}, {"U1/Login Allowed Time Map", 0},
                                                    {"U1/Login Script", 0}, {"U2/Login Script", 0}}));
}

TEST_F(DsRead, ValuesThatDoNotFitOneReplyFollowInTheNext) {
  ASSERT_TRUE(Ds().ready);
  Context root("[Root]");
  Reading whole = ReadValues(root, "CN=EVERYONE.O=ACME", "Member");
  ASSERT_EQ(whole.code, 0);
  EXPECT_EQ(whole.replies, 1);
  Reading pieces = ReadValues(root, "CN=EVERYONE.O=ACME", "Member", 80);
  ASSERT_EQ(pieces.code, 0);
  EXPECT_GT(pieces.replies, 2);
  EXPECT_EQ(Texts(pieces), Texts(whole));

  // A reply that cannot hold one value.
  Reading none = ReadValues(root, "CN=EVERYONE.O=ACME", "Member", 32);
  EXPECT_EQ(none.code, ERR_INSUFFICIENT_BUFFER);

  // An iteration belongs to its object.
  Buffer request;
  Buffer reply(128);
  ASSERT_EQ(Ds().NWDSInitBuf(root, DSV_READ, request), 0);
  ASSERT_EQ(Ds().NWDSPutAttrName(root, request, "Member"), 0);
  nint32 iteration = NO_MORE_ITERATIONS;
  ASSERT_EQ(Ds().NWDSRead(root, "CN=EVERYONE.O=ACME", DS_ATTRIBUTE_VALUES, 0, request, &iteration, reply), 0);
  ASSERT_NE(iteration, NO_MORE_ITERATIONS);
  nint32 other = iteration;
  EXPECT_EQ(Ds().NWDSRead(root, "CN=SALES-TEAM.OU=SALES.O=ACME", DS_ATTRIBUTE_VALUES, 0, request, &other, reply),
            ERR_INVALID_ITERATION);
  nint32 again = iteration;
  EXPECT_EQ(Ds().NWDSRead(root, "CN=EVERYONE.O=ACME", DS_ATTRIBUTE_VALUES, 0, request, &again, reply), 0);
}

TEST_F(DsRead, MissingAttributesObjectsAndMisuse) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  EXPECT_EQ(ReadValues(acme, "CN=MJONES.OU=SALES", "Facsimile Telephone Number").code, ERR_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(ReadValues(acme, "CN=MJONES.OU=SALES", "No Such Attribute").code, ERR_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(ReadValues(acme, "CN=NOBODY.OU=SALES", "Full Name").code, ERR_NO_SUCH_ENTRY);

  Buffer request;
  Buffer reply;
  nint32 iteration = NO_MORE_ITERATIONS;
  // A request that was never prepared for reading.
  EXPECT_EQ(Ds().NWDSRead(acme, "CN=ADMIN", DS_ATTRIBUTE_VALUES, 0, request, &iteration, reply), ERR_BAD_VERB);
  ASSERT_EQ(Ds().NWDSInitBuf(acme, DSV_READ, request), 0);
  ASSERT_EQ(Ds().NWDSPutAttrName(acme, request, "Full Name"), 0);
  ASSERT_EQ(Ds().NWDSRead(acme, "CN=ADMIN", DS_ATTRIBUTE_VALUES, 0, request, &iteration, reply), 0);
  nuint32 count = 0;
  nuint32 syntax = 0;
  nuint32 size = 0;
  char name[MAX_SCHEMA_NAME_BYTES];
  char value[128];
  // Values before their attribute, a wrong syntax, past the last value.
  EXPECT_EQ(Ds().NWDSGetAttrVal(acme, reply, SYN_CI_STRING, value), ERR_BUFFER_EMPTY);
  ASSERT_EQ(Ds().NWDSGetAttrCount(acme, reply, &count), 0);
  ASSERT_EQ(Ds().NWDSGetAttrName(acme, reply, name, &count, &syntax), 0);
  EXPECT_EQ(Ds().NWDSGetAttrVal(acme, reply, SYN_DIST_NAME, value), ERR_BAD_SYNTAX);
  EXPECT_EQ(Ds().NWDSComputeAttrValSize(acme, reply, 999, &size), ERR_NO_SUCH_SYNTAX);
  ASSERT_EQ(Ds().NWDSGetAttrVal(acme, reply, syntax, value), 0);
  EXPECT_STREQ(value, "Network Administrator");
  EXPECT_EQ(Ds().NWDSGetAttrVal(acme, reply, syntax, value), ERR_BUFFER_EMPTY);
  EXPECT_EQ(Ds().NWDSGetAttrName(acme, reply, name, &count, &syntax), ERR_BUFFER_EMPTY);
}

TEST_F(DsRead, AllAttributeNamesWithoutValues) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  Buffer reply;
  nint32 iteration = NO_MORE_ITERATIONS;
  ASSERT_EQ(Ds().NWDSRead(acme, "CN=ADMIN", DS_ATTRIBUTE_NAMES, 1, nullptr, &iteration, reply), 0);
  EXPECT_EQ(iteration, NO_MORE_ITERATIONS);
  nuint32 count = 0;
  ASSERT_EQ(Ds().NWDSGetAttrCount(acme, reply, &count), 0);
  std::vector<std::string> names;
  for (nuint32 i = 0; i < count; ++i) {
    char name[MAX_SCHEMA_NAME_BYTES];
    nuint32 values = 7;
    nuint32 syntax = 0;
    ASSERT_EQ(Ds().NWDSGetAttrName(acme, reply, name, &values, &syntax), 0);
    EXPECT_EQ(values, 0u);
    names.push_back(name);
  }
  std::vector<std::string> model;
  {
    auto lock = nwc::NetworkLock();
    ModelEntry("CN=ADMIN.O=ACME")->ForEachAttribute([&](const nwc::Attribute& a) {
      if (!a.values.empty()) model.push_back(a.name);
    });
  }
  EXPECT_EQ(names, model);
}

TEST_F(DsRead, LoginScriptStreamIsAReadOnlyDescriptor) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  NWFILE_HANDLE fd = -1;
  ASSERT_EQ(Ds().NWDSOpenStream(acme, "CN=JSMITH.OU=SALES", "Login Script", DS_READ_STREAM | DS_WRITE_STREAM, &fd), 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadStream(fd), "MAP G:=ACME-FS1_DATA:SHARED\r\nWRITE \"Sales figures are in G:\"\r\n");
  EXPECT_LT(::write(fd, "X", 1), 0);
  ::close(fd);

  // The alias reaches the same script.
  ASSERT_EQ(Ds().NWDSOpenStream(acme, "CN=JOHN.OU=ENGINEERING", "Login Script", DS_READ_STREAM, &fd), 0);
  EXPECT_EQ(ReadStream(fd).substr(0, 4), "MAP ");
  ::close(fd);

  fd = -1;
  EXPECT_EQ(Ds().NWDSOpenStream(acme, "CN=BWILSON.OU=SALES", "Login Script", DS_READ_STREAM, &fd), ERR_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(Ds().NWDSOpenStream(acme, "CN=NOBODY", "Login Script", DS_READ_STREAM, &fd), ERR_NO_SUCH_ENTRY);
  EXPECT_NE(Ds().NWDSOpenStream(acme, "CN=ADMIN", "Full Name", DS_READ_STREAM, &fd), 0);
  EXPECT_EQ(Ds().NWDSOpenStream(acme, "CN=ADMIN", "Login Script", 0, &fd), ERR_INVALID_REQUEST);
  EXPECT_EQ(fd, -1);
  // An attribute name longer than any schema name, with no terminator
  // within the name area, is refused without reading past it.
  char longName[MAX_SCHEMA_NAME_BYTES];
  std::memset(longName, 'A', sizeof longName);
  EXPECT_EQ(Ds().NWDSOpenStream(acme, "CN=ADMIN", longName, DS_READ_STREAM, &fd), ERR_ATTR_NAME_TOO_LONG);
}
