// The service unit's bindery look-ups and its drive mappings, over faked
// calls.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "netware/nwprop.h"
#include "netware/tessel.h"
#include "tessel_fixture.h"

namespace {

// ---- the bindery ----------------------------------------------------------------

// ADMIN is a user, LASER a print queue, PS1 both a print server and a file
// server; IDs come high byte first.
std::vector<nuint16> probes;
NWCCODE BinderyIDs(NWCONN_HANDLE conn, const char *name, nuint16 type, nuint32 *id) {
  probes.push_back(type);
  const std::string object = name;
  if (conn != kPrimary) return INVALID_CONNECTION;
  if (object == "ADMIN" && type == OT_USER) *id = 0x45230100;
  else if (object == "LASER" && type == OT_PRINT_QUEUE) *id = 0x000000F0;
  else if (object == "PS1" && (type == OT_PRINT_SERVER || type == OT_FILE_SERVER)) *id = 0x07000001;
  else if (object == "ZERO" && type == OT_USER) *id = 0;
  else return NO_SUCH_OBJECT;
  return 0;
}

class BinderyLookupTest : public TesselTest {
 protected:
  BinderyLookupTest() {
    probes.clear();
    client.Replace("NWGetObjectID", &BinderyIDs);
    FAKE(NWLongSwap, [](nuint32 value) -> nuint32 { return __builtin_bswap32(value); });
    Start();
  }
};

TEST_F(BinderyLookupTest, ObjectIDByNameWithoutFallback) {
  NWCONN_HANDLE conn = 0;
  EXPECT_EQ(ObjectIDByName(conn, "admin", OT_USER), 0x45230100u);
  EXPECT_EQ(conn, kPrimary);  // the caller's variable
  EXPECT_EQ(ObjectIDByName(conn, "GUEST", OT_USER), 0u);
  EXPECT_EQ(CallsLastError, NO_SUCH_OBJECT);
  CallsLastError = 0;
  EXPECT_EQ(ObjectIDByName(conn, std::string(48, 'A'), OT_USER), 0u);
  EXPECT_EQ(probes.size(), 2u);  // the over-long name reached no client call
}

TEST_F(BinderyLookupTest, ObjectIDByNameFallsBackToTheDirectory) {
  static std::string asked;
  FAKE(NWDSAuditGetObjectID, [](NWDSContextHandle, const char *name, NWCONN_HANDLE *conn, nuint32 *id) -> NWDSCCODE {
    asked = name;
    if (asked != "jdoe.sales") return ERR_NO_SUCH_ENTRY;
    *conn = 0x3003;
    *id = 0x11223344;
    return 0;
  });
  WithDirectory();
  SetDirectoryFallback(true);

  NWCONN_HANDLE conn = 0;
  EXPECT_EQ(ObjectIDByName(conn, "jdoe.sales", OT_USER), 0x11223344u);
  EXPECT_EQ(asked, "jdoe.sales");  // not upper-cased for the directory
  EXPECT_EQ(conn, 0x3003u);
  EXPECT_EQ(CallsLastResult, NO_SUCH_OBJECT);
  EXPECT_EQ(CallsLastError, 0);

  conn = kPrimary;
  EXPECT_EQ(ObjectIDByName(conn, "ghost", OT_USER), 0u);
  EXPECT_EQ(conn, 0u);
  EXPECT_EQ(CallsLastError, 0);

  conn = kPrimary;
  const std::string longName = "CN=" + std::string(60, 'x');
  ObjectIDByName(conn, longName, OT_USER);
  EXPECT_EQ(asked, longName);  // too long for the bindery, not for the directory
}

TEST_F(BinderyLookupTest, ObjectIDTextInHexWithoutLeadingZeros) {
  EXPECT_EQ(ObjectIDText(0, "ADMIN", OT_USER), "12345");  // swaps to 0x00012345
  EXPECT_EQ(ObjectIDText(0, "ZERO", OT_USER), "0");
  EXPECT_EQ(ObjectIDText(0, "LASER", OT_PRINT_QUEUE), "F0000000");
  EXPECT_EQ(ObjectIDText(0, "GUEST", OT_USER), "0");
  EXPECT_EQ(CallsLastError, 0);  // stored nowhere

  client.Without("NWLongSwap");
  nwlib::ForgetAllEntries();
  EXPECT_EQ(SwapLong(0x12345678), 0u);
  EXPECT_EQ(ObjectIDText(0, "ADMIN", OT_USER), "0");
}

TEST_F(BinderyLookupTest, ObjectIDTextAsksTheDirectoryFirst) {
  static nuint32 directoryID;
  FAKE(NWDSMapNameToID, [](NWDSContextHandle, NWCONN_HANDLE, const char *, nuint32 *id) -> NWDSCCODE {
    *id = directoryID;
    return directoryID == 1 ? ERR_NO_SUCH_ENTRY : 0;
  });
  WithDirectory();
  SetDirectoryFallback(true);

  directoryID = 0x2B1A0000;
  EXPECT_EQ(ObjectIDText(0, "ADMIN", OT_USER), "1A2B");
  directoryID = 1;
  EXPECT_EQ(ObjectIDText(0, "ADMIN", OT_USER), "");
  EXPECT_TRUE(probes.empty());
  directoryID = 0;  // the directory says "0": the bindery answers
  EXPECT_EQ(ObjectIDText(0, "ADMIN", OT_USER), "12345");
}

TEST_F(BinderyLookupTest, ObjectNameByIDWithDirectoryFallback) {
  FAKE(NWGetObjectName, [](NWCONN_HANDLE, nuint32 id, char *name, nuint16 *) -> NWCCODE {
    if (id != 0x45230100) return NO_SUCH_OBJECT;
    std::memset(name, 'N', 49);  // the whole 50-byte area
    return 0;
  });
  FAKE(NWDSMapIDToName, [](NWDSContextHandle, NWCONN_HANDLE, nuint32 id, char *name) -> NWDSCCODE {
    if (id != 0x99) return ERR_NO_SUCH_ENTRY;
    std::strcpy(name, "CN=JDoe.O=Sales");
    return 0;
  });
  EXPECT_EQ(ObjectNameByID(0, 0x45230100), std::string(49, 'N'));
  EXPECT_EQ(ObjectNameByID(0, 0x99), "");
  EXPECT_EQ(CallsLastError, NO_SUCH_OBJECT);

  WithDirectory();
  SetDirectoryFallback(true);
  EXPECT_EQ(ObjectNameByID(0, 0x99), "CN=JDoe.O=Sales");
}

TEST_F(BinderyLookupTest, BinderyTypeProbesInItsOrder) {
  EXPECT_EQ(BinderyTypeOf(0, "laser"), OT_PRINT_QUEUE);
  EXPECT_EQ(probes, (std::vector<nuint16>{OT_USER, OT_USER_GROUP, OT_PRINT_QUEUE}));
  EXPECT_EQ(BinderyTypeOf(0, "PS1"), OT_PRINT_SERVER);

  probes.clear();
  EXPECT_EQ(BinderyTypeOf(0, "NOBODY"), 0);
  const std::vector<nuint16> order = {0x0100, 0x0200, 0x0300, 0x0700, 0x0400, 0x0500, 0x0600,
                                      0x0800, 0x0900, 0x0A00, 0x0B00, 0x2100, 0x2600, 0x2700};
  EXPECT_EQ(probes, order);
}

TEST_F(BinderyLookupTest, ObjectListInScanOrder) {
  FAKE(NWScanObject, [](NWCONN_HANDLE conn, const char *pattern, nuint16 type, nuint32 *id, char *name,
                        nuint16 *objectType, nuint8 *, nuint8 *, nuint8 *) -> NWCCODE {
    if (conn != kPrimary || std::string(pattern) != "*" || type != OT_USER_GROUP) return NO_SUCH_OBJECT;
    // IDs run 0xFFFFFFFF -> 1 -> 2 -> 3 -> end.
    const nuint32 next = *id == 0xFFFFFFFF ? 1 : *id + 1;
    if (next > 3) return NO_SUCH_OBJECT;
    *id = next;
    *objectType = type;
    if (next == 2) {
      std::memset(name, 'G', 48);  // no terminator in the field
    } else {
      std::snprintf(name, 48, "GROUP%u", static_cast<unsigned>(next));
    }
    return 0;
  });
  const TNWObjList groups = BinderyObjectList(0, OT_USER_GROUP);
  const TNWObjList expected = {{"GROUP1", 1}, {std::string(48, 'G'), 2}, {"GROUP3", 3}};
  EXPECT_EQ(groups, expected);
  EXPECT_TRUE(BinderyObjectList(0, OT_PRINT_QUEUE).empty());
  EXPECT_EQ(CallsLastError, 0);
}

TEST_F(BinderyLookupTest, FullNameFromTheIdentificationProperty) {
  static std::string property;
  static nuint16 type;
  static nuint8 segment;
  FAKE(NWReadPropertyValue, [](NWCONN_HANDLE, const char *name, nuint16 objectType, const char *propertyName,
                               nuint8 segmentNumber, nuint8 *data, nuint8 *, nuint8 *) -> NWCCODE {
    property = propertyName;
    type = objectType;
    segment = segmentNumber;
    if (std::string(name) != "ADMIN") return NO_SUCH_PROPERTY;
    std::memset(data, 'F', 128);  // a full segment without a terminator
    return 0;
  });
  std::string text;
  ObjectFullName(0, "admin", text);
  EXPECT_EQ(text, std::string(128, 'F'));
  EXPECT_EQ(property, "IDENTIFICATION");
  EXPECT_EQ(type, OT_USER);
  EXPECT_EQ(segment, 1);

  ObjectFullName(0, "laser", text);  // no such property: the name stands in
  EXPECT_EQ(text, "LASER");
  EXPECT_EQ(type, OT_PRINT_QUEUE);
  ObjectFullName(0, "  laser \x01", text);
  EXPECT_EQ(text, "LASER");

  SetDirectoryFallback(true);  // no directory answers: the bindery still does
  ObjectFullName(0, "guest ", text);
  EXPECT_EQ(text, "GUEST");

  client.Without("NWReadPropertyValue");
  nwlib::ForgetAllEntries();
  ObjectFullName(0, "admin", text);
  EXPECT_EQ(text, "ADMIN");
}

// ---- drives and paths --------------------------------------------------------------

// The first network drive is F; F and G are mapped, the rest is free.
std::vector<nuint16> statusAsked;
class DriveMapTest : public TesselTest {
 protected:
  DriveMapTest() {
    statusAsked.clear();
    FAKE(NWGetFirstDrive, [](nuint16 *drive) -> NWCCODE {
      *drive = 6;
      return 0;
    });
    FAKE(NWGetDriveStatus, [](nuint16 drive, nuint16, nuint16 *status, NWCONN_HANDLE *, char *, char *,
                              char *) -> NWCCODE {
      statusAsked.push_back(drive);
      *status = (drive == 6 || drive == 7) ? NW_NETWORK_DRIVE | NW_NETWARE_DRIVE : NW_FREE_DRIVE;
      return 0;
    });
    Start();
  }
};

TEST_F(DriveMapTest, FirstAndNextFreeDrive) {
  EXPECT_EQ(FirstDriveLetter(), 'F');
  EXPECT_EQ(NextFreeDriveLetter(), 'H');
  EXPECT_EQ(statusAsked, (std::vector<nuint16>{6, 7, 8}));

  FAKE(NWGetFirstDrive, [](nuint16 *) -> NWCCODE { return INVALID_DRIVE; });
  nwlib::ForgetAllEntries();
  statusAsked.clear();
  EXPECT_EQ(FirstDriveLetter(), 0);
  EXPECT_EQ(NextFreeDriveLetter(), 0);
  EXPECT_TRUE(statusAsked.empty());
}

struct Mapping {
  std::vector<std::string> calls;
};
Mapping mapping;

TEST_F(DriveMapTest, MapDriveReplacesTheLettersMapping) {
  mapping = Mapping{};
  FAKE(NWParseNetWarePath, [](const char *path, NWCONN_HANDLE *conn, NWDIR_HANDLE *dir, char *restated) -> NWCCODE {
    mapping.calls.push_back(std::string("parse ") + path);
    if (std::string(path) != "SRV1/SYS:") return INVALID_PATH;
    *conn = 0x2002;
    *dir = 3;
    std::strcpy(restated, "SYS:");
    return 0;
  });
  FAKE(NWDeleteDriveBase, [](nuint16 drive, nuint16 scope) -> NWCCODE {
    mapping.calls.push_back("delete " + std::to_string(drive) + "/" + std::to_string(scope));
    return drive == 8 ? NWE_DRIVE_NOT_MAPPED : 0;
  });
  FAKE(NWSetDriveBase, [](nuint16 drive, NWCONN_HANDLE conn, NWDIR_HANDLE dir, const char *path,
                          nuint16 scope) -> NWCCODE {
    mapping.calls.push_back("set " + std::to_string(drive) + " " + std::to_string(conn) + " " +
                            std::to_string(dir) + " " + path + " " + std::to_string(scope));
    return 0;
  });
  EXPECT_TRUE(MapDrive('h', "srv1/sys:"));
  const std::vector<std::string> expected = {"parse SRV1/SYS:", "delete 8/0", "set 8 8194 3 SYS: 0"};
  EXPECT_EQ(mapping.calls, expected);

  mapping.calls.clear();
  EXPECT_FALSE(MapDrive('H', "nowhere"));
  EXPECT_EQ(mapping.calls.size(), 1u);  // the old mapping stays
  EXPECT_FALSE(MapDrive('H', std::string(256, 'p')));
  EXPECT_EQ(mapping.calls.size(), 1u);

  mapping.calls.clear();
  CallsLastError = 0;
  EXPECT_FALSE(UnmapDrive(""));
  EXPECT_TRUE(mapping.calls.empty());
  EXPECT_TRUE(UnmapDrive("g:"));
  EXPECT_FALSE(UnmapDrive("h"));
  EXPECT_EQ(mapping.calls, (std::vector<std::string>{"delete 7/0", "delete 8/0"}));
  EXPECT_EQ(CallsLastError, NWE_DRIVE_NOT_MAPPED);
}

TEST_F(DriveMapTest, SplitPathCutsItsParts) {
  FAKE(NWParsePath, [](const char *path, char *server, NWCONN_HANDLE *conn, char *volume, char *dir) -> NWCCODE {
    if (std::string(path) != "SRV1/" + std::string(200, 'V') + ":PUBLIC") return INVALID_PATH;
    std::strcpy(server, "SRV1");
    *conn = 0x2002;
    std::memset(volume, 'V', 200);
    volume[200] = '\0';
    std::strcpy(dir, "PUBLIC");
    return 0;
  });
  TNWParsedPath info;
  EXPECT_TRUE(SplitNetWarePath("srv1/" + std::string(200, 'v') + ":public", info));
  EXPECT_EQ(info.Connection, 0x2002u);
  EXPECT_EQ(info.ServerName, "SRV1");
  EXPECT_EQ(info.VolumeName, std::string(128, 'V'));
  EXPECT_EQ(info.DirPath, "PUBLIC");

  EXPECT_FALSE(SplitNetWarePath("srv1/sys:", info));
  EXPECT_EQ(info.Connection, 0u);
  EXPECT_TRUE(info.ServerName.empty() && info.VolumeName.empty() && info.DirPath.empty());
  EXPECT_EQ(CallsLastError, INVALID_PATH);
}

TEST_F(DriveMapTest, ErrorModeReturnsThePreviousOne) {
  static nuint8 current;
  current = 0;
  FAKE(NWSetNetWareErrorMode, [](nuint8 mode, nuint8 *previous) -> NWCCODE {
    if (mode > 2) return INVALID_PARAMETER;
    *previous = current;
    current = mode;
    return 0;
  });
  EXPECT_EQ(ApplyErrorMode(1), 0);
  EXPECT_EQ(ApplyErrorMode(2), 1);
  EXPECT_EQ(ApplyErrorMode(7), 0);
  EXPECT_EQ(CallsLastError, INVALID_PARAMETER);
  EXPECT_EQ(current, 2);
}

}  // namespace
