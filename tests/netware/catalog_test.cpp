#include "netware/nwnds_catalog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

TNWDSAttrType Attr(int value)
{
    return static_cast<TNWDSAttrType>(value);
}

TEST(AttrCatalogue, KnownRows)
{
    EXPECT_EQ(static_cast<int>(dsaTelephoneNumber), 134);
    EXPECT_EQ(AttrName(dsaTelephoneNumber), "Telephone Number");
    EXPECT_EQ(AttrSyntax(dsaTelephoneNumber), 10);

    EXPECT_EQ(static_cast<int>(daPostmaster), 99);
    EXPECT_EQ(AttrName(daPostmaster), "Postmaster");
    EXPECT_EQ(AttrSyntax(daPostmaster), 1);

    EXPECT_EQ(AttrName(dsaUnknown), "Unknown");
    EXPECT_EQ(AttrSyntax(dsaUnknown), 0);
    EXPECT_EQ(AttrName(dsaUnknownBaseClass), "Unknown Base Class");
    EXPECT_EQ(AttrSyntax(dsaUnknownBaseClass), 3);

    EXPECT_EQ(AttrName(dsaAccountBalance), "Account Balance");
    EXPECT_EQ(AttrSyntax(dsaAccountBalance), 22);
    EXPECT_EQ(AttrName(dsaVolume), "Volume");
    EXPECT_EQ(static_cast<int>(dsaVolume), 142);

    EXPECT_EQ(AttrName(dsaLoginScript), "Login Script");
    EXPECT_EQ(AttrSyntax(dsaLoginScript), 21);
    EXPECT_EQ(AttrName(dsaHomeDirectory), "Home Directory");
    EXPECT_EQ(AttrSyntax(dsaHomeDirectory), 15);
}

TEST(AttrCatalogue, NamesThatDifferFromTheirEnumerators)
{
    EXPECT_EQ(AttrName(dsaCountry), "C");
    EXPECT_EQ(AttrName(dsaLocality), "L");
    EXPECT_EQ(AttrName(dsaOrganization), "O");
    EXPECT_EQ(AttrName(dsaOrganizationalUnit), "OU");
    EXPECT_EQ(AttrName(dsaState), "S");
    EXPECT_EQ(AttrName(dsaStreetAddress), "SA");
    EXPECT_EQ(AttrName(dsaCommonName), "CN");
    EXPECT_EQ(AttrName(dsaGroupID), "GID");
    EXPECT_EQ(AttrName(dsaUserID), "UID");
    EXPECT_EQ(AttrName(dsaEmailAddress), "EMail Address");
    EXPECT_EQ(AttrName(dsaNetworkAddressRestriction), "Network Access Restriction");
    EXPECT_EQ(static_cast<int>(dsaCountry), 9);
    EXPECT_EQ(static_cast<int>(dsaState), 118);
    EXPECT_EQ(static_cast<int>(dsaStreetAddress), 119);
}

TEST(AttrCatalogue, SharedNamesKeepTheirOwnSyntax)
{
    EXPECT_EQ(AttrName(dsaClassName), "Object Class");
    EXPECT_EQ(AttrName(dsaClassName), AttrName(dsaObjectClass));
    EXPECT_EQ(AttrSyntax(dsaClassName), 3);
    EXPECT_EQ(AttrSyntax(dsaObjectClass), 20);

    EXPECT_EQ(AttrName(dsaDSRevision), "Revision");
    EXPECT_EQ(AttrName(dsaDSRevision), AttrName(dsaRevision));
    EXPECT_EQ(AttrSyntax(dsaDSRevision), 8);
    EXPECT_EQ(AttrSyntax(dsaRevision), 22);
}

TEST(AttrCatalogue, OutOfRangeValues)
{
    for (int value : {143, 200, 255}) {
        EXPECT_EQ(AttrName(Attr(value)), "") << value;
        EXPECT_EQ(AttrSyntax(Attr(value)), 8) << value;
        EXPECT_STREQ(AttrTypeName(Attr(value)), "") << value;
    }
}

