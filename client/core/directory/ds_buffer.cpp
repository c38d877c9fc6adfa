// Directory buffers: allocation, request building, and the iteration states
// that tie the replies of one listing or read together.
#include <map>
#include <mutex>
#include <new>
#include <set>

#include "ds_support.h"
#include "entries.h"

namespace nwc::ds {

namespace {

constexpr std::uint32_t kBufferMagic = 0x4E574246;  // "NWBF"

// Request operations this client knows.
constexpr nuint32 kDsvCompare = 4;
constexpr nuint32 kDsvAddEntry = 7;
constexpr nuint32 kDsvModifyEntry = 9;
// Change types of NWDSPutChange: add attribute ... clear value.
constexpr nint kLastChangeType = 7;

struct Buffers {
  std::mutex mutex;
  std::set<const Buf_T*> live;
};

Buffers& Live() {
  static Buffers b;
  return b;
}

// Iteration states live on "the server": a bounded table, oldest dropped first
// when callers abandon iterations.
constexpr std::size_t kMaxIterations = 256;

struct Iterations {
  std::mutex mutex;
  std::map<nint32, Iteration> table;
  nint32 next = 1;
};

Iterations& Iters() {
  static Iterations i;
  return i;
}

bool TakesAttrNames(nuint32 operation) {
  return operation == DSV_READ || operation == DSV_SEARCH || operation == kDsvCompare || operation == kDsvAddEntry;
}

bool TakesValues(nuint32 operation) {
  return operation == kDsvCompare || operation == kDsvAddEntry || operation == kDsvModifyEntry;
}

}  // namespace

int CheckBuffer(pBuf_T buf) {
  if (buf == nullptr) return ERR_NULL_POINTER;
  Buffers& b = Live();
  std::lock_guard lock(b.mutex);
  return b.live.count(buf) == 1 ? 0 : ERR_INVALID_HANDLE;
}

pBuf_T NewBuffer(std::size_t size) {
  auto* buf = new (std::nothrow) Buf_T;
  if (buf == nullptr) return nullptr;
  try {
    buf->data.reserve(size);
  } catch (const std::bad_alloc&) {
    delete buf;
    return nullptr;
  }
  buf->magic = kBufferMagic;
  buf->maxLen = size;
  Buffers& b = Live();
  std::lock_guard lock(b.mutex);
  b.live.insert(buf);
  return buf;
}

bool FreeBuffer(pBuf_T buf) {
  {
    Buffers& b = Live();
    std::lock_guard lock(b.mutex);
    if (b.live.erase(buf) != 1) return false;
  }
  buf->magic = 0;
  delete buf;
  return true;
}

bool Writer::PutBytes(const void* p, std::size_t n) {
  if (n > Room()) return false;
  if (n == 0) return true;  // an empty value's bytes may be a null pointer
  const auto* bytes = static_cast<const std::uint8_t*>(p);
  buf_.data.insert(buf_.data.end(), bytes, bytes + n);
  return true;
}

bool Writer::PutText(std::string_view text) {
  if (TextSize(text) > Room()) return false;
  Put32(static_cast<std::uint32_t>(text.size() + 1));
  PutBytes(text.data(), text.size());
  const std::uint8_t zero = 0;
  return PutBytes(&zero, 1);
}

bool Reader::GetBytes(void* p, std::size_t n) {
  if (pos_ > buf_.data.size() || n > buf_.data.size() - pos_) return false;
  // An empty value's area may be a null pointer, which memcpy may not take
  // even for no bytes.
  if (n == 0) return true;
  std::memcpy(p, buf_.data.data() + pos_, n);
  pos_ += n;
  return true;
}

bool Reader::Get32(std::uint32_t* v) { return GetBytes(v, sizeof *v); }

bool Reader::Skip(std::size_t n) {
  if (pos_ > buf_.data.size() || n > buf_.data.size() - pos_) return false;
  pos_ += n;
  return true;
}

bool Reader::GetText(std::string* text) {
  std::uint32_t len = 0;
  if (!Get32(&len) || len == 0) return false;
  if (pos_ > buf_.data.size() || len > buf_.data.size() - pos_) return false;
  const char* at = reinterpret_cast<const char*>(buf_.data.data() + pos_);
  if (at[len - 1] != '\0') return false;
  text->assign(at, len - 1);
  pos_ += len;
  return true;
}

nint32 SaveIteration(Iteration state) {
  Iterations& it = Iters();
  std::lock_guard lock(it.mutex);
  while (it.table.size() >= kMaxIterations) it.table.erase(it.table.begin());
  nint32 handle = it.next;
  it.next = (it.next == INT32_MAX) ? 1 : it.next + 1;
  it.table.insert_or_assign(handle, std::move(state));
  return handle;
}

bool TakeIteration(nint32 handle, Iteration* out) {
  Iterations& it = Iters();
  std::lock_guard lock(it.mutex);
  auto found = it.table.find(handle);
  if (found == it.table.end()) return false;
  *out = std::move(found->second);
  it.table.erase(found);
  return true;
}

void ReturnIteration(nint32 handle, Iteration state) {
  Iterations& it = Iters();
  std::lock_guard lock(it.mutex);
  it.table.insert_or_assign(handle, std::move(state));
}

int InputText(const char* text, std::size_t area, int tooLong, std::string_view* out) {
  if (text == nullptr) return ERR_NULL_POINTER;
  const std::size_t len = strnlen(text, area);
  if (len >= area) return tooLong;
  *out = std::string_view(text, len);
  return 0;
}

int ContextAndName(NWDSContextHandle handle, const char* name, ContextState* context, DName* out) {
  if (!GetContextState(handle, context)) return ERR_BAD_CONTEXT;
  std::string_view text;
  if (int rc = InputText(name, MAX_DN_BYTES, ERR_DN_TOO_LONG, &text); rc != 0) return rc;
  return ContextName(*context, text, out);
}

int ResolveEntry(const ContextState& context, const DName& name, EntryInfo* out) {
  DirectoryStore* store = CurrentDirectoryStore();
  if (store == nullptr) return ERR_NO_CONNECTION;
  return store->Resolve(name, context.DerefAliases(), out);
}

int PutName(const std::string& text, char* out, std::size_t area) {
  if (out == nullptr) return ERR_NULL_POINTER;
  if (text.size() >= area) return ERR_DN_TOO_LONG;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return 0;
}

}  // namespace nwc::ds

