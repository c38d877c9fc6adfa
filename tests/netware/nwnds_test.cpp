// The directory unit's binding, module state and current context.
#include <gtest/gtest.h>

#include "netware/nwnds_entries.h"
#include "nwnds_fakeds.h"

using fakeds::S;

namespace {

TEST(DirectoryBinding, MissingLibraryLeavesNothingBound) {
  for (const char *library : {"NETWIN32.DLL", "LOCWIN32.DLL"}) {
    FakeClient client;
    client.WithoutLibrary(library);
    DSLastError = 0;
    TNWNDS nds;
    EXPECT_EQ(DSLastError, 65535) << library;
    EXPECT_EQ(nds.LastErrorText(), "FFFF") << library;
    EXPECT_EQ(DSContext, 0) << library;
    EXPECT_FALSE(nwds::kBindingTable[0]->Bound()) << library;
    EXPECT_FALSE(InitDirectoryClient()) << library;
    EXPECT_EQ(CurrentContextName(), "") << library;
    EXPECT_EQ(client.Lookups("NWDSCreateContext"), 0) << library;
  }
}

TEST_F(DirectoryTest, BindingStopsAtTheFirstMissingEntry) {
  client.Without("NWDSRemoveObject");
  DSLastError = 1234;
  Construct();
  for (int row = 0; row < nwds::kBindingTableSize; ++row) {
    EXPECT_EQ(nwds::kBindingTable[row]->Bound(), row < 18) << nwds::kBindingTable[row]->Name();
  }
  EXPECT_EQ(client.Lookups("NWDSGenerateObjectKeyPair"), 0);
  EXPECT_EQ(DSLastError, 0);
  EXPECT_EQ(DSContext, 0);
  EXPECT_EQ(S.creates, 0);
  // The entries after the gap are never called.
  EXPECT_EQ(CurrentContextName(), "");
  EXPECT_EQ(GetContextFlags(), 0u);
  EXPECT_FALSE(AddContextFlags(1));
}

TEST_F(DirectoryTest, ConstructionMakesTheRootContextAndDestructionReleasesIt) {
  DSLastError = 99;
  Construct();
  EXPECT_EQ(DSLastError, 0);
  ASSERT_NE(DSContext, 0);
  EXPECT_EQ(S.contexts.at(DSContext).name, "[Root]");
  EXPECT_EQ(CurrentContextName(), "[Root]");
  nds.reset();
  EXPECT_TRUE(S.contexts.empty());
}

TEST(DirectoryStatus, LastErrorTextIsHexOfAtLeastFourDigits) {
  FakeClient client;
  client.WithoutLibrary("NETWIN32.DLL");
  TNWNDS nds;
  const std::pair<int32_t, const char *> cases[] = {
      {0, "0000"}, {ERR_NO_SUCH_ENTRY, "FFFFFDA7"}, {NO_SUCH_OBJECT, "89FC"}, {0x12, "0012"}, {0x123456, "123456"}};
  for (const auto &[code, text] : cases) {
    DSLastError = code;
    EXPECT_EQ(nds.LastErrorText(), text);
  }
}

TEST_F(DirectoryTest, ContextNamesAreTrimmedAndOverlongOnesRefused) {
  Construct();
  EXPECT_TRUE(SetContextName("   OU=Sales.O=Acme  "));
  EXPECT_EQ(CurrentContextName(), "OU=Sales.O=Acme");
  const int sets = S.contextSets;
  EXPECT_FALSE(SetContextName(std::string(128, 'x')));
  EXPECT_EQ(S.contextSets, sets);
  EXPECT_EQ(CurrentContextName(), "OU=Sales.O=Acme");
  EXPECT_TRUE(SetContextName(std::string(127, 'x')));
  EXPECT_EQ(CurrentContextName(), std::string(127, 'x'));
}

TEST_F(DirectoryTest, ContextFlagsAreOnlyEverAdded) {
  Construct();
  S.contexts.at(DSContext).flags = 3;
  EXPECT_TRUE(AddContextFlags(DCV_TYPELESS_NAMES));
  EXPECT_EQ(GetContextFlags(), 7u);
  EXPECT_TRUE(AddContextFlags(0));
  EXPECT_EQ(GetContextFlags(), 7u);
  // An unreadable flag set is never combined into the flags.
  S.getContextCode = ERR_BAD_CONTEXT;
  EXPECT_FALSE(AddContextFlags(DCV_DISALLOW_REFERRALS));
  EXPECT_EQ(GetContextFlags(), 0u);
  S.getContextCode = 0;
  EXPECT_EQ(GetContextFlags(), 7u);
}

TEST_F(DirectoryTest, LastErrorIsStickyAcrossSuccesses) {
  Construct();
  const NWDSContextHandle current = DSContext;
  DSContext = 4711;  // no such context
  EXPECT_FALSE(SetContextName("O=Acme"));
  EXPECT_EQ(DSLastError, ERR_BAD_CONTEXT);
  DSContext = current;
  EXPECT_TRUE(SetContextName("O=Acme"));
  EXPECT_EQ(DSLastResult, 0);
  EXPECT_EQ(DSLastError, ERR_BAD_CONTEXT);
}

TEST_F(DirectoryTest, CopyCurrentContextCreatesWhenThereIsNoContext) {
  Construct();
  const NWDSContextHandle current = DSContext;
  NWDSContextHandle copy = CopyCurrentContext();
  EXPECT_EQ(S.duplicates, 1);
  EXPECT_EQ(S.contexts.at(copy).name, "[Root]");
  EXPECT_TRUE(ReleaseContext(copy));
  EXPECT_FALSE(ReleaseContext(copy));
  for (NWDSContextHandle none : {0, -1}) {
    DSContext = none;
    const int creates = S.creates;
    copy = CopyCurrentContext();
    EXPECT_EQ(S.creates, creates + 1) << none;
    EXPECT_EQ(S.contexts.at(copy).name, "O=Default") << none;
    ReleaseContext(copy);
  }
  EXPECT_EQ(S.duplicates, 1);
  DSContext = current;
}

TEST_F(DirectoryTest, SelectContextMakesTheCurrentContextACopy) {
  Construct();
  NWDSContextHandle work = CopyCurrentContext();
  const NWDSContextHandle before = DSContext;
  EXPECT_TRUE(SelectContext(work, " O=Acme "));
  EXPECT_EQ(S.contexts.at(work).name, "O=Acme");
  EXPECT_NE(DSContext, before);
  EXPECT_EQ(S.contexts.count(before), 0u);
  EXPECT_EQ(S.contexts.at(DSContext).name, "O=Acme");
  EXPECT_EQ(client.Lookups("NWDSDuplicateContextHandle"), 1);
  EXPECT_TRUE(SelectContext(work, "O=Acme"));
  EXPECT_EQ(client.Lookups("NWDSDuplicateContextHandle"), 2);
  ReleaseContext(work);

  // A name the client refuses leaves the current context alone.
  NWDSContextHandle gone = 4711;
  const NWDSContextHandle current = DSContext;
  EXPECT_FALSE(SelectContext(gone, "O=Acme"));
  EXPECT_EQ(DSContext, current);
  EXPECT_EQ(DSLastError, ERR_BAD_CONTEXT);
}

TEST_F(DirectoryTest, SelectContextFallsBackToDuplicateContext) {
  client.Without("NWDSDuplicateContextHandle");
  Construct();
  NWDSContextHandle work = CopyCurrentContext();
  const int duplicates = S.duplicates;
  EXPECT_TRUE(SelectContext(work, "O=Acme"));
  EXPECT_EQ(S.duplicates, duplicates + 1);
  EXPECT_EQ(S.contexts.at(DSContext).name, "O=Acme");
  ReleaseContext(work);
  ExpectNothingHeld();
}

TEST_F(DirectoryTest, ResetContextReturnsToTheRoot) {
  Construct();
  SetContextName("O=Acme");
  const NWDSContextHandle old = DSContext;
  ResetContext();
  EXPECT_EQ(S.contexts.count(old), 0u);
  EXPECT_EQ(CurrentContextName(), "[Root]");
  ExpectNothingHeld();
}

TEST_F(DirectoryTest, UnicodeTablesFollowTheLocale) {
  Construct();
  const int before = DSLastError = -5;
  EXPECT_TRUE(InitDirectoryClient());
  EXPECT_EQ(S.unicodeCountry, 49);
  EXPECT_EQ(S.unicodeCodePage, 850);
  S.unicodeCode = NWE_UNICODE_TABLES_NOT_LOADED;
  EXPECT_FALSE(InitDirectoryClient());
  EXPECT_EQ(DSLastError, before);  // the tables' code is not recorded

  EXPECT_TRUE(DoneDirectoryClient());
  S.freeUnicodeCode = ERR_SYSTEM_ERROR;
  EXPECT_FALSE(DoneDirectoryClient());
  EXPECT_EQ(DSLastError, ERR_SYSTEM_ERROR);
}

TEST_F(DirectoryTest, InitDirectoryClientMakesAMissingContext) {
  Construct();
  ReleaseContext(DSContext);
  DSContext = 0;
  EXPECT_TRUE(InitDirectoryClient());
  ASSERT_NE(DSContext, 0);
  EXPECT_EQ(S.contexts.at(DSContext).name, "O=Default");  // not renamed to the root
}

}  // namespace

