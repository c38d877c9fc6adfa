#include "schema.h"

#include <algorithm>
#include <array>

#include "names.h"
#include "nwclient.h"

namespace nwc {

namespace {

const std::array<AttributeDef, 140> kAttributes = {{
    {"Account Balance", SYN_COUNTER},
    {"ACL", SYN_OBJECT_ACL},
    {"Aliased Object Name", SYN_DIST_NAME},
    {"Allow Unlimited Credit", SYN_BOOLEAN},
    {"Authority Revocation", SYN_OCTET_STRING},
    {"Back Link", SYN_BACK_LINK},
    {"Bindery Object Restriction", SYN_INTEGER},
    {"Bindery Property", SYN_OCTET_STRING},
    {"Bindery Type", SYN_NU_STRING},
    {"C", SYN_CI_STRING},
    {"CA Private Key", SYN_OCTET_STRING},
    {"CA Public Key", SYN_OCTET_STRING},
    {"Cartridge", SYN_CI_STRING},
    {"Certificate Revocation", SYN_OCTET_STRING},
    {"Certificate Validity Interval", SYN_INTERVAL},
    {"Object Class", SYN_CLASS_NAME},
    {"CN", SYN_CI_STRING},
    {"Convergence", SYN_INTEGER},
    {"Cross Certificate Pair", SYN_OCTET_STRING},
    {"Default Queue", SYN_DIST_NAME},
    {"Description", SYN_CI_STRING},
    {"Detect Intruder", SYN_BOOLEAN},
    {"Device", SYN_DIST_NAME},
    {"EMail Address", SYN_EMAIL_ADDRESS},
    {"External Name", SYN_OCTET_STRING},
    {"Equivalent To Me", SYN_DIST_NAME},
    {"External Synchronizer", SYN_OCTET_STRING},
    {"Facsimile Telephone Number", SYN_FAX_NUMBER},
    {"Full Name", SYN_CI_STRING},
    {"Generational Qualifier", SYN_CI_STRING},
    {"GID", SYN_INTEGER},
    {"Given Name", SYN_CI_STRING},
    {"Group Membership", SYN_DIST_NAME},
    {"High Convergence Sync Interval", SYN_INTERVAL},
    {"Higher Privileges", SYN_DIST_NAME},
    {"Home Directory", SYN_PATH},
    {"Host Device", SYN_DIST_NAME},
    {"Host Resource Name", SYN_CI_STRING},
    {"Host Server", SYN_DIST_NAME},
    {"Inherited ACL", SYN_OBJECT_ACL},
    {"Initials", SYN_CI_STRING},
    {"Intruder Attempt Reset Interval", SYN_INTERVAL},
    {"Intruder Lockout Reset Interval", SYN_INTERVAL},
    {"L", SYN_CI_STRING},
    {"Language", SYN_CI_STRING},
    {"Last Login Time", SYN_TIME},
    {"Last Referenced Time", SYN_TIMESTAMP},
    {"Locked By Intruder", SYN_BOOLEAN},
    {"Lockout After Detection", SYN_BOOLEAN},
    {"Login Allowed Time Map", SYN_OCTET_STRING},
    {"Login Disabled", SYN_BOOLEAN},
    {"Login Expiration Time", SYN_TIME},
    {"Login Grace Limit", SYN_INTEGER},
    {"Login Grace Remaining", SYN_COUNTER},
    {"Login Intruder Address", SYN_NET_ADDRESS},
    {"Login Intruder Attempts", SYN_COUNTER},
    {"Login Intruder Limit", SYN_INTEGER},
    {"Login Intruder Reset Time", SYN_TIME},
    {"Login Maximum Simultaneous", SYN_INTEGER},
    {"Login Script", SYN_STREAM},
    {"Login Time", SYN_TIME},
    {"Low Convergence Reset Time", SYN_TIME},
    {"Low Convergence Sync Interval", SYN_INTERVAL},
    {"Mailbox ID", SYN_CI_STRING},
    {"Mailbox Location", SYN_DIST_NAME},
    {"Member", SYN_DIST_NAME},
    {"Memory", SYN_INTEGER},
    {"Message Routing Group", SYN_DIST_NAME},
    {"Message Server", SYN_DIST_NAME},
    {"Messaging Database Location", SYN_PATH},
    {"Messaging Server", SYN_DIST_NAME},
    {"Messaging Server Type", SYN_CI_STRING},
    {"Minimum Account Balance", SYN_INTEGER},
    {"Network Address", SYN_NET_ADDRESS},
    {"Network Access Restriction", SYN_NET_ADDRESS},
    {"NNS Domain", SYN_CI_STRING},
    {"Notify", SYN_TYPED_NAME},
    {"O", SYN_CI_STRING},
    {"Obituary", SYN_OCTET_STRING},
    {"Operator", SYN_DIST_NAME},
    {"OU", SYN_CI_STRING},
    {"Owner", SYN_DIST_NAME},
    {"Page Description Language", SYN_PR_STRING},
    {"Partition Control", SYN_TYPED_NAME},
    {"Partition Creation Time", SYN_TIMESTAMP},
    {"Password Allow Change", SYN_BOOLEAN},
    {"Password Expiration Interval", SYN_INTERVAL},
    {"Password Expiration Time", SYN_TIME},
    {"Password Minimum Length", SYN_INTEGER},
    {"Password Required", SYN_BOOLEAN},
    {"Password Unique Required", SYN_BOOLEAN},
    {"Passwords Used", SYN_OCTET_STRING},
    {"Path", SYN_PATH},
    {"Physical Delivery Office Name", SYN_CI_STRING},
    {"Postal Address", SYN_PO_ADDRESS},
    {"Postal Code", SYN_CI_STRING},
    {"Postal Office Box", SYN_CI_STRING},
    {"Postmaster", SYN_DIST_NAME},
    {"Print Job Configuration", SYN_STREAM},
    {"Print Server", SYN_TYPED_NAME},
    {"Printer", SYN_TYPED_NAME},
    {"Printer Configuration", SYN_OCTET_STRING},
    {"Printer Control", SYN_STREAM},
    {"Private Key", SYN_OCTET_STRING},
    {"Profile", SYN_DIST_NAME},
    {"Profile Membership", SYN_DIST_NAME},
    {"Public Key", SYN_OCTET_STRING},
    {"Queue", SYN_TYPED_NAME},
    {"Queue Directory", SYN_CI_STRING},
    {"Received Up To", SYN_TIMESTAMP},
    {"Reference", SYN_DIST_NAME},
    {"Replica", SYN_REPLICA_POINTER},
    {"Replica Up To", SYN_OCTET_STRING},
    {"Resource", SYN_DIST_NAME},
    {"Revision", SYN_COUNTER},
    {"Role Occupant", SYN_DIST_NAME},
    {"S", SYN_CI_STRING},
    {"SA", SYN_CI_STRING},
    {"SAP Name", SYN_CI_STRING},
    {"Security Equals", SYN_DIST_NAME},
    {"Security Flags", SYN_INTEGER},
    {"See Also", SYN_DIST_NAME},
    {"Serial Number", SYN_PR_STRING},
    {"Server", SYN_DIST_NAME},
    {"Server Holds", SYN_HOLD},
    {"Status", SYN_INTEGER},
    {"Supported Connections", SYN_INTEGER},
    {"Supported Gateway", SYN_CI_STRING},
    {"Supported Services", SYN_CI_STRING},
    {"Supported Typefaces", SYN_CI_STRING},
    {"Surname", SYN_CI_STRING},
    {"Synchronizes Up To", SYN_TIMESTAMP},
    {"Telephone Number", SYN_TEL_NUMBER},
    {"Title", SYN_CI_STRING},
    {"Type Creator Map", SYN_STREAM},
    {"UID", SYN_INTEGER},
    {"Unknown", SYN_UNKNOWN},
    {"Unknown Base Class", SYN_CI_STRING},
    {"User", SYN_DIST_NAME},
    {"Version", SYN_CI_STRING},
}};

// "Volume" names both a class and an attribute (the volume of a queue).
const AttributeDef kVolumeAttribute = {"Volume", SYN_DIST_NAME};

const std::vector<std::string_view> kLeafParents = {"Organization", "Organizational Unit", "Locality"};

const std::vector<ClassDef>& Classes() {
  static const std::vector<ClassDef> classes = {
      {"Top", "CN", false, {}, {}},
      {"Country", "C", true, {"Top"}, {"[Root]"}},
      {"Locality", "L", true, {"Top"},
       {"[Root]", "Country", "Organization", "Organizational Unit", "Locality"}},
      {"Organization", "O", true, {"Top"}, {"[Root]", "Country", "Locality"}},
      {"Organizational Unit", "OU", true, {"Top"},
       {"Organization", "Organizational Unit", "Locality"}},
      {"User", "CN", false, {"Organizational Person", "Person", "Top"}, kLeafParents},
      {"Group", "CN", false, {"Top"}, kLeafParents},
      {"Alias", "CN", false, {"Top"}, kLeafParents},
      {"AFP Server", "CN", false, {"Server", "Top"}, kLeafParents},
      {"Bindery Object", "CN", false, {"Top"}, kLeafParents},
      {"Bindery Queue", "CN", false, {"Queue", "Resource", "Top"}, kLeafParents},
      {"Computer", "CN", false, {"Device", "Top"}, kLeafParents},
      {"Directory Map", "CN", false, {"Resource", "Top"}, kLeafParents},
      {"External Entity", "CN", false, {"Top"}, kLeafParents},
      {"List", "CN", false, {"Top"}, kLeafParents},
      {"Message Routing Group", "CN", false, {"Group", "Top"}, kLeafParents},
      {"Messaging Server", "CN", false, {"Server", "Top"}, kLeafParents},
      {"NCP Server", "CN", false, {"Server", "Top"}, kLeafParents},
      {"Organizational Role", "CN", false, {"Top"}, kLeafParents},
      {"Printer", "CN", false, {"Device", "Top"}, kLeafParents},
      {"Print Server", "CN", false, {"Server", "Top"}, kLeafParents},
      {"Profile", "CN", false, {"Top"}, kLeafParents},
      {"Queue", "CN", false, {"Resource", "Top"}, kLeafParents},
      {"Server", "CN", false, {"Top"}, kLeafParents},
      {"Volume", "CN", false, {"Resource", "Top"}, kLeafParents},
  };
  return classes;
}

}  // namespace

const AttributeDef* FindAttribute(std::string_view name) {
  if (EqualNoCase(name, kVolumeAttribute.name)) return &kVolumeAttribute;
  for (const AttributeDef& def : kAttributes) {
    if (EqualNoCase(def.name, name)) return &def;
  }
  return nullptr;
}

const ClassDef* FindClass(std::string_view name) {
  for (const ClassDef& def : Classes()) {
    if (EqualNoCase(def.name, name)) return &def;
  }
  return nullptr;
}

bool MayContain(std::string_view parentClass, const ClassDef& cls) {
  return std::any_of(cls.containedBy.begin(), cls.containedBy.end(),
                     [&](std::string_view p) { return EqualNoCase(p, parentClass); });
}

}  // namespace nwc
