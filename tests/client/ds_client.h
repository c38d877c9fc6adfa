// The directory half of the client as the program reaches it: libnetwin32.so
// loaded by name, every entry point looked up by name. With small guards for
// contexts and buffers, and readers that walk list and read replies.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client_test_util.h"
#include "directory.h"
#include "network.h"
#include "nwclient.h"

namespace dstest {

struct DsClient {
  void* lib = nullptr;
#define DS_SLOT(ret, name, params, args) PFN_##name name = nullptr;
  NWC_NETWIN32_ENTRIES(DS_SLOT)
#undef DS_SLOT
  bool ready = true;

  DsClient() {
    lib = dlopen("libnetwin32.so", RTLD_NOW);
    if (lib == nullptr) {
      ready = false;
      return;
    }
#define DS_BIND(ret, entry, params, args)                               \
  entry = reinterpret_cast<PFN_##entry>(dlsym(lib, #entry));            \
  ready = ready && entry != nullptr;
    NWC_NETWIN32_ENTRIES(DS_BIND)
#undef DS_BIND
  }
};

inline const DsClient& Ds() {
  static DsClient c;
  return c;
}

// A context with the given name context and flags, freed at the end.
class Context {
 public:
  explicit Context(const std::string& name = "[Root]", nuint32 flags = DCV_DEFAULT_FLAGS) {
    handle_ = Ds().NWDSCreateContext();
    EXPECT_GT(handle_, 0);
    EXPECT_EQ(SetName(name), 0) << name;
    EXPECT_EQ(SetFlags(flags), 0);
  }
  ~Context() { Ds().NWDSFreeContext(handle_); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  nint SetName(const std::string& name) {
    char area[NW_MAX_CONTEXT_NAME] = {};
    std::strncpy(area, name.c_str(), sizeof area - 1);
    return Ds().NWDSSetContext(handle_, DCK_NAME_CONTEXT, area);
  }
  nint SetFlags(nuint32 flags) { return Ds().NWDSSetContext(handle_, DCK_FLAGS, &flags); }
  operator NWDSContextHandle() const { return handle_; }

 private:
  NWDSContextHandle handle_ = 0;
};

// A client buffer of the given size, freed at the end.
class Buffer {
 public:
  explicit Buffer(size_t size = NW_DEFAULT_BUFFER_SIZE) { EXPECT_EQ(Ds().NWDSAllocBuf(size, &buf_), 0); }
  ~Buffer() {
    if (buf_ != nullptr) Ds().NWDSFreeBuf(buf_);
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  operator pBuf_T() const { return buf_; }

 private:
  pBuf_T buf_ = nullptr;
};

struct Listed {
  std::string name;
  std::string baseClass;
  nuint32 flags = 0;
};

struct Listing {
  NWDSCCODE code = 0;
  std::vector<Listed> objects;
  std::vector<nuint32> perReply;  // objects in each reply
};

// Lists a container to its end (or its first failure).
inline Listing ListAll(NWDSContextHandle ctx, const std::string& container, size_t bufSize = NW_DEFAULT_BUFFER_SIZE) {
  Listing out;
  Buffer reply(bufSize);
  nint32 iteration = NO_MORE_ITERATIONS;
  int guard = 0;
  do {
    out.code = Ds().NWDSList(ctx, container.c_str(), &iteration, reply);
    if (out.code != 0) break;
    nuint32 count = 0;
    out.code = Ds().NWDSGetObjectCount(ctx, reply, &count);
    if (out.code != 0) break;
    out.perReply.push_back(count);
    for (nuint32 i = 0; i < count; ++i) {
      char name[MAX_DN_BYTES];
      Object_Info_T info;
      nuint32 attrs = 99;
      EXPECT_EQ(Ds().NWDSGetObjectName(ctx, reply, name, &attrs, &info), 0);
      EXPECT_EQ(attrs, 0u);
      out.objects.push_back({name, info.baseClass, info.objectFlags});
    }
  } while (iteration != NO_MORE_ITERATIONS && ++guard < 1000);
  return out;
}

// One value as the client hands it out, in a block of exactly the size it
// announced, followed by guard bytes that must stay untouched.
struct RawValue {
  std::vector<uint8_t> bytes;
  nuint32 syntax = 0;
  template <typename T>
  T Record() const {
    T r;
    std::memcpy(&r, bytes.data(), sizeof r);
    return r;
  }
  std::string Text() const { return std::string(reinterpret_cast<const char*>(bytes.data())); }
  // Whether a pointer of a record points into this value's own block.
  bool Inside(const void* p) const {
    auto* at = static_cast<const uint8_t*>(p);
    return at >= bytes.data() && at < bytes.data() + bytes.size();
  }
};

struct Reading {
  NWDSCCODE code = 0;
  std::string attrName;
  std::vector<RawValue> values;
  int replies = 0;
};

constexpr size_t kGuardBytes = 16;
constexpr uint8_t kGuard = 0xA5;

// Reads every value of one attribute, reply by reply.
inline Reading ReadValues(NWDSContextHandle ctx, const std::string& object, const std::string& attr,
                          size_t replySize = NW_DEFAULT_BUFFER_SIZE) {
  Reading out;
  Buffer request;
  Buffer reply(replySize);
  EXPECT_EQ(Ds().NWDSInitBuf(ctx, DSV_READ, request), 0);
  EXPECT_EQ(Ds().NWDSPutAttrName(ctx, request, attr.c_str()), 0);
  nint32 iteration = NO_MORE_ITERATIONS;
  do {
    out.code = Ds().NWDSRead(ctx, object.c_str(), DS_ATTRIBUTE_VALUES, 0, request, &iteration, reply);
    if (out.code != 0) break;
    ++out.replies;
    nuint32 attrs = 0;
    EXPECT_EQ(Ds().NWDSGetAttrCount(ctx, reply, &attrs), 0);
    EXPECT_EQ(attrs, 1u);
    char name[MAX_SCHEMA_NAME_BYTES] = {};
    nuint32 count = 0;
    nuint32 syntax = 0;
    EXPECT_EQ(Ds().NWDSGetAttrName(ctx, reply, name, &count, &syntax), 0);
    out.attrName = name;
    for (nuint32 i = 0; i < count; ++i) {
      nuint32 size = 0;
      EXPECT_EQ(Ds().NWDSComputeAttrValSize(ctx, reply, syntax, &size), 0);
      std::vector<uint8_t> block(size + kGuardBytes, kGuard);
      EXPECT_EQ(Ds().NWDSGetAttrVal(ctx, reply, syntax, block.data()), 0);
      for (size_t g = size; g < block.size(); ++g) EXPECT_EQ(block[g], kGuard) << "written past the announced size";
      block.resize(size);
      out.values.push_back({std::move(block), syntax});
    }
  } while (iteration != NO_MORE_ITERATIONS && out.replies < 1000);
  return out;
}

inline std::vector<std::string> Texts(const Reading& r) {
  std::vector<std::string> out;
  for (const RawValue& v : r.values) out.push_back(v.Text());
  return out;
}

// The model's entry of a name, for comparing with what the client answers.
inline const nwc::DirEntry* ModelEntry(const std::string& typedName) {
  auto lock = nwc::NetworkLock();
  nwc::Network* net = nwc::CurrentNetwork();
  if (net == nullptr || !net->tree) return nullptr;
  nwc::DName name;
  if (nwc::CanonicalizeName(typedName, nwc::DName{}, {}, &name) != 0) return nullptr;
  return net->tree->Find(name);
}

}  // namespace dstest
