// Directory contexts and the locale through the exported entry points, as
// the program reaches them: libraries loaded by name, entries by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client_test_util.h"
#include "ds_context.h"
#include "nwclient.h"

using nwctest::DemoNetworkTest;

namespace {

struct Client {
  void* net = nullptr;
  void* loc = nullptr;
  PFN_NWDSCreateContext create = nullptr;
  PFN_NWDSFreeContext free = nullptr;
  PFN_NWDSGetContext get = nullptr;
  PFN_NWDSSetContext set = nullptr;
  PFN_NWDSDuplicateContext dup = nullptr;
  PFN_NWDSDuplicateContextHandle dupHandle = nullptr;
  PFN_NWLlocaleconv localeconv = nullptr;
  PFN_NWInitUnicodeTables initUni = nullptr;
  PFN_NWFreeUnicodeTables freeUni = nullptr;

  // By name, as the program loads them; where the sanitizer's interposed
  // loader ignores the run path, from the folder of the core library.
  static void* Open(const char* name) {
    if (void* h = dlopen(name, RTLD_NOW)) return h;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&nwc::ResetNetwork), &info) == 0 || info.dli_fname == nullptr) return nullptr;
    std::string path = info.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + name;
    return dlopen(path.c_str(), RTLD_NOW);
  }

  Client() {
    net = Open("libnetwin32.so");
    loc = Open("liblocwin32.so");
    if (!net || !loc) return;
    create = reinterpret_cast<PFN_NWDSCreateContext>(dlsym(net, "NWDSCreateContext"));
    free = reinterpret_cast<PFN_NWDSFreeContext>(dlsym(net, "NWDSFreeContext"));
    get = reinterpret_cast<PFN_NWDSGetContext>(dlsym(net, "NWDSGetContext"));
    set = reinterpret_cast<PFN_NWDSSetContext>(dlsym(net, "NWDSSetContext"));
    dup = reinterpret_cast<PFN_NWDSDuplicateContext>(dlsym(net, "NWDSDuplicateContext"));
    dupHandle = reinterpret_cast<PFN_NWDSDuplicateContextHandle>(dlsym(net, "NWDSDuplicateContextHandle"));
    localeconv = reinterpret_cast<PFN_NWLlocaleconv>(dlsym(loc, "NWLlocaleconv"));
    initUni = reinterpret_cast<PFN_NWInitUnicodeTables>(dlsym(loc, "NWInitUnicodeTables"));
    freeUni = reinterpret_cast<PFN_NWFreeUnicodeTables>(dlsym(loc, "NWFreeUnicodeTables"));
  }
  bool Ready() const { return create && free && get && set && dup && dupHandle && localeconv && initUni && freeUni; }

  std::string Name(NWDSContextHandle ctx) const {
    char buf[NW_MAX_CONTEXT_NAME];
    std::memset(buf, 'x', sizeof buf);
    if (get(ctx, DCK_NAME_CONTEXT, buf) != 0) return "<error>";
    return std::string(buf, strnlen(buf, sizeof buf));
  }
  nint SetName(NWDSContextHandle ctx, const std::string& name) const {
    return set(ctx, DCK_NAME_CONTEXT, const_cast<char*>(name.c_str()));
  }
  nuint32 Flags(NWDSContextHandle ctx) const {
    nuint32 flags = 0xDEADBEEF;
    EXPECT_EQ(get(ctx, DCK_FLAGS, &flags), 0);
    return flags;
  }
};

const Client& Lib() {
  static Client c;
  return c;
}

}  // namespace

using Contexts = DemoNetworkTest;

TEST_F(Contexts, CreatedWithDefaultFlagsAndTheWorkstationsContext) {
  const Client& c = Lib();
  ASSERT_TRUE(c.Ready()) << dlerror();
  NWDSContextHandle ctx = c.create();
  ASSERT_GT(ctx, 0);
  EXPECT_EQ(c.Flags(ctx), static_cast<nuint32>(DCV_DEFAULT_FLAGS));
  EXPECT_EQ(c.Name(ctx), "O=ACME");
  NWDSContextHandle other = c.create();
  EXPECT_GT(other, 0);
  EXPECT_NE(other, ctx);

  nwc::ContextState state;
  ASSERT_TRUE(nwc::GetContextState(ctx, &state));
  EXPECT_EQ(nwc::FormatName(state.nameContext, false), "O=ACME");

  EXPECT_EQ(c.free(ctx), 0);
  EXPECT_EQ(c.free(ctx), ERR_BAD_CONTEXT);
  EXPECT_FALSE(nwc::GetContextState(ctx, nullptr));
  EXPECT_EQ(c.Flags(other), static_cast<nuint32>(DCV_DEFAULT_FLAGS));
  EXPECT_EQ(c.free(other), 0);
}

