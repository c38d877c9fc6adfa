// The read side of the directory: subordinates, advertised trees, group
// members, object kinds, attribute values, attribute streams and typeless
// names. Nothing here writes to the directory.
#include <algorithm>
#include <cstring>

#include "common/nwtext.h"
#include "netware/nwnds.h"
#include "netware/nwnds_work.h"
#include "netware/tessel.h"
#include "util/nwtools.h"

namespace nwds {
nwlib::Entry<PFN_NWDSRemoveAllTypes> NWDSRemoveAllTypes{"NWDSRemoveAllTypes", DirLibrary};
// The bindery scan comes from the calls library.
nwlib::Entry<PFN_NWScanObject> NWScanObject{"NWScanObject", CallsLibrary};

WorkingContext::WorkingContext(const std::string &contextName) {
  if (!AllBound(NWDSDuplicateContext, NWDSFreeContext)) return;
  if (contextName.empty()) {
    handle_ = NWDSDuplicateContext(DSContext);
    return;
  }
  handle_ = CopyCurrentContext();
  if (handle_ > 0 && !SelectContext(handle_, contextName)) {
    ReleaseContext(handle_);
    handle_ = 0;
  }
}

WorkingContext::~WorkingContext() {
  if (handle_ > 0) ReleaseContext(handle_);
}

ClientBuffer::ClientBuffer() {
  if (NWDSAllocBuf(NW_DEFAULT_BUFFER_SIZE, &buffer_) != 0) buffer_ = nullptr;
}

ClientBuffer::~ClientBuffer() {
  if (buffer_ != nullptr) NWDSFreeBuf(buffer_);
}
}  // namespace nwds

using namespace nwds;

namespace {
using NameArea = char[MAX_DN_BYTES];
using AttrNameArea = char[MAX_SCHEMA_NAME_BYTES];
// Object and attribute names handed to the stream call.
using StreamNameArea = char[48];
constexpr std::size_t kTextValueBytes = 128;
constexpr std::size_t kPathValueBytes = 144;

bool ReadEntriesBound() {
  return AllBound(NWDSAllocBuf, NWDSFreeBuf, NWDSInitBuf, NWDSPutAttrName, NWDSRead, NWDSGetAttrCount,
                  NWDSGetAttrName, NWDSComputeAttrValSize, NWDSGetAttrVal);
}

// Readies a request that reads the values of one attribute.
bool PrepareRead(NWDSContextHandle context, const char *attrName, const ClientBuffer &request,
                 const ClientBuffer &reply) {
  if (!request || !reply) return false;
  if (NWDSInitBuf(context, DSV_READ, request) != 0) return false;
  return DSRecord(NWDSPutAttrName(context, request, attrName));
}

// One reply of a read; false when the read failed or is over.
bool ReadReply(NWDSContextHandle context, const char *object, const ClientBuffer &request,
               nint32 &iteration, const ClientBuffer &reply) {
  return DSRecord(NWDSRead(context, object, DS_ATTRIBUTE_VALUES, 0, request, &iteration, reply));
}

bool TextBefore(const TNWObjItem &a, const TNWObjItem &b) {
  return nwtext::LessNoCase(a.text, b.text);
}

// Advertised tree names are padded with underscores.
std::string TreeNameOf(const std::string &advertised) {
  return ExtractToken(ReplaceText(LeftStr(advertised, NW_MAX_TREE_NAME_LEN), "_", "="), '=', 1);
}

// Runs ReadFirstValue on a working context made from the context name.
bool ReadFirstValueIn(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                      void *valueArea, std::size_t areaSize) {
  WorkingContext context(contextName);
  return context && ReadFirstValue(context, objectName, attr, valueArea, areaSize);
}

// The text a path value's pointer designates, read within the value area;
// false when the pointer leads outside it.
bool TextInArea(const char *text, const unsigned char *area, std::size_t areaSize, std::string &result) {
  if (text == nullptr) {
    result.clear();
    return true;
  }
  const auto *at = reinterpret_cast<const unsigned char *>(text);
  if (at < area || at >= area + areaSize) return false;
  result = nwlib::TextOfArea(text, areaSize - static_cast<std::size_t>(at - area));
  return true;
}
}  // namespace

