// Catalogues of the directory unit: the directory attributes the system reads
// (TNWDSAttrType, with their schema names and syntaxes) and the object kinds
// that base-class names map to (TNWDSObjKind). Pure lookups: no client call,
// no change to the unit's last result or last error, usable before binding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "nwclient.h"

// The attribute table: X(ordinal, enumerator, schema attribute name, syntax).
// The enumerator names are part of the stored form format (a form names the
// attribute of an edit field by them), hence daPostmaster without the "s".
// Syntax numbers: 0 none, 1 distinguished name, 3 case-ignore string,
// 4 printable string, 5 numeric string, 7 Boolean, 8 integer, 9 octet string,
// 10 telephone number, 11 facsimile number, 12 network address, 14 e-mail
// address, 15 path, 16 replica pointer, 17 object ACL, 18 postal address,
// 19 timestamp, 20 class name, 21 stream, 22 counter, 23 back link, 24 time,
// 25 typed name, 26 hold, 27 interval.
#define NW_DS_ATTRIBUTES(X) \
    X(  0, dsaAccountBalance,               "Account Balance", 22) \
    X(  1, dsaACL,                          "ACL", 17) \
    X(  2, dsaAliasedObjName,               "Aliased Object Name", 1) \
    X(  3, dsaAllowUnlimitedCredit,         "Allow Unlimited Credit", 7) \
    X(  4, dsaAuthorityRevocation,          "Authority Revocation", 9) \
    X(  5, dsaBackLink,                     "Back Link", 23) \
    X(  6, dsaBinderyObjRestriction,        "Bindery Object Restriction", 8) \
    X(  7, dsaBinderyProperty,              "Bindery Property", 9) \
    X(  8, dsaBinderyType,                  "Bindery Type", 5) \
    X(  9, dsaCountry,                      "C", 3) \
    X( 10, dsaCAPrivateKey,                 "CA Private Key", 9) \
    X( 11, dsaCAPublicKey,                  "CA Public Key", 9) \
    X( 12, dsaCartridge,                    "Cartridge", 3) \
    X( 13, dsaCertificateRevocation,        "Certificate Revocation", 9) \
    X( 14, dsaCertificateValidityInterval,  "Certificate Validity Interval", 27) \
    X( 15, dsaClassName,                    "Object Class", 3) \
    X( 16, dsaCommonName,                   "CN", 3) \
    X( 17, dsaConvergence,                  "Convergence", 8) \
    X( 18, dsaCrossCertificatePair,         "Cross Certificate Pair", 9) \
    X( 19, dsaDefaultQueue,                 "Default Queue", 1) \
    X( 20, dsaDescription,                  "Description", 3) \
    X( 21, dsaDetectIntruder,               "Detect Intruder", 7) \
    X( 22, dsaDevice,                       "Device", 1) \
    X( 23, dsaDSRevision,                   "Revision", 8) \
    X( 24, dsaEmailAddress,                 "EMail Address", 14) \
    X( 25, dsaExternalName,                 "External Name", 9) \
    X( 26, dsaEquivalentToMe,               "Equivalent To Me", 1) \
    X( 27, dsaExternalSynchronizer,         "External Synchronizer", 9) \
    X( 28, dsaFacsimileTelephoneNumber,     "Facsimile Telephone Number", 11) \
    X( 29, dsaFullName,                     "Full Name", 3) \
    X( 30, dsaGenerationalQualifier,        "Generational Qualifier", 3) \
    X( 31, dsaGroupID,                      "GID", 8) \
    X( 32, dsaGivenName,                    "Given Name", 3) \
    X( 33, dsaGroupMembership,              "Group Membership", 1) \
    X( 34, dsaHighConvergenceSyncInterval,  "High Convergence Sync Interval", 27) \
    X( 35, dsaHigherPrivileges,             "Higher Privileges", 1) \
    X( 36, dsaHomeDirectory,                "Home Directory", 15) \
    X( 37, dsaHostDevice,                   "Host Device", 1) \
    X( 38, dsaHostResourceName,             "Host Resource Name", 3) \
    X( 39, dsaHostServer,                   "Host Server", 1) \
    X( 40, dsaInheritedACL,                 "Inherited ACL", 17) \
    X( 41, dsaInitials,                     "Initials", 3) \
    X( 42, dsaIntruderAttemptResetInterval, "Intruder Attempt Reset Interval", 27) \
    X( 43, dsaIntruderLockoutResetInterval, "Intruder Lockout Reset Interval", 27) \
    X( 44, dsaLocality,                     "L", 3) \
    X( 45, dsaLanguage,                     "Language", 3) \
    X( 46, dsaLastLoginTime,                "Last Login Time", 24) \
    X( 47, dsaLastReferencedTime,           "Last Referenced Time", 19) \
    X( 48, dsaLockedByIntruder,             "Locked By Intruder", 7) \
    X( 49, dsaLockoutAfterDetection,        "Lockout After Detection", 7) \
    X( 50, dsaLoginAllowedTimeMap,          "Login Allowed Time Map", 9) \
    X( 51, dsaLoginDisabled,                "Login Disabled", 7) \
    X( 52, dsaLoginExpirationTime,          "Login Expiration Time", 24) \
    X( 53, dsaLoginGraceLimit,              "Login Grace Limit", 8) \
    X( 54, dsaLoginGraceRemaining,          "Login Grace Remaining", 22) \
    X( 55, dsaLoginIntruderAddress,         "Login Intruder Address", 12) \
    X( 56, dsaLoginIntruderAttempts,        "Login Intruder Attempts", 22) \
    X( 57, dsaLoginIntruderLimit,           "Login Intruder Limit", 8) \
    X( 58, dsaLoginIntruderResetTime,       "Login Intruder Reset Time", 24) \
    X( 59, dsaLoginMaximumSimultaneous,     "Login Maximum Simultaneous", 8) \
    X( 60, dsaLoginScript,                  "Login Script", 21) \
    X( 61, dsaLoginTime,                    "Login Time", 24) \
    X( 62, dsaLowConvergenceResetTime,      "Low Convergence Reset Time", 24) \
    X( 63, dsaLowConvergenceSyncInterval,   "Low Convergence Sync Interval", 27) \
    X( 64, dsaMailboxID,                    "Mailbox ID", 3) \
    X( 65, dsaMailboxLocation,              "Mailbox Location", 1) \
    X( 66, dsaMember,                       "Member", 1) \
    X( 67, dsaMemory,                       "Memory", 8) \
    X( 68, dsaMessageRoutingGroup,          "Message Routing Group", 1) \
    X( 69, dsaMessageServer,                "Message Server", 1) \
    X( 70, dsaMessagingDatabaseLocation,    "Messaging Database Location", 15) \
    X( 71, dsaMessagingServer,              "Messaging Server", 1) \
    X( 72, dsaMessagingServerType,          "Messaging Server Type", 3) \
    X( 73, dsaMinimumAccountBalance,        "Minimum Account Balance", 8) \
    X( 74, dsaNetworkAddress,               "Network Address", 12) \
    X( 75, dsaNetworkAddressRestriction,    "Network Access Restriction", 12) \
    X( 76, dsaNNSDomain,                    "NNS Domain", 3) \
    X( 77, dsaNotify,                       "Notify", 25) \
    X( 78, dsaOrganization,                 "O", 3) \
    X( 79, dsaObituary,                     "Obituary", 9) \
    X( 80, dsaObjectClass,                  "Object Class", 20) \
    X( 81, dsaOperator,                     "Operator", 1) \
    X( 82, dsaOrganizationalUnit,           "OU", 3) \
    X( 83, dsaOwner,                        "Owner", 1) \
    X( 84, dsaPageDescriptionLanguage,      "Page Description Language", 4) \
    X( 85, dsaPartitionControl,             "Partition Control", 25) \
    X( 86, dsaPartitionCreationTime,        "Partition Creation Time", 19) \
    X( 87, dsaPasswordAllowChange,          "Password Allow Change", 7) \
    X( 88, dsaPasswordExpirationInterval,   "Password Expiration Interval", 27) \
    X( 89, dsaPasswordExpirationTime,       "Password Expiration Time", 24) \
    X( 90, dsaPasswordMinimumLength,        "Password Minimum Length", 8) \
    X( 91, dsaPasswordRequired,             "Password Required", 7) \
    X( 92, dsaPasswordUniqueRequired,       "Password Unique Required", 7) \
    X( 93, dsaPasswordsUsed,                "Passwords Used", 9) \
    X( 94, dsaPath,                         "Path", 15) \
    X( 95, dsaPhysicalDeliveryOfficeName,   "Physical Delivery Office Name", 3) \
    X( 96, dsaPostalAddress,                "Postal Address", 18) \
    X( 97, dsaPostalCode,                   "Postal Code", 3) \
    X( 98, dsaPostalOfficeBox,              "Postal Office Box", 3) \
    X( 99, daPostmaster,                    "Postmaster", 1) \
    X(100, dsaPrintJobConfiguration,        "Print Job Configuration", 21) \
    X(101, dsaPrintServer,                  "Print Server", 25) \
    X(102, dsaPrinter,                      "Printer", 25) \
    X(103, dsaPrinterConfiguration,         "Printer Configuration", 9) \
    X(104, dsaPrinterControl,               "Printer Control", 21) \
    X(105, dsaPrivateKey,                   "Private Key", 9) \
    X(106, dsaProfile,                      "Profile", 1) \
    X(107, dsaProfileMembership,            "Profile Membership", 1) \
    X(108, dsaPublicKey,                    "Public Key", 9) \
    X(109, dsaQueue,                        "Queue", 25) \
    X(110, dsaQueueDirectory,               "Queue Directory", 3) \
    X(111, dsaReceivedUpTo,                 "Received Up To", 19) \
    X(112, dsaReference,                    "Reference", 1) \
    X(113, dsaReplica,                      "Replica", 16) \
    X(114, dsaReplicaUpTo,                  "Replica Up To", 9) \
    X(115, dsaResource,                     "Resource", 1) \
    X(116, dsaRevision,                     "Revision", 22) \
    X(117, dsaRoleOccupant,                 "Role Occupant", 1) \
    X(118, dsaState,                        "S", 3) \
    X(119, dsaStreetAddress,                "SA", 3) \
    X(120, dsaSAPName,                      "SAP Name", 3) \
    X(121, dsaSecurityEquals,               "Security Equals", 1) \
    X(122, dsaSecurityFlags,                "Security Flags", 8) \
    X(123, dsaSeeAlso,                      "See Also", 1) \
    X(124, dsaSerialNumber,                 "Serial Number", 4) \
    X(125, dsaServer,                       "Server", 1) \
    X(126, dsaServerHolds,                  "Server Holds", 26) \
    X(127, dsaStatus,                       "Status", 8) \
    X(128, dsaSupportedConnections,         "Supported Connections", 8) \
    X(129, dsaSupportedGateway,             "Supported Gateway", 3) \
    X(130, dsaSupportedServices,            "Supported Services", 3) \
    X(131, dsaSupportedTypefaces,           "Supported Typefaces", 3) \
    X(132, dsaSurname,                      "Surname", 3) \
    X(133, dsaSynchronizesUpTo,             "Synchronizes Up To", 19) \
    X(134, dsaTelephoneNumber,              "Telephone Number", 10) \
    X(135, dsaTitle,                        "Title", 3) \
    X(136, dsaTypeCreatorMap,               "Type Creator Map", 21) \
    X(137, dsaUserID,                       "UID", 8) \
    X(138, dsaUnknown,                      "Unknown", 0) \
    X(139, dsaUnknownBaseClass,             "Unknown Base Class", 3) \
    X(140, dsaUser,                         "User", 1) \
    X(141, dsaVersion,                      "Version", 3) \
    X(142, dsaVolume,                       "Volume", 1)