TEST(AttrCatalogue, WholeTableInvariants)
{
    // Every name is present, the only repeated ones are the two known pairs,
    // and every syntax is one the directory defines.
    const std::set<int> syntaxes = {0, 1, 3, 4, 5, 7, 8, 9, 10, 11, 12, 14, 15, 16,
                                    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};
    std::set<std::string> attrNames;
    std::set<std::string> enumerators;
    for (int value = 0; value < NWDSAttrTypeCount; ++value) {
        const std::string name = AttrName(Attr(value));
        EXPECT_FALSE(name.empty()) << value;
        EXPECT_LE(name.size(), 32u) << value;  // fits the client's attribute-name area
        EXPECT_NE(name.front(), ' ') << value;
        EXPECT_NE(name.back(), ' ') << value;
        attrNames.insert(name);
        EXPECT_TRUE(syntaxes.count(AttrSyntax(Attr(value)))) << value;
        enumerators.insert(AttrTypeName(Attr(value)));
    }
    EXPECT_EQ(attrNames.size(), static_cast<size_t>(NWDSAttrTypeCount) - 2);
    EXPECT_EQ(enumerators.size(), static_cast<size_t>(NWDSAttrTypeCount));
}

TEST(AttrCatalogue, EnumeratorNamesRoundTrip)
{
    std::set<std::string> folded;
    for (int value = 0; value < NWDSAttrTypeCount; ++value) {
        const std::string name = AttrTypeName(Attr(value));
        ASSERT_FALSE(name.empty()) << value;
        EXPECT_TRUE(name.rfind("dsa", 0) == 0 || name == "daPostmaster") << name;
        TNWDSAttrType back = dsaUnknown;
        ASSERT_TRUE(AttrTypeFromName(name, back)) << name;
        EXPECT_EQ(static_cast<int>(back), value) << name;
        std::string upper = name;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        folded.insert(upper);
    }
    // Names stay distinct when letter case is ignored, so lookup is unambiguous.
    EXPECT_EQ(folded.size(), static_cast<size_t>(NWDSAttrTypeCount));
}

TEST(AttrCatalogue, NameLookup)
{
    TNWDSAttrType attr = dsaUnknown;
    EXPECT_TRUE(AttrTypeFromName("dsaFullName", attr));
    EXPECT_EQ(attr, dsaFullName);
    EXPECT_STREQ(AttrTypeName(dsaCommonName), "dsaCommonName");
    EXPECT_TRUE(AttrTypeFromName("DSACOMMONNAME", attr));
    EXPECT_EQ(attr, dsaCommonName);
    EXPECT_TRUE(AttrTypeFromName("daPostmaster", attr));
    EXPECT_EQ(attr, daPostmaster);

    attr = dsaMember;
    EXPECT_FALSE(AttrTypeFromName("dsaPostmaster", attr));
    EXPECT_FALSE(AttrTypeFromName("", attr));
    EXPECT_FALSE(AttrTypeFromName("dsaFullName ", attr));
    EXPECT_FALSE(AttrTypeFromName("Full Name", attr));
    EXPECT_FALSE(AttrTypeFromName(std::string_view("dsaFullName\0x", 13), attr));
    EXPECT_EQ(attr, dsaMember);
}

Object_Info_T InfoWith(const char* baseClass)
{
    Object_Info_T info;
    std::memset(&info, 0, sizeof info);
    std::strncpy(info.baseClass, baseClass, sizeof info.baseClass - 1);
    return info;
}

TNWDSObjKind KindOf(const char* baseClass)
{
    const Object_Info_T info = InfoWith(baseClass);
    return ObjectKindOf(info);
}

TEST(ObjectKindCatalogue, LetterCaseAndExactNames)
{
    EXPECT_EQ(KindOf("User"), dokUser);
    EXPECT_EQ(KindOf("user"), dokUser);
    EXPECT_EQ(KindOf("USER"), dokUser);
    EXPECT_EQ(KindOf("Organizational Unit"), dokOrganizationalUnit);
    EXPECT_EQ(KindOf("Organization"), dokOrganization);
    EXPECT_EQ(KindOf("Organizational Role"), dokOrganizationalRole);
    EXPECT_EQ(KindOf("Print Server"), dokPrintServer);
    EXPECT_EQ(KindOf("Printer"), dokPrinter);
    EXPECT_EQ(KindOf("Server"), dokServer);
    EXPECT_EQ(KindOf("NCP Server"), dokNCPServer);
    EXPECT_EQ(KindOf("AFP Server"), dokAFPServer);
    EXPECT_EQ(KindOf("Messaging Server"), dokMessagingServer);
    EXPECT_EQ(KindOf("Top"), dokTop);
    EXPECT_EQ(KindOf("Volume"), dokVolume);
    EXPECT_EQ(KindOf("Queue"), dokQueue);
    EXPECT_EQ(KindOf("Group"), dokGroup);
    EXPECT_EQ(KindOf("bindery object"), dokBinderyObject);
}