// ---- through the stand-in client's own contexts -------------------------------------

namespace {

TEST(RealDirectoryClient, RootContextFlagsAndUnicodeTables) {
  FakeClient client;
  TNWNDS nds;
  EXPECT_EQ(DSLastError, 0);
  ASSERT_GT(DSContext, 0);
  EXPECT_EQ(CurrentContextName(), "[Root]");
  EXPECT_TRUE(InitDirectoryClient());
  EXPECT_EQ(GetContextFlags(), static_cast<uint32_t>(DCV_DEFAULT_FLAGS));
  EXPECT_TRUE(AddContextFlags(DCV_TYPELESS_NAMES));
  EXPECT_EQ(GetContextFlags(), static_cast<uint32_t>(DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES));

  EXPECT_TRUE(SetContextName("  O=ACME "));
  EXPECT_EQ(CurrentContextName(), "ACME");  // typeless names asked for
  NWDSContextHandle copy = CopyCurrentContext();
  ASSERT_GT(copy, 0);
  EXPECT_TRUE(SelectContext(copy, "[Root]"));
  EXPECT_EQ(CurrentContextName(), "[Root]");
  EXPECT_TRUE(ReleaseContext(copy));
  EXPECT_FALSE(ReleaseContext(copy));

  ResetContext();
  EXPECT_EQ(CurrentContextName(), "[Root]");
  EXPECT_TRUE(DoneDirectoryClient());
  EXPECT_EQ(DSLastError, 0);
}

}  // namespace