TNWObjList ListSubordinates(const std::string &contextName, const std::string &containerName) {
  TNWObjList list;
  if (!AllBound(NWDSAllocBuf, NWDSFreeBuf, NWDSList, NWDSGetObjectCount, NWDSGetObjectName)) return list;
  NameArea container;
  if (!nwlib::CopyToArea(containerName, container)) return list;
  Object_Info_T info{};
  ClientBuffer reply;
  if (!reply) return list;
  WorkingContext context(contextName);
  if (!context) return list;
  nint32 iteration = NO_MORE_ITERATIONS;
  do {
    if (!DSRecord(NWDSList(context, container, &iteration, reply))) break;
    nuint32 count = 0;
    if (!DSRecord(NWDSGetObjectCount(context, reply, &count))) break;
    for (nuint32 i = 0; i < count; ++i) {
      NameArea name = {};
      nuint32 attrCount = 0;
      if (NWDSGetObjectName(context, reply, name, &attrCount, &info) != 0) continue;
      list.push_back({nwlib::TextOfArea(name), ObjectKindOf(info)});
    }
  } while (iteration != NO_MORE_ITERATIONS);
  return list;
}

TNWObjList ListTreeNames() {
  TNWObjList list;
  if (!NWScanObject.Bind()) return list;
  const NWCONN_HANDLE conn = PrimaryConnection();
  nuint32 id = 0xFFFFFFFF;
  char pattern[64];
  nwlib::CopyToArea("*", pattern);
  for (;;) {
    char name[64] = {};
    // The scan's normal end arrives as a failure and is recorded too.
    if (!DSRecord(NWScanObject(conn, pattern, OT_TREE_NAME, &id, name, nullptr, nullptr, nullptr, nullptr))) break;
    const std::string tree = TreeNameOf(nwlib::TextOfArea(name));
    const bool known = std::any_of(list.begin(), list.end(), [&](const TNWObjItem &item) { return nwtext::EqualNoCase(item.text, tree); });
    if (!known) list.push_back({tree, id});
  }
  return list;
}

TNWObjList ListGroupMembers(const std::string &contextName, const std::string &groupName) {
  TNWObjList list;
  TNWValueList members;
  if (ReadAttrValues(contextName, groupName, dsaMember, members)) {
    for (const TNWValueBlock &member : members) list.push_back({nwlib::TextOfArea(member.Text(), member.size), dokUser});
  }
  std::stable_sort(list.begin(), list.end(), TextBefore);
  return list;
}

TNWDSObjKind ReadObjectKind(const std::string &contextName, const std::string &objectName) {
  std::string baseClass;
  if (!ReadAttrString(contextName, objectName, dsaClassName, baseClass)) return dokUnknown;
  return ObjectKindOfClass(baseClass);
}

bool ReadFirstValue(NWDSContextHandle context, const std::string &objectName, TNWDSAttrType attr,
                    void *valueArea, std::size_t areaSize) {
  if (!ReadEntriesBound()) return false;
  const std::string attrName = AttrName(attr);
  NameArea object;
  AttrNameArea attribute;
  if (!nwlib::CopyToArea(objectName, object) || !nwlib::CopyToArea(attrName, attribute)) return false;
  ClientBuffer request;
  ClientBuffer reply;
  if (!PrepareRead(context, attribute, request, reply)) return false;
  bool found = false;
  nint32 iteration = NO_MORE_ITERATIONS;
  do {
    if (!ReadReply(context, object, request, iteration, reply)) break;
    if (TakeFirstValue(context, reply, attrName, valueArea, areaSize)) found = true;
  } while (iteration != NO_MORE_ITERATIONS);
  return found;
}

bool TakeFirstValue(NWDSContextHandle context, pBuf_T reply, const std::string &attrName, void *valueArea,
                    std::size_t areaSize) {
  if (!AllBound(NWDSGetAttrCount, NWDSGetAttrName, NWDSComputeAttrValSize, NWDSGetAttrVal)) return false;
  AttrNameArea name;
  if (!nwlib::CopyToArea(attrName, name)) return false;
  nuint32 attrCount = 0;
  if (!DSRecord(NWDSGetAttrCount(context, reply, &attrCount)) || attrCount < 1) return false;
  nuint32 valueCount = 0;
  nuint32 syntax = 0;
  if (!DSRecord(NWDSGetAttrName(context, reply, name, &valueCount, &syntax))) return false;
  // A value larger than the area is never taken.
  nuint32 size = 0;
  if (NWDSComputeAttrValSize(context, reply, syntax, &size) != 0 || size > areaSize) return false;
  return DSRecord(NWDSGetAttrVal(context, reply, syntax, valueArea));
}

