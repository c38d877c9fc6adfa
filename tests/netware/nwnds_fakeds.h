// A scripted directory for the directory unit's tests: contexts, buffers,
// listings and attribute reads answered from test-chosen replies, with
// counters that show what was called, with what, and what was given back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fakeclient.h"
#include "netware/nwnds.h"
#include "netware/tessel.h"

namespace fakeds {

struct Context {
  nuint32 flags = DCV_DEFAULT_FLAGS;
  std::string name = "O=Default";
};

// One reply of NWDSRead: the raw bytes of each value.
struct ReadReply {
  std::vector<std::string> values;
  nint32 valueCount = -1;       // reported value count; -1: the number of values
  int sizeFailsAt = -1;         // value index whose size query fails
  int valueFailsAt = -1;        // value index whose NWDSGetAttrVal fails
  NWDSCCODE valueCode = ERR_INSUFFICIENT_BUFFER;
};

// One subordinate of an NWDSList reply; an empty class makes its name fail.
struct Listed {
  std::string name;
  std::string baseClass;
};

struct State {
  std::map<NWDSContextHandle, Context> contexts;
  NWDSContextHandle nextHandle = 100;
  int creates = 0, duplicates = 0, contextSets = 0;
  NWDSCCODE getContextCode = 0;

  int liveBuffers = 0, allocs = 0;
  int allocFailsAt = -1;  // the n-th allocation (from 0) is refused
  NWDSCCODE initBufCode = 0, putAttrNameCode = 0;
  std::string putAttrName;

  std::vector<ReadReply> reads;  // no replies: the object has no value
  int readFailsAt = -1;
  NWDSCCODE readCode = ERR_NO_SUCH_ATTRIBUTE;
  std::vector<std::string> readObjects;
  NWDSCCODE attrCountCode = 0, attrNameCode = 0;
  nuint32 attrCount = 1, syntax = SYN_CI_STRING;
  int getAttrValCalls = 0;

  std::vector<std::vector<Listed>> lists;
  int listFailsAt = -1;
  NWDSCCODE listCode = ERR_NO_SUCH_ENTRY, objectCountCode = 0;
  std::vector<std::string> listedContainers;