using namespace nwc;
using namespace nwc::ds;

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSAllocBuf(size_t size, pBuf_T* buf) {
  if (buf == nullptr) return ERR_NULL_POINTER;
  *buf = nullptr;
  if (size == 0) return ERR_BUFFER_ZERO_LENGTH;
  if (size > kMaxBufferSize) return ERR_NOT_ENOUGH_MEMORY;
  pBuf_T made = NewBuffer(size);
  if (made == nullptr) return ERR_NOT_ENOUGH_MEMORY;
  *buf = made;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSFreeBuf(pBuf_T buf) {
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  return FreeBuffer(buf) ? 0 : ERR_INVALID_HANDLE;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSInitBuf(NWDSContextHandle context, nuint32 operation, pBuf_T buf) {
  if (!GetContextState(context, nullptr)) return ERR_BAD_CONTEXT;
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (!TakesAttrNames(operation) && !TakesValues(operation)) return ERR_BAD_VERB;
  buf->data.clear();
  buf->kind = Buf_T::kRequest;
  buf->operation = operation;
  buf->pos = 0;
  buf->itemsLeft = buf->valuesLeft = 0;
  Writer w(*buf);
  if (!w.Put32(0)) {  // the count of names that follow
    buf->kind = Buf_T::kFresh;
    return ERR_BUFFER_FULL;
  }
  return 0;
}

namespace {

// Counts one more name or change in a request.
void CountItem(Buf_T& buf) {
  std::uint32_t count = 0;
  std::memcpy(&count, buf.data.data(), sizeof count);
  Writer(buf).Patch32(0, count + 1);
}

int RequestFor(NWDSContextHandle context, pBuf_T buf) {
  if (!GetContextState(context, nullptr)) return ERR_BAD_CONTEXT;
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (buf->kind != Buf_T::kRequest) return ERR_BAD_VERB;
  return 0;
}

}  // namespace

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSPutAttrName(NWDSContextHandle context, pBuf_T buf,
                                                          const char* attrName) {
  if (int rc = RequestFor(context, buf); rc != 0) return rc;
  if (!TakesAttrNames(buf->operation)) return ERR_BAD_VERB;
  Writer w(*buf);
  // Read the name no further than the room left could hold it.
  std::string_view name;
  if (int rc = InputText(attrName, w.Room(), ERR_BUFFER_FULL, &name); rc != 0) return rc;
  if (!w.PutText(name)) return ERR_BUFFER_FULL;
  CountItem(*buf);
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSPutChange(NWDSContextHandle context, pBuf_T buf, nint changeType,
                                                        const char* attrName) {
  if (int rc = RequestFor(context, buf); rc != 0) return rc;
  if (buf->operation != kDsvModifyEntry) return ERR_BAD_VERB;
  if (changeType < 0 || changeType > kLastChangeType) return ERR_BAD_VERB;
  Writer w(*buf);
  const std::size_t start = w.Size();
  std::string_view name;
  if (int rc = InputText(attrName, w.Room(), ERR_BUFFER_FULL, &name); rc != 0) return rc;
  if (!w.Put32(static_cast<std::uint32_t>(changeType)) || !w.PutText(name)) {
    w.Truncate(start);
    return ERR_BUFFER_FULL;
  }
  CountItem(*buf);
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSPutAttrVal(NWDSContextHandle context, pBuf_T buf, nuint32 syntaxID,
                                                         nptr attrVal) {
  if (int rc = RequestFor(context, buf); rc != 0) return rc;
  if (!TakesValues(buf->operation)) return ERR_BAD_VERB;
  if (attrVal == nullptr) return ERR_NULL_POINTER;
  Writer w(*buf);
  WireValue v;
  switch (syntaxID) {
    case SYN_DIST_NAME:
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_TEL_NUMBER:
    case SYN_CLASS_NAME: {
      std::string_view text;
      if (int rc = InputText(static_cast<const char*>(attrVal), w.Room(), ERR_BUFFER_FULL, &text); rc != 0) {
        return rc;
      }
      v.kind = syntaxID == SYN_DIST_NAME ? WireValue::kName : WireValue::kText;
      v.text = std::string(text);
      break;
    }
    case SYN_BOOLEAN:
      v.kind = WireValue::kBoolean;
      v.boolean = *static_cast<const nuint8*>(attrVal) != 0;
      break;
    case SYN_INTEGER:
    case SYN_COUNTER:
    case SYN_TIME:
    case SYN_INTERVAL:
      v.kind = WireValue::kInteger;
      std::memcpy(&v.a, attrVal, sizeof v.a);
      break;
    default:
      if (syntaxID > SYN_INTERVAL) return ERR_NO_SUCH_SYNTAX;
      return ERR_BAD_SYNTAX;
  }
  const std::size_t start = w.Size();
  if (!Encode(w, v)) {
    w.Truncate(start);
    return ERR_BUFFER_FULL;
  }
  return 0;
}
