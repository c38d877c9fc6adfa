// Fuzz target: the client's C entry points that take or fill fixed-size
// areas. The input is a little program: each step picks an entry point and
// takes its texts, numbers and area sizes from the bytes that follow. Every
// text sits in a heap block of its exact length with its terminator, every
// area the client fills is a block of exactly the size the client's header
// gives, and every value area is as large as the client announced, so the
// address sanitizer catches any byte read or written past one.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "entries.h"
#include "network.h"

namespace {

class Program {
 public:
  Program(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Done() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = (w << 8) | Byte();
    return w;
  }
  // A text of up to 255 bytes, or (after 255) of up to 1023, NULs and all,
  // with a terminator after it.
  std::vector<char> Text() {
    std::size_t n = Byte();
    if (n == 255) n = (static_cast<std::size_t>(Byte()) << 8 | Byte()) % 1024;
    std::vector<char> text(n + 1, '\0');
    for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>(Byte());
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

NWCONN_HANDLE Connection(Program& p) {
  switch (p.Byte() % 4) {
    case 0: return 0;
    case 1: {
      NWCONN_HANDLE primary = 0;
      nwcore_NWGetPrimaryConnectionID(&primary);
      return primary;
    }
    case 2: return p.Byte();
    default: return p.Word();
  }
}

// Takes a reply apart as a program would, every value in an area of the
// size the client announced.
void TakeReadReply(NWDSContextHandle ctx, pBuf_T reply, Program& p) {
  nuint32 attrs = 0;
  if (nwcore_NWDSGetAttrCount(ctx, reply, &attrs) != 0) return;
  for (nuint32 a = 0; a < attrs && a < 64; ++a) {
    std::vector<char> name(MAX_SCHEMA_NAME_BYTES);
    nuint32 count = 0, syntax = 0;
    if (nwcore_NWDSGetAttrName(ctx, reply, name.data(), &count, &syntax) != 0) return;
    for (nuint32 v = 0; v < count && v < 64; ++v) {
      // Now and then a syntax of the program's own.
      const nuint32 asked = p.Byte() == 0xEE ? p.Byte() : syntax;
      nuint32 size = 0;
      if (nwcore_NWDSComputeAttrValSize(ctx, reply, asked, &size) != 0) continue;
      std::vector<std::uint8_t> area(size == 0 ? 1 : size);
      nwcore_NWDSGetAttrVal(ctx, reply, asked, area.data());
    }
  }
}

void Step(Program& p, NWDSContextHandle ctx) {
  switch (p.Byte() % 24) {
    case 0: {
      auto name = p.Text();
      std::vector<char> out(MAX_DN_BYTES);
      nwcore_NWDSCanonicalizeName(ctx, name.data(), out.data());
      break;
    }
    case 1: {
      auto name = p.Text();
      std::vector<char> out(MAX_DN_BYTES);
      nwcore_NWDSRemoveAllTypes(ctx, name.data(), out.data());
      break;
    }
    case 2: {
      auto name = p.Text();
      nwcore_NWDSSetContext(ctx, DCK_NAME_CONTEXT, name.data());
      break;
    }
    case 3: {
      nuint32 flags = p.Word();
      nwcore_NWDSSetContext(ctx, DCK_FLAGS, &flags);
      break;
    }
    case 4: {
      std::vector<char> out(NW_MAX_CONTEXT_NAME);
      nwcore_NWDSGetContext(ctx, DCK_NAME_CONTEXT, out.data());
      nuint32 flags = 0;
      nwcore_NWDSGetContext(ctx, DCK_FLAGS, &flags);
      break;
    }
    case 5: {
      auto name = p.Text();
      nuint32 id = 0;
      const NWCONN_HANDLE conn = Connection(p);
      if (nwcore_NWDSMapNameToID(ctx, conn, name.data(), &id) != 0) id = p.Word();
      std::vector<char> out(MAX_DN_BYTES);
      nwcore_NWDSMapIDToName(ctx, conn, id, out.data());
      break;
    }
    case 6: {
      std::vector<char> out(MAX_DN_BYTES);
      nwcore_NWDSWhoAmI(ctx, out.data());
      auto name = p.Text();
      NWCONN_HANDLE conn = 0;
      nuint32 id = 0;
      nwcore_NWDSAuditGetObjectID(ctx, name.data(), &conn, &id);
      nwcore_NWDSResolveName(ctx, name.data(), &conn, &id);
      break;
    }
    case 7: {
      auto container = p.Text();
      pBuf_T reply = nullptr;
      if (nwcore_NWDSAllocBuf(16 + p.Byte() * 16u, &reply) != 0) break;
      nint32 iteration = NO_MORE_ITERATIONS;
      for (int page = 0; page < 8; ++page) {
        if (nwcore_NWDSList(ctx, container.data(), &iteration, reply) != 0) break;
        nuint32 count = 0;
        nwcore_NWDSGetObjectCount(ctx, reply, &count);
        for (nuint32 i = 0; i < count && i < 300; ++i) {
          std::vector<char> name(MAX_DN_BYTES);
          nuint32 attrs = 0;
          Object_Info_T info;
          nwcore_NWDSGetObjectName(ctx, reply, name.data(), &attrs, &info);
        }
        if (iteration == NO_MORE_ITERATIONS) break;
      }
      nwcore_NWDSFreeBuf(reply);
      break;
    }
    case 8: {
      auto object = p.Text();
      pBuf_T request = nullptr, reply = nullptr;
      if (nwcore_NWDSAllocBuf(8 + p.Byte() * 4u, &request) != 0) break;
      if (nwcore_NWDSAllocBuf(16 + p.Byte() * 32u, &reply) != 0) {
        nwcore_NWDSFreeBuf(request);
        break;
      }
      nwcore_NWDSInitBuf(ctx, DSV_READ, request);
      for (int n = p.Byte() % 4; n > 0; --n) {
        auto attr = p.Text();
        nwcore_NWDSPutAttrName(ctx, request, attr.data());
      }
      const nuint32 info = p.Byte() % 3;
      const nuint8 all = p.Byte() & 1;
      nint32 iteration = NO_MORE_ITERATIONS;
      for (int round = 0; round < 8; ++round) {
        if (nwcore_NWDSRead(ctx, object.data(), info, all, request, &iteration, reply) != 0) break;
        TakeReadReply(ctx, reply, p);
        if (iteration == NO_MORE_ITERATIONS) break;
      }
      nwcore_NWDSFreeBuf(request);
      nwcore_NWDSFreeBuf(reply);
      break;
    }
    case 9: {
      auto object = p.Text();
      auto attr = p.Text();
      NWFILE_HANDLE fd = -1;
      if (nwcore_NWDSOpenStream(ctx, object.data(), attr.data(), p.Byte() % 4, &fd) == 0 && fd >= 0) close(fd);
      break;
    }
    case 10: {
      pBuf_T request = nullptr;
      if (nwcore_NWDSAllocBuf(8 + p.Byte() * 4u, &request) != 0) break;
      nwcore_NWDSInitBuf(ctx, p.Byte() % 10, request);
      for (int n = p.Byte() % 4; n > 0; --n) {
        auto attr = p.Text();
        nwcore_NWDSPutChange(ctx, request, p.Byte() % 9, attr.data());
        nwcore_NWDSPutAttrName(ctx, request, attr.data());
        const nuint32 syntax = p.Byte() % 30;
        auto value = p.Text();
        // Numbers and flags take their own sizes.
        std::vector<char> area = value.size() < 8 ? std::vector<char>(8, '\0') : value;
        nwcore_NWDSPutAttrVal(ctx, request, syntax, area.data());
      }
      nwcore_NWDSFreeBuf(request);
      break;
    }
    case 11: {
      auto object = p.Text();
      auto old = p.Text();
      auto fresh = p.Text();
      nwcore_NWDSChangeObjectPassword(ctx, p.Byte(), object.data(), old.data(), fresh.data());
      break;
    }
    case 12: {
      auto name = p.Text();
      nuint32 id = 0;
      const NWCONN_HANDLE conn = Connection(p);
      if (nwcore_NWGetObjectID(conn, name.data(), static_cast<nuint16>(p.Word()), &id) != 0) id = p.Word();
      std::vector<char> out(NW_MAX_BINDERY_NAME);
      nuint16 type = 0;
      nwcore_NWGetObjectName(conn, id, out.data(), &type);
      break;
    }
    case 13: {
      auto pattern = p.Text();
      const NWCONN_HANDLE conn = Connection(p);
      const auto type = static_cast<nuint16>(p.Word());
      nuint32 id = 0xFFFFFFFF;
      for (int i = 0; i < 16; ++i) {
        std::vector<char> out(NW_MAX_BINDERY_NAME);
        nuint16 found = 0;
        nuint8 props = 0, flags = 0, security = 0;
        if (nwcore_NWScanObject(conn, pattern.data(), type, &id, out.data(), &found, &props, &flags, &security) != 0) break;
      }
      break;
    }
    case 14: {
      auto object = p.Text();
      auto property = p.Text();
      const NWCONN_HANDLE conn = Connection(p);
      std::vector<std::uint8_t> segment(128);
      nuint8 more = 0, flags = 0;
      nwcore_NWReadPropertyValue(conn, object.data(), static_cast<nuint16>(p.Word()), property.data(), p.Byte(),
                                 segment.data(), &more, &flags);
      break;
    }
    case 15: {
      auto path = p.Text();
      NWCONN_HANDLE conn = 0;
      NWDIR_HANDLE dir = 0;
      std::vector<char> fresh(NW_MAX_PATH);
      nwcore_NWParseNetWarePath(path.data(), &conn, &dir, fresh.data());
      std::vector<char> server(NW_MAX_BINDERY_NAME), volume(NW_MAX_PATH), dirPath(NW_MAX_PATH);
      nwcore_NWParsePath(path.data(), server.data(), &conn, volume.data(), dirPath.data());
      break;
    }
    case 16: {
      const NWCONN_HANDLE conn = Connection(p);
      std::vector<char> out(NW_MAX_BINDERY_NAME);
      nuint16 type = 0;
      nuint32 id = 0;
      std::vector<std::uint8_t> login(7);
      nwcore_NWGetConnectionInformation(conn, static_cast<NWCONN_NUM>(p.Word()), out.data(), &type, &id, login.data());
      std::vector<char> server(NW_MAX_BINDERY_NAME);
      nwcore_NWGetFileServerName(conn, server.data());
      std::vector<char> tree(NW_MAX_TREE_NAME_LEN);
      nwcore_NWIsDSServer(conn, tree.data());
      break;
    }
    case 17: {
      const NWCONN_HANDLE conn = Connection(p);
      auto message = p.Text();
      const nuint16 count = p.Byte();
      std::vector<NWCONN_NUM> list(count == 0 ? 1 : count);
      for (auto& n : list) n = static_cast<NWCONN_NUM>(p.Word());
      std::vector<nuint16> results(list.size());
      nwcore_NWSendBroadcastMessage(conn, message.data(), count, list.data(), results.data());
      break;
    }
    case 18: {
      const NWCONN_HANDLE conn = Connection(p);
      auto name = p.Text();
      const nuint16 max = p.Byte();
      std::vector<NWCONN_NUM> list(max == 0 ? 1 : max);
      nuint16 found = 0;
      nwcore_NWGetObjectConnectionNumbers(conn, name.data(), static_cast<nuint16>(p.Word()), &found, list.data(), max);
      nuint16 len = max;
      nwcore_NWGetConnListFromObject(conn, p.Word(), p.Word(), &len, list.data());
      std::vector<NWCONN_HANDLE> handles(max == 0 ? 1 : max);
      nuint16 conns = 0;
      nwcore_NWGetConnectionList(p.Byte(), handles.data(), max, &conns);
      break;
    }
    case 19: {
      const NWCONN_HANDLE conn = Connection(p);
      auto path = p.Text();
      NWDIR_HANDLE dir = 0;
      nuint8 rights = 0;
      if (nwcore_NWAllocTemporaryDirectoryHandle(conn, 0, path.data(), &dir, &rights) != 0) break;
      auto pattern = p.Text();
      nuint32 iteration = 0xFFFFFFFF;
      for (int i = 0; i < 32; ++i) {
        NWENTRY_INFO info;
        if (nwcore_NWIntScanDirEntryInfo(conn, dir, static_cast<nuint16>(p.Word()), &iteration, pattern.data(), &info, 0) != 0) break;
      }
      break;
    }
    case 20: {
      std::vector<char> root(NW_MAX_PATH), relative(NW_MAX_PATH), full(NW_MAX_PATH);
      nuint16 status = 0;
      NWCONN_HANDLE conn = 0;
      nwcore_NWGetDriveStatus(p.Byte(), p.Byte() % 4, &status, &conn, root.data(), relative.data(), full.data());
      break;
    }
    case 21: {
      const NWCONN_HANDLE conn = Connection(p);
      const nuint32 type = p.Byte() % 10;
      const nuint32 len = p.Byte();
      std::vector<std::uint8_t> area(len == 0 ? 1 : len);
      nwcore_NWCCGetConnInfo(conn, type, len, area.data());
      break;
    }
    case 22: {
      auto name = p.Text();
      NWCONN_HANDLE conn = 0;
      nwcore_NWCCOpenConnByName(0, name.data(), p.Byte() % 4, p.Byte() % 4, 0, &conn);
      nwcore_NWGetConnectionHandle(name.data(), 0, &conn, nullptr);
      // NWSetPreferredDSTree reads exactly the length it is given.
      auto tree = p.Text();
      nwcore_NWSetPreferredDSTree(static_cast<nuint16>(tree.size() - 1), tree.data());
      break;
    }
    default: {
      auto queueName = p.Text();
      const NWCONN_HANDLE conn = Connection(p);
      nuint32 queue = 0;
      if (nwcore_NWGetObjectID(conn, queueName.data(), 0x0300, &queue) != 0) queue = p.Word();
      QueueJobListReply list;
      if (nwcore_NWGetQueueJobList2(conn, queue, p.Word() % 300, &list) == 0) {
        NWQueueJobStruct job;
        nwcore_NWReadQueueJobEntry2(conn, queue, p.Word(), &job);
      }
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The demo network; drive letters in a folder of the fuzzer's own.
  unsetenv("NWCLIENT_NETWORK");
  const auto drives = std::filesystem::temp_directory_path() / ("nwfuzz-drives-" + std::to_string(getpid()));
  std::filesystem::create_directories(drives);
  setenv("NWCLIENT_DRIVES", drives.c_str(), 1);
  nwcore_NWCallsInit(nullptr, nullptr);
  return nwc::CurrentNetwork() != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Program p(data, size);
  const NWDSContextHandle ctx = nwcore_NWDSCreateContext();
  for (int steps = 0; !p.Done() && steps < 64; ++steps) Step(p, ctx);
  nwcore_NWDSFreeContext(ctx);
  return 0;
}