  int unicodeCountry = 0, unicodeCodePage = 0;
  NWDSCCODE unicodeCode = 0, freeUnicodeCode = 0;
};
inline State S;

// The reply buffer's position in the script.
struct Buffer {
  int reply = -1;
  std::size_t cursor = 0;
};
inline Buffer &BufferOf(pBuf_T buf) { return *reinterpret_cast<Buffer *>(buf); }

inline Context *Find(NWDSContextHandle context) {
  auto it = S.contexts.find(context);
  return it == S.contexts.end() ? nullptr : &it->second;
}

inline NWDSContextHandle NewContext(const Context &from) {
  S.contexts[S.nextHandle] = from;
  return S.nextHandle++;
}

// Steps an iteration handle through a script of n replies; the reply index.
inline int Step(nint32 *iteration, std::size_t n) {
  const int index = *iteration == NO_MORE_ITERATIONS ? 0 : *iteration;
  *iteration = static_cast<std::size_t>(index + 1) < n ? index + 1 : NO_MORE_ITERATIONS;
  return index;
}

// ---- locale and contexts --------------------------------------------------------
inline LCONV *NWLlocaleconv(LCONV *locale) {
  std::memset(locale, 0, sizeof *locale);
  locale->code_page = 850;
  locale->country_id = 49;
  return locale;
}
inline nint NWInitUnicodeTables(nint country, nint codePage) {
  S.unicodeCountry = country;
  S.unicodeCodePage = codePage;
  return S.unicodeCode;
}
inline nint NWFreeUnicodeTables() { return S.freeUnicodeCode; }

inline NWDSContextHandle NWDSCreateContext() {
  ++S.creates;
  return NewContext(Context{});
}
inline NWDSCCODE NWDSFreeContext(NWDSContextHandle context) {
  return S.contexts.erase(context) ? 0 : ERR_BAD_CONTEXT;
}
inline NWDSContextHandle NWDSDuplicateContext(NWDSContextHandle context) {
  const Context *from = Find(context);
  if (from == nullptr) return ERR_BAD_CONTEXT;
  ++S.duplicates;
  return NewContext(*from);
}
inline NWDSCCODE NWDSDuplicateContextHandle(NWDSContextHandle context, NWDSContextHandle *copy) {
  const Context *from = Find(context);
  if (from == nullptr) return ERR_BAD_CONTEXT;
  ++S.duplicates;
  *copy = NewContext(*from);
  return 0;
}
inline NWDSCCODE NWDSSetContext(NWDSContextHandle context, nint key, nptr value) {
  ++S.contextSets;
  Context *c = Find(context);
  if (c == nullptr) return ERR_BAD_CONTEXT;
  if (key == DCK_FLAGS) c->flags = *static_cast<nuint32 *>(value);
  if (key == DCK_NAME_CONTEXT) c->name = static_cast<const char *>(value);
  return 0;
}
inline NWDSCCODE NWDSGetContext(NWDSContextHandle context, nint key, nptr value) {
  if (S.getContextCode != 0) return S.getContextCode;
  Context *c = Find(context);
  if (c == nullptr) return ERR_BAD_CONTEXT;
  if (key == DCK_FLAGS) *static_cast<nuint32 *>(value) = c->flags;
  if (key == DCK_NAME_CONTEXT) std::strcpy(static_cast<char *>(value), c->name.c_str());
  return 0;
}

// ---- buffers ----------------------------------------------------------------------
inline NWDSCCODE NWDSAllocBuf(size_t size, pBuf_T *buf) {
  EXPECT_EQ(size, 4096u);
  if (S.allocs++ == S.allocFailsAt) return ERR_NOT_ENOUGH_MEMORY;
  ++S.liveBuffers;
  *buf = reinterpret_cast<pBuf_T>(new Buffer);
  return 0;
}
inline NWDSCCODE NWDSFreeBuf(pBuf_T buf) {
  --S.liveBuffers;
  delete &BufferOf(buf);
  return 0;
}
inline NWDSCCODE NWDSInitBuf(NWDSContextHandle, nuint32 operation, pBuf_T) {
  EXPECT_EQ(operation, static_cast<nuint32>(DSV_READ));
  return S.initBufCode;
}
inline NWDSCCODE NWDSPutAttrName(NWDSContextHandle, pBuf_T, const char *name) {
  S.putAttrName = name;
  return S.putAttrNameCode;
}

// ---- reads --------------------------------------------------------------------------
inline NWDSCCODE NWDSRead(NWDSContextHandle context, const char *object, nuint32 infoType, nuint8 allAttrs,
                          pBuf_T, nint32 *iteration, pBuf_T reply) {
  EXPECT_EQ(infoType, static_cast<nuint32>(DS_ATTRIBUTE_VALUES));
  EXPECT_EQ(allAttrs, 0);
  S.readObjects.push_back(object);
  if (Find(context) == nullptr) return ERR_BAD_CONTEXT;
  if (S.reads.empty()) return S.readCode;
  const int index = *iteration == NO_MORE_ITERATIONS ? 0 : *iteration;
  if (index == S.readFailsAt) return S.readCode;
  Step(iteration, S.reads.size());
  BufferOf(reply) = Buffer{index, 0};
  return 0;
}
inline ReadReply &ReplyOf(pBuf_T buf) { return S.reads.at(static_cast<std::size_t>(BufferOf(buf).reply)); }

inline NWDSCCODE NWDSGetAttrCount(NWDSContextHandle, pBuf_T, nuint32 *count) {
  if (S.attrCountCode != 0) return S.attrCountCode;
  *count = S.attrCount;
  return 0;
}
inline NWDSCCODE NWDSGetAttrName(NWDSContextHandle, pBuf_T buf, char *name, nuint32 *valueCount, nuint32 *syntax) {
  if (S.attrNameCode != 0) return S.attrNameCode;
  std::strcpy(name, S.putAttrName.c_str());
  const ReadReply &reply = ReplyOf(buf);
  *valueCount = static_cast<nuint32>(reply.valueCount >= 0 ? reply.valueCount : static_cast<nint32>(reply.values.size()));
  *syntax = S.syntax;
  return 0;
}
// Path values are scripted as "volume\0path" and delivered as the client's
// record followed by the two texts.
inline std::size_t DeliveredSize(const std::string &value) {
  return S.syntax == SYN_PATH ? sizeof(Path_T) + value.size() + 1 : value.size();
}
inline NWDSCCODE NWDSComputeAttrValSize(NWDSContextHandle, pBuf_T buf, nuint32, nuint32 *size) {
  const ReadReply &reply = ReplyOf(buf);
  const std::size_t at = BufferOf(buf).cursor;
  if (static_cast<int>(at) == reply.sizeFailsAt) return ERR_BAD_SYNTAX;
  if (at >= reply.values.size()) return ERR_BUFFER_EMPTY;
  *size = static_cast<nuint32>(DeliveredSize(reply.values[at]));
  return 0;
}
inline NWDSCCODE NWDSGetAttrVal(NWDSContextHandle, pBuf_T buf, nuint32, nptr value) {
  ++S.getAttrValCalls;
  const ReadReply &reply = ReplyOf(buf);
  const std::size_t at = BufferOf(buf).cursor++;
  if (static_cast<int>(at) == reply.valueFailsAt) return reply.valueCode;
  if (at >= reply.values.size()) return ERR_BUFFER_EMPTY;
  const std::string &bytes = reply.values[at];
  if (S.syntax != SYN_PATH) {
    std::memcpy(value, bytes.data(), bytes.size());
    return 0;
  }
  auto *area = static_cast<char *>(value);
  std::memcpy(area + sizeof(Path_T), bytes.data(), bytes.size());
  area[sizeof(Path_T) + bytes.size()] = '\0';
  Path_T record{7, area + sizeof(Path_T), area + sizeof(Path_T) + std::strlen(bytes.c_str()) + 1};
  std::memcpy(area, &record, sizeof record);
  return 0;
}

// ---- listings ------------------------------------------------------------------------
inline NWDSCCODE NWDSList(NWDSContextHandle context, const char *object, nint32 *iteration, pBuf_T reply) {
  S.listedContainers.push_back(object);
  if (Find(context) == nullptr) return ERR_BAD_CONTEXT;
  if (S.lists.empty()) return S.listCode;
  const int index = *iteration == NO_MORE_ITERATIONS ? 0 : *iteration;
  if (index == S.listFailsAt) return S.listCode;
  Step(iteration, S.lists.size());
  BufferOf(reply) = Buffer{index, 0};
  return 0;
}
inline NWDSCCODE NWDSGetObjectCount(NWDSContextHandle, pBuf_T buf, nuint32 *count) {
  if (S.objectCountCode != 0) return S.objectCountCode;
  *count = static_cast<nuint32>(S.lists.at(static_cast<std::size_t>(BufferOf(buf).reply)).size());
  return 0;
}
inline NWDSCCODE NWDSGetObjectName(NWDSContextHandle, pBuf_T buf, char *name, nuint32 *attrCount,
                                   Object_Info_T *info) {
  Buffer &at = BufferOf(buf);
  const Listed &entry = S.lists.at(static_cast<std::size_t>(at.reply)).at(at.cursor++);
  if (entry.baseClass.empty()) return ERR_BUFFER_EMPTY;
  std::strcpy(name, entry.name.c_str());
  *attrCount = 0;
  std::memset(info, 0, sizeof *info);
  std::strcpy(info->baseClass, entry.baseClass.c_str());
  return 0;
}

inline nuint32 NWLongSwap(nuint32 value) { return __builtin_bswap32(value); }

// Answers the context, buffer, read and listing entry points from the script.
inline void Install(FakeClient &client) {
  S = State{};
#define FAKEDS_REPLACE(name) client.Replace(#name, static_cast<PFN_##name>(&fakeds::name));
  FAKEDS_REPLACE(NWLlocaleconv)
  FAKEDS_REPLACE(NWInitUnicodeTables)
  FAKEDS_REPLACE(NWFreeUnicodeTables)
  FAKEDS_REPLACE(NWDSCreateContext)
  FAKEDS_REPLACE(NWDSFreeContext)
  FAKEDS_REPLACE(NWDSDuplicateContext)
  FAKEDS_REPLACE(NWDSDuplicateContextHandle)
  FAKEDS_REPLACE(NWDSSetContext)
  FAKEDS_REPLACE(NWDSGetContext)
  FAKEDS_REPLACE(NWDSAllocBuf)
  FAKEDS_REPLACE(NWDSFreeBuf)
  FAKEDS_REPLACE(NWDSInitBuf)
  FAKEDS_REPLACE(NWDSPutAttrName)
  FAKEDS_REPLACE(NWDSRead)
  FAKEDS_REPLACE(NWDSGetAttrCount)
  FAKEDS_REPLACE(NWDSGetAttrName)
  FAKEDS_REPLACE(NWDSComputeAttrValSize)
  FAKEDS_REPLACE(NWDSGetAttrVal)
  FAKEDS_REPLACE(NWDSList)
  FAKEDS_REPLACE(NWDSGetObjectCount)
  FAKEDS_REPLACE(NWDSGetObjectName)
  FAKEDS_REPLACE(NWLongSwap)
#undef FAKEDS_REPLACE
}

}  // namespace fakeds

// Replaces one entry point by a function of exactly its type.
#define REPLACE_ENTRY(client, name, fn) (client).Replace(#name, static_cast<PFN_##name>(fn))

// A directory unit bound to the scripted directory; the connection unit
// answers with a fixed primary connection. Tests adjust the client and the
// script, then call Construct().
class DirectoryTest : public ::testing::Test {
 protected:
  static constexpr NWCONN_HANDLE kPrimary = 0x5A5A;

  void SetUp() override {
    fakeds::Install(client);
    CallsLibrary = nwlib::LoadLibraryByName("CALWIN32.DLL");
    PrimaryConn = kPrimary;
  }
  void TearDown() override {
    nds.reset();
    CallsLibrary = nullptr;
    PrimaryConn = 0;
  }
  void Construct() { nds = std::make_unique<TNWNDS>(); }

  // Only the current context is alive and no buffer is held.
  void ExpectNothingHeld() {
    EXPECT_EQ(fakeds::S.contexts.size(), 1u);
    EXPECT_EQ(fakeds::S.contexts.count(DSContext), 1u);
    EXPECT_EQ(fakeds::S.liveBuffers, 0);
  }

  FakeClient client;
  std::unique_ptr<TNWNDS> nds;
};