enum TNWDSAttrType : uint8_t {
#define NW_DS_ATTR_ENUMERATOR(ordinal, id, name, syntax) id = ordinal,
    NW_DS_ATTRIBUTES(NW_DS_ATTR_ENUMERATOR)
#undef NW_DS_ATTR_ENUMERATOR
};

// Number of attributes; valid values are 0 .. NWDSAttrTypeCount - 1.
inline constexpr int NWDSAttrTypeCount = 143;

// Schema name of the attribute ("Full Name", "CN", ...); "" for a byte value above 142.
std::string AttrName(TNWDSAttrType attr);

// Syntax number of the attribute; 8 (integer) for a byte value above 142.
uint8_t AttrSyntax(TNWDSAttrType attr);

// Enumerator name as stored in form descriptions ("dsaFullName"); "" out of range.
const char* AttrTypeName(TNWDSAttrType attr);

// Looks an enumerator name up (letter case of a to z ignored, as form readers
// do); false, with attr untouched, for an unknown name.
bool AttrTypeFromName(std::string_view name, TNWDSAttrType& attr);

// Object kinds: the tree's image index and click dispatch. 0 to 25 are
// directory base classes in alphabetical order (23 for any unlisted class);
// 26 to 29 are made by the tree control itself, never by the catalogue.
enum TNWDSObjKind : uint8_t {
    dokAFPServer = 0,
    dokAlias = 1,
    dokBinderyObject = 2,
    dokBinderyQueue = 3,
    dokComputer = 4,
    dokCountry = 5,
    dokDirectoryMap = 6,
    dokExternalEntity = 7,
    dokGroup = 8,
    dokList = 9,
    dokLocality = 10,
    dokMessageRoutingGroup = 11,
    dokMessagingServer = 12,
    dokNCPServer = 13,
    dokOrganization = 14,
    dokOrganizationalRole = 15,
    dokOrganizationalUnit = 16,
    dokPrinter = 17,
    dokPrintServer = 18,
    dokProfile = 19,
    dokQueue = 20,
    dokServer = 21,
    dokTop = 22,
    dokUnknown = 23,
    dokUser = 24,
    dokVolume = 25,
    dokTree = 26,
    dokFile = 27,
    dokDirectory = 28,
    dokQueueJob = 29,
};

// Enumerator name of a kind ("dokUser"); "" for a value above 29.
const char* ObjKindName(TNWDSObjKind kind);

// Kind of a base-class name: exact whole-name comparison with the ASCII letters
// a to z folded to upper case ("User", "user", "USER" -> dokUser); dokUnknown for
// any other name, including "" and names with extra blanks.
TNWDSObjKind ObjectKindOfClass(std::string_view baseClass);

// Kind of a listed object from the client's object-information record. Reads
// only the base-class field, up to its first zero byte and never past its end;
// the record is not modified.
TNWDSObjKind ObjectKindOf(const Object_Info_T& info);