TEST(ObjectKindCatalogue, UnlistedNamesAreUnknown)
{
    EXPECT_EQ(KindOf("Organizational Person"), dokUnknown);
    EXPECT_EQ(KindOf("Unknown"), dokUnknown);
    EXPECT_EQ(KindOf(""), dokUnknown);
    EXPECT_EQ(KindOf("USER "), dokUnknown);
    EXPECT_EQ(KindOf(" USER"), dokUnknown);
    EXPECT_EQ(KindOf("USERS"), dokUnknown);
    EXPECT_EQ(KindOf("USE"), dokUnknown);
    // Only a to z fold; a Latin-1 lookalike is not a match.
    EXPECT_EQ(KindOf("Us\xE9r"), dokUnknown);
}

TEST(ObjectKindCatalogue, ReadsOnlyTheBaseClassField)
{
    Object_Info_T info = InfoWith("Volume");
    info.objectFlags = 0xFFFFFFFF;
    info.subordinateCount = 12;
    info.modificationTime = 0x12345678;
    EXPECT_EQ(ObjectKindOf(info), dokVolume);
    EXPECT_STREQ(info.baseClass, "Volume");  // the record is left as it was

    // Text after the terminating zero is ignored.
    std::memcpy(info.baseClass, "User\0Volume", 11);
    EXPECT_EQ(ObjectKindOf(info), dokUser);

    // A field filled to the last byte without a terminator is read up to its end
    // and no further (sanitizers catch a read past it).
    auto* whole = new Object_Info_T;
    std::memset(whole->baseClass, 'A', sizeof whole->baseClass);
    EXPECT_EQ(ObjectKindOf(*whole), dokUnknown);
    delete whole;
}

// "dokOrganizationalUnit" -> "Organizational Unit", "dokNCPServer" -> "NCP Server".
std::string ClassWords(const char* enumerator)
{
    const std::string bare = std::string(enumerator).substr(3);
    std::string words;
    for (size_t i = 0; i < bare.size(); ++i) {
        const bool upper = bare[i] >= 'A' && bare[i] <= 'Z';
        const bool lowerNext = i + 1 < bare.size() && bare[i + 1] >= 'a' && bare[i + 1] <= 'z';
        if (i > 0 && upper && lowerNext)
            words += ' ';
        words += bare[i];
    }
    return words;
}

TEST(ObjectKindCatalogue, EveryListedKindIsReachedByItsOwnName)
{
    for (int value = dokAFPServer; value <= dokQueueJob; ++value) {
        const auto kind = static_cast<TNWDSObjKind>(value);
        const std::string words = ClassWords(ObjKindName(kind));
        // The tree control makes 26 to 29 itself; "Unknown" is no class either.
        const TNWDSObjKind expected = (value >= dokTree || kind == dokUnknown) ? dokUnknown : kind;
        EXPECT_EQ(KindOf(words.c_str()), expected) << words;
        EXPECT_EQ(ObjectKindOfClass(words), expected) << words;
    }
    EXPECT_EQ(ClassWords("dokMessageRoutingGroup"), "Message Routing Group");
    EXPECT_EQ(KindOf("dokUser"), dokUnknown);
}

TEST(ObjectKindCatalogue, KindNames)
{
    EXPECT_STREQ(ObjKindName(dokAFPServer), "dokAFPServer");
    EXPECT_STREQ(ObjKindName(dokUnknown), "dokUnknown");
    EXPECT_STREQ(ObjKindName(dokUser), "dokUser");
    EXPECT_STREQ(ObjKindName(dokQueueJob), "dokQueueJob");
    EXPECT_EQ(static_cast<int>(dokQueueJob), 29);
    EXPECT_STREQ(ObjKindName(static_cast<TNWDSObjKind>(30)), "");
    EXPECT_STREQ(ObjKindName(static_cast<TNWDSObjKind>(255)), "");
}

}  // namespace
