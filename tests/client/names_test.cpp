#include <gtest/gtest.h>

#include "names.h"
#include "nwclient.h"

using namespace nwc;

namespace {

DName Canon(std::string_view text, std::string_view context = "[Root]", const TypeOracle& oracle = {}) {
  DName ctx;
  EXPECT_EQ(CanonicalizeName(context, DName{}, {}, &ctx), 0) << context;
  DName out;
  EXPECT_EQ(CanonicalizeName(text, ctx, oracle, &out), 0) << text;
  return out;
}

std::string Typed(std::string_view text, std::string_view context = "[Root]", const TypeOracle& oracle = {}) {
  return FormatName(Canon(text, context, oracle), false);
}

int Code(std::string_view text, std::string_view context = "[Root]") {
  DName ctx;
  CanonicalizeName(context, DName{}, {}, &ctx);
  DName out;
  return CanonicalizeName(text, ctx, {}, &out);
}

// A small tree: [Root] > C=US > O=ACME-US, [Root] > O=ACME > OU=SALES > CN=JSMITH
std::string TreeType(const DName& parent, const std::string& value) {
  const std::string p = FormatName(parent, false);
  if (p == "[Root]") {
    if (EqualNoCase(value, "US")) return "C";
    if (EqualNoCase(value, "ACME")) return "O";
  }
  if (p == "C=US" && EqualNoCase(value, "ACME-US")) return "O";
  if (p == "O=ACME" && EqualNoCase(value, "SALES")) return "OU";
  if (p == "OU=SALES.O=ACME" && EqualNoCase(value, "JSMITH")) return "CN";
  return {};
}

}  // namespace

TEST(Names, TypedAndTypelessFormsRoundTrip) {
  DName n = Canon("cn=JSmith.ou=Sales.o=Acme");
  ASSERT_EQ(n.Depth(), 3u);
  EXPECT_EQ(n.parts[0].type, "CN");
  EXPECT_EQ(n.parts[0].value, "JSmith");  // values keep their case
  EXPECT_EQ(FormatName(n, false), "CN=JSmith.OU=Sales.O=Acme");
  EXPECT_EQ(FormatName(n, true), "JSmith.Sales.Acme");
  EXPECT_TRUE(SameName(n, Canon("CN=JSMITH.OU=SALES.O=ACME")));
  EXPECT_FALSE(SameName(n, Canon("CN=JSMITH.OU=SALES.O=OTHER")));
  EXPECT_EQ(FormatName(DName{}, false), "[Root]");
  EXPECT_TRUE(Canon("[root]").IsRoot());
}

TEST(Names, EscapedDotsStayInsideAPart) {
  DName n = Canon("CN=J\\.Smith.O=A\\=B");
  ASSERT_EQ(n.Depth(), 2u);
  EXPECT_EQ(n.parts[0].value, "J.Smith");
  EXPECT_EQ(n.parts[1].value, "A=B");
  EXPECT_EQ(FormatName(n, false), "CN=J\\.Smith.O=A\\=B");
  EXPECT_EQ(FormatName(n, true), "J\\.Smith.A\\=B");
  // Formatting and parsing again gives the same name.
  EXPECT_TRUE(SameName(Canon(FormatName(n, false)), n));
  EXPECT_EQ(Code("CN=BAD\\"), ERR_INVALID_DS_NAME);  // nothing left to escape
}

TEST(Names, ContextIsAppendedToRelativeNames) {
  EXPECT_EQ(Typed("CN=JSMITH", "OU=SALES.O=ACME"), "CN=JSMITH.OU=SALES.O=ACME");
  // A leading dot makes the name absolute.
  EXPECT_EQ(Typed(".CN=ADMIN.O=ACME", "OU=SALES.O=ACME"), "CN=ADMIN.O=ACME");
  // Each trailing dot climbs one level of the context.
  EXPECT_EQ(Typed("CN=ADMIN.", "OU=SALES.O=ACME"), "CN=ADMIN.O=ACME");
  EXPECT_EQ(Typed("O=OTHER..", "OU=SALES.O=ACME"), "O=OTHER");
  EXPECT_EQ(Typed(".", "OU=SALES.O=ACME"), "O=ACME");
  EXPECT_EQ(Typed("", "OU=SALES.O=ACME"), "OU=SALES.O=ACME");  // the context itself
  EXPECT_EQ(Code("CN=X...", "OU=SALES.O=ACME"), ERR_INVALID_DS_NAME);  // above the root
  EXPECT_EQ(Code(".CN=X.", "O=ACME"), ERR_INVALID_DS_NAME);
  EXPECT_EQ(Code("CN=A..O=B"), ERR_INVALID_DS_NAME);
  EXPECT_EQ(Code("CN="), ERR_INVALID_DS_NAME);
  EXPECT_EQ(Code("XX=A"), ERR_INVALID_DS_NAME);
  EXPECT_EQ(Code("CN=A=B"), ERR_INVALID_DS_NAME);
}