TEST_F(Contexts, NameContextTypedTypelessAndRoot) {
  const Client& c = Lib();
  ASSERT_TRUE(c.Ready());
  NWDSContextHandle ctx = c.create();
  ASSERT_GT(ctx, 0);
  EXPECT_EQ(c.SetName(ctx, "sales.acme"), 0);  // typeless, any case: resolved in the tree
  EXPECT_EQ(c.Name(ctx), "OU=SALES.O=ACME");
  nuint32 flags = DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES;
  ASSERT_EQ(c.set(ctx, DCK_FLAGS, &flags), 0);
  EXPECT_EQ(c.Flags(ctx), flags);
  EXPECT_EQ(c.Name(ctx), "SALES.ACME");
  EXPECT_EQ(c.SetName(ctx, ".L=CHICAGO.C=US"), 0);
  EXPECT_EQ(c.Name(ctx), "CHICAGO.US");
  EXPECT_EQ(c.SetName(ctx, "[Root]"), 0);
  EXPECT_EQ(c.Name(ctx), "[Root]");

  // A context that does not exist, or is not a name, changes nothing.
  EXPECT_EQ(c.SetName(ctx, "OU=NOWHERE.O=ACME"), ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(c.SetName(ctx, "A..B"), ERR_INVALID_DS_NAME);
  EXPECT_EQ(c.Name(ctx), "[Root]");

  // Copies carry the name context and flags; the copy is a context of its own.
  EXPECT_EQ(c.SetName(ctx, "OU=ENGINEERING.O=ACME"), 0);
  NWDSContextHandle copy = c.dup(ctx);
  ASSERT_GT(copy, 0);
  EXPECT_EQ(c.Name(copy), "ENGINEERING.ACME");
  NWDSContextHandle copy2 = 0;
  ASSERT_EQ(c.dupHandle(copy, &copy2), 0);
  ASSERT_GT(copy2, 0);
  EXPECT_EQ(c.SetName(copy2, "O=ACME"), 0);
  EXPECT_EQ(c.Name(copy), "ENGINEERING.ACME");
  EXPECT_EQ(c.Name(copy2), "ACME");
  EXPECT_EQ(c.dupHandle(copy, nullptr), ERR_NULL_POINTER);
  EXPECT_EQ(c.dupHandle(987654, &copy2), ERR_BAD_CONTEXT);
  EXPECT_LE(c.dup(987654), 0);
  for (NWDSContextHandle h : {ctx, copy, copy2}) EXPECT_EQ(c.free(h), 0);
}

TEST_F(Contexts, OverlongNamesAndBadKeysAreRefused) {
  const Client& c = Lib();
  ASSERT_TRUE(c.Ready());
  NWDSContextHandle ctx = c.create();
  ASSERT_GT(ctx, 0);
  std::string longName = "OU=" + std::string(60, 'A') + ".OU=" + std::string(60, 'B') + ".O=ACME";
  ASSERT_GE(longName.size(), 128u);
  EXPECT_EQ(c.SetName(ctx, longName), ERR_DN_TOO_LONG);
  // 128 bytes without a terminator: not read past.
  char unterminated[NW_MAX_CONTEXT_NAME];
  std::memset(unterminated, 'A', sizeof unterminated);
  EXPECT_EQ(c.set(ctx, DCK_NAME_CONTEXT, unterminated), ERR_DN_TOO_LONG);
  EXPECT_EQ(c.Name(ctx), "O=ACME");

  nuint32 value = 0;
  EXPECT_EQ(c.set(ctx, 99, &value), ERR_BAD_KEY);
  EXPECT_EQ(c.get(ctx, 99, &value), ERR_BAD_KEY);
  EXPECT_EQ(c.get(ctx, DCK_FLAGS, nullptr), ERR_NULL_POINTER);
  EXPECT_EQ(c.set(ctx, DCK_NAME_CONTEXT, nullptr), ERR_NULL_POINTER);
  EXPECT_EQ(c.get(0, DCK_FLAGS, &value), ERR_BAD_CONTEXT);
  EXPECT_EQ(c.set(-5, DCK_FLAGS, &value), ERR_BAD_CONTEXT);
  nuint32 scope = 2;
  EXPECT_EQ(c.set(ctx, DCK_REFERRAL_SCOPE, &scope), 0);
  EXPECT_EQ(c.get(ctx, DCK_REFERRAL_SCOPE, &value), 0);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(c.free(ctx), 0);
}

TEST_F(Contexts, NamesFollowTheContextsFlagsAndNameContext) {
  const Client& c = Lib();
  ASSERT_TRUE(c.Ready());
  NWDSContextHandle ctx = c.create();
  ASSERT_EQ(c.SetName(ctx, "OU=SALES.O=ACME"), 0);
  nwc::ContextState state;
  ASSERT_TRUE(nwc::GetContextState(ctx, &state));
  nwc::DName name;
  ASSERT_EQ(nwc::ContextName(state, "jsmith", &name), 0);
  EXPECT_EQ(nwc::FormatName(name, false), "CN=jsmith.OU=SALES.O=ACME");
  ASSERT_EQ(nwc::ContextName(state, "ADMIN.", &name), 0);
  EXPECT_EQ(nwc::FormatName(name, false), "CN=ADMIN.O=ACME");
  EXPECT_EQ(nwc::ContextFormat(state, name), "CN=ADMIN.");
  state.flags = DCV_TYPELESS_NAMES;  // not canonicalized: the full name
  EXPECT_EQ(nwc::ContextFormat(state, name), "ADMIN.ACME");
  EXPECT_EQ(c.free(ctx), 0);
}

TEST(ContextsWithoutNetwork, ContextsStillWorkButNamesCannotBeResolved) {
  const Client& c = Lib();
  ASSERT_TRUE(c.Ready());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(nwc::LoadNetworkFromString("{not json", ".", "bad.json"));
  EXPECT_EQ(nwctest::CountLines(testing::internal::GetCapturedStderr()), 1);
  NWDSContextHandle ctx = c.create();
  ASSERT_GT(ctx, 0);
  EXPECT_EQ(c.Name(ctx), "[Root]");
  EXPECT_EQ(c.SetName(ctx, "O=ACME"), ERR_NO_CONNECTION);
  EXPECT_EQ(c.SetName(ctx, "[Root]"), 0);
  LCONV l;
  EXPECT_EQ(c.localeconv(&l), &l);
  EXPECT_EQ(l.country_id, 1);
  EXPECT_EQ(c.free(ctx), 0);
  unsetenv("NWCLIENT_NETWORK");
  nwc::ResetNetwork();
}

TEST_F(Contexts, LocaleAndUnicodeTablesFollowTheWorkstation) {
  const Client& c = Lib();
  ASSERT_TRUE(c.Ready());
  unsigned char raw[sizeof(LCONV) + 8];
  std::memset(raw, 0xAB, sizeof raw);
  LCONV* l = reinterpret_cast<LCONV*>(raw);
  EXPECT_EQ(c.localeconv(l), l);
  EXPECT_EQ(raw[sizeof(LCONV)], 0xAB);  // nothing written past the record
  nint32 country = 0;
  nint32 codePage = 0;
  std::memcpy(&codePage, raw + 56, 4);
  std::memcpy(&country, raw + 60, 4);
  EXPECT_EQ(country, 1);
  EXPECT_EQ(codePage, 437);
  EXPECT_STREQ(l->decimal_point, ".");
  EXPECT_STREQ(l->thousands_sep, ",");
  EXPECT_STREQ(l->currency_symbol, "$");
  EXPECT_STREQ(l->date_separator, "/");
  EXPECT_EQ(c.localeconv(nullptr), nullptr);

  EXPECT_EQ(c.initUni(49, 850), UNI_NO_SUCH_FILE);
  EXPECT_FALSE(nwc::UnicodeTablesLoaded());
  EXPECT_EQ(c.initUni(country, codePage), 0);
  EXPECT_TRUE(nwc::UnicodeTablesLoaded());
  EXPECT_EQ(c.initUni(1, 850), UNI_ALREADY_LOADED);
  EXPECT_EQ(c.freeUni(), 0);
  EXPECT_FALSE(nwc::UnicodeTablesLoaded());

  // Another workstation locale.
  nwctest::TempDir dir;
  ASSERT_TRUE(nwc::LoadNetworkFromString(
      R"({"servers": [], "workstation": {"country": 49, "codePage": 850}})", dir.path()));
  ASSERT_EQ(c.localeconv(l), l);
  EXPECT_EQ(l->country_id, 49);
  EXPECT_EQ(l->code_page, 850);
  EXPECT_STREQ(l->decimal_point, ",");
  EXPECT_STREQ(l->date_separator, ".");
  EXPECT_EQ(c.initUni(1, 437), UNI_NO_SUCH_FILE);
  EXPECT_EQ(c.initUni(49, 850), 0);
  EXPECT_EQ(c.freeUni(), 0);
}
