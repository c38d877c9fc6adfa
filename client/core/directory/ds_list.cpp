// Listing the subordinates of a container, reply by reply.
//
// A list reply holds a count and, per object, the naming type and value of
// its leaf, the 80-byte object information and an attribute count. Only the
// objects that fit the reply's size go in; the iteration handle carries the
// position of the next one to the following NWDSList.
#include <algorithm>

#include "ds_support.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::ds;

namespace {

// The smallest an object takes in a reply: two one-character texts, the
// information record and the attribute count.
constexpr std::size_t kMinObjectBytes = 2 * Writer::TextSize("x") + sizeof(Object_Info_T) + 4;

std::size_t ObjectBytes(const Rdn& leaf) {
  return Writer::TextSize(leaf.type) + Writer::TextSize(leaf.value) + sizeof(Object_Info_T) + 4;
}

Object_Info_T InfoOf(const ContextState& context, const DirectoryStore& store, const EntryInfo& e) {
  Object_Info_T info;
  std::memset(&info, 0, sizeof info);
  info.objectFlags = e.flags;
  info.subordinateCount = e.subordinateCount;
  info.modificationTime = e.modificationTime;
  std::string baseClass = e.baseClass;
  // An alias shows the class of the object it names when the context asks.
  if ((context.flags & DCV_DEREF_BASE_CLASS) != 0 && e.aliasTarget != 0) {
    EntryInfo target;
    if (store.EntryById(e.aliasTarget, &target) == 0) baseClass = target.baseClass;
  }
  const std::size_t len = std::min(baseClass.size(), sizeof info.baseClass - 1);
  std::memcpy(info.baseClass, baseClass.data(), len);
  return info;
}

void StartListReply(Buf_T& buf) {
  buf.data.clear();
  buf.kind = Buf_T::kListReply;
  buf.operation = 0;
  buf.pos = 4;
  buf.itemsLeft = 0;
  buf.valuesLeft = 0;
}

// Fills the reply from the state's position. `done` tells whether the last
// subordinate went in.
int FillList(const ContextState& context, const DirectoryStore& store, ListIteration& state, Buf_T& reply,
             bool* done) {
  StartListReply(reply);
  Writer w(reply);
  if (!w.Put32(0)) return ERR_INSUFFICIENT_BUFFER;
  std::uint32_t count = 0;
  std::size_t total = 0;
  bool full = false;
  while (!full) {
    const std::size_t chunk = w.Room() / kMinObjectBytes + 1;
    std::vector<EntryInfo> page;
    if (int rc = store.ListSubordinates(state.container, state.position, chunk, &page, &total); rc != 0) return rc;
    if (page.empty()) break;
    for (const EntryInfo& e : page) {
      if (e.name.parts.empty()) {  // the root is no subordinate
        ++state.position;
        continue;
      }
      const Rdn& leaf = e.name.parts.front();
      if (ObjectBytes(leaf) > w.Room()) {
        full = true;
        break;
      }
      const Object_Info_T info = InfoOf(context, store, e);
      w.PutText(leaf.type);
      w.PutText(leaf.value);
      w.PutBytes(&info, sizeof info);
      w.Put32(0);  // no attribute information was asked for
      ++count;
      ++state.position;
    }
  }
  // Not even one object fits this reply.
  if (count == 0 && state.position < total) return ERR_INSUFFICIENT_BUFFER;
  w.Patch32(0, count);
  reply.itemsLeft = count;
  *done = state.position >= total;
  return 0;
}

}  // namespace

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSList(NWDSContextHandle context, const char* object,
                                                   nint32* iterationHandle, pBuf_T subordinates) {
  if (iterationHandle == nullptr) return ERR_NULL_POINTER;
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, object, &ctx, &name); rc != 0) return rc;
  if (int rc = CheckBuffer(subordinates); rc != 0) return rc;

  auto lock = NetworkLock();
  DirectoryStore* store = CurrentDirectoryStore();
  if (store == nullptr) return ERR_NO_CONNECTION;
  EntryInfo container;
  // Only the container's ID is needed: counting its subordinates would read
  // the whole listing before the first reply.
  if (int rc = store->ResolveLight(name, ctx.DerefAliases(), &container); rc != 0) return rc;

  const nint32 handle = *iterationHandle;
  ListIteration state{container.id, 0};
  if (handle != NO_MORE_ITERATIONS) {
    Iteration saved;
    if (!TakeIteration(handle, &saved)) return ERR_INVALID_ITERATION;
    const ListIteration* list = std::get_if<ListIteration>(&saved);
    if (list == nullptr || list->container != container.id) {
      // Another request's iteration: it stays as it was.
      ReturnIteration(handle, std::move(saved));
      return ERR_INVALID_ITERATION;
    }
    state = *list;
  }

  bool done = false;
  const ListIteration before = state;
  if (int rc = FillList(ctx, *store, state, *subordinates, &done); rc != 0) {
    subordinates->itemsLeft = 0;
    if (handle != NO_MORE_ITERATIONS) ReturnIteration(handle, before);
    return rc;
  }
  if (done) {
    *iterationHandle = NO_MORE_ITERATIONS;
  } else if (handle != NO_MORE_ITERATIONS) {
    ReturnIteration(handle, state);
  } else {
    *iterationHandle = SaveIteration(state);
  }
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSGetObjectCount(NWDSContextHandle context, pBuf_T buf,
                                                             nuint32* objectCount) {
  if (!GetContextState(context, nullptr)) return ERR_BAD_CONTEXT;
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (objectCount == nullptr) return ERR_NULL_POINTER;
  if (buf->kind != Buf_T::kListReply) return ERR_BAD_VERB;
  Reader r(*buf, 0);
  std::uint32_t count = 0;
  if (!r.Get32(&count)) return ERR_BUFFER_EMPTY;
  buf->pos = r.Pos();
  buf->itemsLeft = count;
  *objectCount = count;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSGetObjectName(NWDSContextHandle context, pBuf_T buf, char* objectName,
                                                            nuint32* attrCount, Object_Info_T* objectInfo) {
  ContextState ctx;
  if (!GetContextState(context, &ctx)) return ERR_BAD_CONTEXT;
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (objectName == nullptr) return ERR_NULL_POINTER;
  if (buf->kind != Buf_T::kListReply) return ERR_BAD_VERB;
  if (buf->itemsLeft == 0) return ERR_BUFFER_EMPTY;
  Reader r(*buf, buf->pos);
  Rdn leaf;
  Object_Info_T info;
  std::uint32_t attrs = 0;
  if (!r.GetText(&leaf.type) || !r.GetText(&leaf.value) || !r.GetBytes(&info, sizeof info) || !r.Get32(&attrs)) {
    buf->itemsLeft = 0;
    return ERR_BUFFER_EMPTY;
  }
  // The object is taken whether or not its name fits the caller's area.
  buf->pos = r.Pos();
  --buf->itemsLeft;
  // Subordinates come back by their own part of the name, typed or not as
  // the context asks.
  DName rdn;
  rdn.parts.push_back(std::move(leaf));
  if (int rc = PutName(FormatName(rdn, ctx.Typeless()), objectName, MAX_DN_BYTES); rc != 0) return rc;
  if (attrCount != nullptr) *attrCount = attrs;
  if (objectInfo != nullptr) std::memcpy(objectInfo, &info, sizeof info);
  return 0;
}