TEST(Names, TypelessPartsTakeTheTreesTypesOrTheDefaultRule) {
  TypeOracle oracle = TreeType;
  EXPECT_EQ(Typed("JSMITH.SALES.ACME", "[Root]", oracle), "CN=JSMITH.OU=SALES.O=ACME");
  EXPECT_EQ(Typed("ACME-US.US", "[Root]", oracle), "O=ACME-US.C=US");
  EXPECT_EQ(Typed("US", "[Root]", oracle), "C=US");
  EXPECT_EQ(Typed("jsmith", "OU=SALES.O=ACME", oracle), "CN=jsmith.OU=SALES.O=ACME");
  // Without the tree: leftmost CN, topmost O, between them OU.
  EXPECT_EQ(Typed("A.B.C.D"), "CN=A.OU=B.OU=C.O=D");
  EXPECT_EQ(Typed("ACME-US.US"), "CN=ACME-US.O=US");
  // Where the tree knows no object the rule takes over below it.
  EXPECT_EQ(Typed("X.NOWHERE.ACME", "[Root]", oracle), "CN=X.OU=NOWHERE.O=ACME");
  // Typed parts keep their types.
  EXPECT_EQ(Typed("CN=X.SALES.ACME", "[Root]", oracle), "CN=X.OU=SALES.O=ACME");
}

TEST(Names, OverlongNamesAreRefused) {
  std::string part(64, 'A');
  EXPECT_EQ(Code("CN=" + part), 0);
  EXPECT_EQ(Code("CN=" + part + "A"), ERR_RDN_TOO_LONG);
  std::string longName;
  while (longName.size() < 256) longName += "ABCDEFGH.";
  longName.resize(256);
  EXPECT_EQ(Code(longName), ERR_DN_TOO_LONG);
  // Short enough as written, too long once typed and given its context.
  std::string text;
  for (int i = 0; i < 40; ++i) text += (i ? "." : "") + std::string("ABCD");
  ASSERT_LE(text.size(), 255u);
  EXPECT_EQ(Code(text, "O=ACME"), ERR_DN_TOO_LONG);
}

TEST(Names, RelativeFormsAbbreviateAgainstTheContext) {
  DName ctx = Canon("OU=SALES.O=ACME");
  EXPECT_EQ(FormatRelative(Canon("CN=JSMITH.OU=SALES.O=ACME"), ctx, false), "CN=JSMITH");
  EXPECT_EQ(FormatRelative(Canon("CN=ADMIN.O=ACME"), ctx, false), "CN=ADMIN.");
  EXPECT_EQ(FormatRelative(Canon("C=US"), ctx, true), "US..");
  EXPECT_EQ(FormatRelative(Canon("OU=SALES.O=ACME"), ctx, false), "OU=SALES.");
  EXPECT_EQ(FormatRelative(Canon("CN=X.O=ACME"), DName{}, true), "X.ACME");
  // Every relative form leads back to the same name.
  for (const char* name : {"CN=JSMITH.OU=SALES.O=ACME", "CN=ADMIN.O=ACME", "C=US", "OU=SALES.O=ACME",
                           "CN=Q.OU=ENG.O=ACME"}) {
    DName full = Canon(name);
    DName back;
    ASSERT_EQ(CanonicalizeName(FormatRelative(full, ctx, false), ctx, {}, &back), 0) << name;
    EXPECT_TRUE(SameName(back, full)) << name;
  }
}

TEST(Names, WithinTellsContainment) {
  EXPECT_TRUE(IsWithin(Canon("CN=A.OU=S.O=ACME"), Canon("o=acme")));
  EXPECT_TRUE(IsWithin(Canon("O=ACME"), Canon("O=ACME")));
  EXPECT_TRUE(IsWithin(Canon("O=ACME"), DName{}));
  EXPECT_FALSE(IsWithin(Canon("CN=A.O=ACMEX"), Canon("O=ACME")));
  EXPECT_FALSE(IsWithin(Canon("O=ACME"), Canon("OU=S.O=ACME")));
}

TEST(Names, NoWrittenNameReadsBackAsTheRoot) {
  // An object called [Root] keeps its own name in every form the client
  // writes, so that none reads back as the tree's root.
  const DName n = Canon("CN=[Root].O=ACME");
  ASSERT_EQ(n.Depth(), 2u);
  EXPECT_EQ(n.parts[0].value, "[Root]");
  const DName ctx = Canon("O=ACME");
  TypeOracle oracle = [](const DName& parent, const std::string& value) -> std::string {
    if (parent.IsRoot() && value == "ACME") return "O";
    if (parent.Depth() == 1 && EqualNoCase(value, "[Root]")) return "CN";
    return {};
  };
  for (bool typeless : {false, true}) {
    // The full name read from [Root], the shortest one from the context.
    const std::pair<std::string, DName> forms[] = {{FormatName(n, typeless), DName{}},
                                                   {FormatRelative(n, ctx, typeless), ctx}};
    for (const auto& [text, context] : forms) {
      SCOPED_TRACE(text);
      EXPECT_NE(text, "[Root]");
      DName back;
      ASSERT_EQ(CanonicalizeName(text, context, oracle, &back), 0);
      EXPECT_TRUE(SameName(back, n));
    }
  }
  EXPECT_EQ(FormatName(Canon("CN=[ROOT]"), true), "\\[ROOT]");
  EXPECT_TRUE(Canon("[ROOT]").IsRoot());
}

TEST(Names, ControlCharactersAreInNoName) {
  EXPECT_EQ(Code(std::string_view("CN=A\0B", 6)), ERR_INVALID_DS_NAME);
  EXPECT_EQ(Code("CN=A\nB.O=X"), ERR_INVALID_DS_NAME);
  EXPECT_EQ(Code("A\x7F"), ERR_INVALID_DS_NAME);
  EXPECT_EQ(Code("CN=A\\\x01"), ERR_INVALID_DS_NAME);  // not even escaped
  EXPECT_EQ(Code("CN=A B\xC3\xA9"), 0);  // blanks and letters beyond ASCII are fine
}