bool ReadAttrString(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                    std::string &text) {
  char value[kTextValueBytes] = {};
  if (!ReadFirstValueIn(contextName, objectName, attr, value, sizeof value)) return false;
  text = nwlib::TextOfArea(value);
  return true;
}

bool ReadAttrPath(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                  TNWDSPathInfo &path) {
  // The client's path record, followed by the two texts it points at.
  alignas(Path_T) unsigned char value[kPathValueBytes] = {};
  if (!ReadFirstValueIn(contextName, objectName, attr, value, sizeof value)) return false;
  Path_T record;
  std::memcpy(&record, value, sizeof record);
  TNWDSPathInfo read;
  read.NameSpaceType = static_cast<int32_t>(record.nameSpaceType);
  if (!TextInArea(record.volumeName, value, sizeof value, read.VolumeName) ||
      !TextInArea(record.path, value, sizeof value, read.Path)) {
    return false;
  }
  path = std::move(read);
  return true;
}

bool ReadAttrBoolean(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                     bool &value) {
  uint8_t byte = 0;
  if (!ReadFirstValueIn(contextName, objectName, attr, &byte, sizeof byte)) return false;
  value = byte == 1;
  return true;
}

bool ReadAttrValue(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                   int32_t &value) {
  int32_t raw = 0;
  if (!ReadFirstValueIn(contextName, objectName, attr, &raw, sizeof raw)) return false;
  value = raw;
  return true;
}

bool ReadAttrValues(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                    TNWValueList &values) {
  if (!ReadEntriesBound()) return false;
  NameArea object;
  AttrNameArea attribute;
  if (!nwlib::CopyToArea(objectName, object) || !nwlib::CopyToArea(AttrName(attr), attribute)) return false;
  WorkingContext context(contextName);
  if (!context) return false;
  ClientBuffer request;
  ClientBuffer reply;
  if (!PrepareRead(context, attribute, request, reply)) return false;
  nint32 iteration = NO_MORE_ITERATIONS;
  do {
    if (!ReadReply(context, object, request, iteration, reply)) break;
    nuint32 attrCount = 0;
    if (!DSRecord(NWDSGetAttrCount(context, reply, &attrCount))) return false;
    AttrNameArea name = {};
    nuint32 valueCount = 0;
    nuint32 syntax = 0;
    if (!DSRecord(NWDSGetAttrName(context, reply, name, &valueCount, &syntax))) return false;
    for (nint32 i = 0; i < static_cast<nint32>(valueCount); ++i) {
      // Each block is sized for its own value; a value cannot outgrow the
      // reply that carries it. A failed query skips the rest of this reply.
      nuint32 size = 0;
      if (NWDSComputeAttrValSize(context, reply, syntax, &size) != 0 || size > NW_DEFAULT_BUFFER_SIZE) break;
      // One spare zero byte keeps a text value terminated within its block.
      TNWValueBlock block{std::make_unique<uint8_t[]>(size + 1), size};
      const NWDSCCODE code = NWDSGetAttrVal(context, reply, syntax, block.data.get());
      DSLastResult = code;
      if (code != 0) {
        if (i == 0) DSLastError = code;
        return false;
      }
      values.push_back(std::move(block));
    }
  } while (iteration != NO_MORE_ITERATIONS);
  return !values.empty();
}

bool OpenAttrStream(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                    std::unique_ptr<THandleStream> &stream) {
  if (!NWDSOpenStream.Bound()) return false;
  StreamNameArea object;
  StreamNameArea attribute;
  if (!nwlib::CopyToArea(objectName, object) || !nwlib::CopyToArea(AttrName(attr), attribute)) return false;
  WorkingContext context(contextName);
  if (!context) return false;
  NWFILE_HANDLE handle = -1;
  if (!DSRecord(NWDSOpenStream(context, object, attribute, DS_READ_STREAM | DS_WRITE_STREAM, &handle))) return false;
  // The handle stays open: the receiver of the stream closes it.
  stream = std::make_unique<THandleStream>(handle);
  return true;
}

void RemoveNameTypes(const std::string &name, std::string &result) {
  NameArea input;
  const bool fits = nwlib::CopyToArea(name, input);  // before the result: both may be one string
  result.clear();
  if (!fits || !NWDSRemoveAllTypes.Bind()) return;
  NameArea stripped = {};
  if (!DSRecord(NWDSRemoveAllTypes(DSContext, input, stripped))) return;
  result = nwlib::TextOfArea(stripped);
}
