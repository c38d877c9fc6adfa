// Reading attributes: NWDSRead fills a reply with attribute names and their
// values, the NWDSGet* entry points hand them out one by one in the record
// of each syntax, and NWDSOpenStream gives a stream attribute's content as a
// file descriptor.
//
// A read reply holds a count and, per attribute, its syntax, name and value
// count followed by the values: a length word, a kind byte and the payload.
// Values that do not fit one reply follow in the next; the iteration handle
// carries the position.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "ds_support.h"
#include "entries.h"

namespace nwc::ds {

namespace {

// Octet strings and streams come back as a length and a pointer to the
// bytes, which follow the record.
struct OctetRecord {
  nuint32 length;
  nuint8* data;
};

std::size_t PayloadSize(const WireValue& v) {
  switch (v.kind) {
    case WireValue::kText:
    case WireValue::kName: return v.text.size() + 1;
    case WireValue::kInteger: return 4;
    case WireValue::kBoolean: return 1;
    case WireValue::kPath: return 4 + Writer::TextSize(v.text) + Writer::TextSize(v.text2);
    case WireValue::kTypedName: return 8 + Writer::TextSize(v.text);
    case WireValue::kEmail: return 4 + Writer::TextSize(v.text);
    case WireValue::kOctets: return v.octets.size();
  }
  return 0;
}

int NameOf(const ContextState& context, const std::string& canonical, std::string* out) {
  DName name;
  if (int rc = CanonicalizeName(canonical, DName{}, TypeOracle{}, &name); rc != 0) return rc;
  *out = ContextFormat(context, name);
  if (out->size() >= MAX_DN_BYTES) return ERR_DN_TOO_LONG;
  return 0;
}

// The texts a value hands out, names formatted for the context.
int OutputTexts(const ContextState& context, const WireValue& v, std::string* first) {
  if (v.kind == WireValue::kName || v.kind == WireValue::kPath || v.kind == WireValue::kTypedName) {
    return NameOf(context, v.text, first);
  }
  *first = v.text;
  return 0;
}

template <typename T>
void PutRecord(void* area, const T& record) {
  std::memcpy(area, &record, sizeof record);
}

}  // namespace

WireValue ToWire(const Value& value, std::uint32_t syntax) {
  WireValue w;
  if (const std::string* s = value.Text()) {
    w.kind = syntax == SYN_DIST_NAME ? WireValue::kName : WireValue::kText;
    w.text = *s;
  } else if (const std::int32_t* i = value.Integer()) {
    w.kind = WireValue::kInteger;
    w.a = static_cast<std::uint32_t>(*i);
  } else if (const bool* b = value.Boolean()) {
    w.kind = WireValue::kBoolean;
    w.boolean = *b;
  } else if (const PathValue* p = value.Path()) {
    w.kind = WireValue::kPath;
    w.a = p->nameSpace;
    w.text = p->volume;
    w.text2 = p->path;
  } else if (const TypedNameValue* t = value.TypedName()) {
    w.kind = WireValue::kTypedName;
    w.text = t->name;
    w.a = t->level;
    w.b = t->interval;
  } else if (const EmailValue* e = value.Email()) {
    w.kind = WireValue::kEmail;
    w.a = e->type;
    w.text = e->address;
  } else if (const Bytes* o = value.Octets()) {
    w.kind = WireValue::kOctets;
    // A stream's content is read through NWDSOpenStream, not in a reply.
    if (syntax != SYN_STREAM) w.octets = *o;
  }
  return w;
}

std::size_t EncodedSize(const WireValue& v) { return 4 + 1 + PayloadSize(v); }

bool Encode(Writer& w, const WireValue& v) {
  if (EncodedSize(v) > w.Room()) return false;
  const auto kind = static_cast<std::uint8_t>(v.kind);
  w.Put32(static_cast<std::uint32_t>(PayloadSize(v)));
  w.PutBytes(&kind, 1);
  switch (v.kind) {
    case WireValue::kText:
    case WireValue::kName:
      return w.PutBytes(v.text.c_str(), v.text.size() + 1);
    case WireValue::kInteger:
      return w.Put32(v.a);
    case WireValue::kBoolean: {
      const std::uint8_t byte = v.boolean ? 1 : 0;
      return w.PutBytes(&byte, 1);
    }
    case WireValue::kPath:
      return w.Put32(v.a) && w.PutText(v.text) && w.PutText(v.text2);
    case WireValue::kTypedName:
      return w.Put32(v.a) && w.Put32(v.b) && w.PutText(v.text);
    case WireValue::kEmail:
      return w.Put32(v.a) && w.PutText(v.text);
    case WireValue::kOctets:
      return w.PutBytes(v.octets.data(), v.octets.size());
  }
  return false;
}

bool Decode(Reader& r, WireValue* v) {
  std::uint32_t len = 0;
  std::uint8_t kind = 0;
  if (!r.Get32(&len) || !r.GetBytes(&kind, 1)) return false;
  const std::size_t end = r.Pos() + len;
  *v = WireValue{};
  v->kind = static_cast<WireValue::Kind>(kind);
  bool ok = false;
  switch (kind) {
    case WireValue::kText:
    case WireValue::kName: {
      if (len == 0) return false;
      std::string text(len, '\0');
      ok = r.GetBytes(text.data(), len) && text.back() == '\0';
      text.pop_back();
      v->text = std::move(text);
      break;
    }
    case WireValue::kInteger: ok = r.Get32(&v->a); break;
    case WireValue::kBoolean: {
      std::uint8_t byte = 0;
      ok = r.GetBytes(&byte, 1);
      v->boolean = byte != 0;
      break;
    }
    case WireValue::kPath: ok = r.Get32(&v->a) && r.GetText(&v->text) && r.GetText(&v->text2); break;
    case WireValue::kTypedName: ok = r.Get32(&v->a) && r.Get32(&v->b) && r.GetText(&v->text); break;
    case WireValue::kEmail: ok = r.Get32(&v->a) && r.GetText(&v->text); break;
    case WireValue::kOctets:
      v->octets.resize(len);
      ok = r.GetBytes(v->octets.data(), len);
      break;
    default: return false;
  }
  return ok && r.Pos() == end;
}

int OutputSize(const ContextState& context, const WireValue& v, std::size_t* size) {
  std::string first;
  if (int rc = OutputTexts(context, v, &first); rc != 0) return rc;
  switch (v.kind) {
    case WireValue::kText:
    case WireValue::kName: *size = first.size() + 1; break;
    case WireValue::kInteger: *size = 4; break;
    case WireValue::kBoolean: *size = 1; break;
    case WireValue::kPath: *size = sizeof(Path_T) + first.size() + 1 + v.text2.size() + 1; break;
    case WireValue::kTypedName: *size = sizeof(Typed_Name_T) + first.size() + 1; break;
    case WireValue::kEmail: *size = sizeof(EMail_Address_T) + first.size() + 1; break;
    case WireValue::kOctets: *size = sizeof(OctetRecord) + v.octets.size(); break;
  }
  return 0;
}

int WriteOutput(const ContextState& context, const WireValue& v, void* area) {
  std::string first;
  if (int rc = OutputTexts(context, v, &first); rc != 0) return rc;
  auto* out = static_cast<char*>(area);
  switch (v.kind) {
    case WireValue::kText:
    case WireValue::kName:
      std::memcpy(out, first.c_str(), first.size() + 1);
      break;
    case WireValue::kInteger:
      std::memcpy(out, &v.a, 4);
      break;
    case WireValue::kBoolean:
      *out = v.boolean ? 1 : 0;
      break;
    case WireValue::kPath: {
      char* volume = out + sizeof(Path_T);
      char* path = volume + first.size() + 1;
      std::memcpy(volume, first.c_str(), first.size() + 1);
      std::memcpy(path, v.text2.c_str(), v.text2.size() + 1);
      PutRecord(out, Path_T{v.a, volume, path});
      break;
    }
    case WireValue::kTypedName: {
      char* name = out + sizeof(Typed_Name_T);
      std::memcpy(name, first.c_str(), first.size() + 1);
      PutRecord(out, Typed_Name_T{name, v.a, v.b});
      break;
    }
    case WireValue::kEmail: {
      char* address = out + sizeof(EMail_Address_T);
      std::memcpy(address, first.c_str(), first.size() + 1);
      PutRecord(out, EMail_Address_T{v.a, address});
      break;
    }
    case WireValue::kOctets: {
      auto* bytes = reinterpret_cast<nuint8*>(out + sizeof(OctetRecord));
      if (!v.octets.empty()) std::memcpy(bytes, v.octets.data(), v.octets.size());
      PutRecord(out, OctetRecord{static_cast<nuint32>(v.octets.size()), bytes});
      break;
    }
  }
  return 0;
}

}  // namespace nwc::ds

using namespace nwc;
using namespace nwc::ds;

namespace {

std::size_t HeaderBytes(const AttributeValues& a) { return 4 + Writer::TextSize(a.name) + 4; }

// The attribute names of a read request.
int RequestedNames(const Buf_T& request, std::vector<std::string>* names) {
  if (request.kind != Buf_T::kRequest || request.operation != DSV_READ) return ERR_BAD_VERB;
  Reader r(request, 0);
  std::uint32_t count = 0;
  if (!r.Get32(&count)) return ERR_BUFFER_EMPTY;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string name;
    if (!r.GetText(&name)) return ERR_BUFFER_EMPTY;
    names->push_back(std::move(name));
  }
  return 0;
}

// Gathers what a new read delivers: every attribute, or those asked for that
// the object has (ERR_NO_SUCH_ATTRIBUTE when it has none of them).
int Snapshot(const DirectoryStore& store, std::uint32_t id, bool allAttrs, const Buf_T* request,
             std::vector<AttributeValues>* out) {
  if (allAttrs) {
    if (int rc = store.ReadAttributes(id, out); rc != 0) return rc;
  } else {
    if (request == nullptr) return ERR_NULL_POINTER;
    std::vector<std::string> names;
    if (int rc = RequestedNames(*request, &names); rc != 0) return rc;
    for (const std::string& name : names) {
      AttributeValues a;
      const int rc = store.ReadAttribute(id, name, &a);
      if (rc == ERR_NO_SUCH_ATTRIBUTE) continue;
      if (rc != 0) return rc;
      const bool twice = std::any_of(out->begin(), out->end(), [&](const AttributeValues& x) { return EqualNoCase(x.name, a.name); });
      if (!twice) out->push_back(std::move(a));
    }
    if (out->empty()) return ERR_NO_SUCH_ATTRIBUTE;
  }
  // Attributes without values are not delivered.
  out->erase(std::remove_if(out->begin(), out->end(), [](const AttributeValues& a) { return a.values.empty(); }),
             out->end());
  return 0;
}

void StartReadReply(Buf_T& buf, std::uint32_t infoType) {
  buf.data.clear();
  buf.kind = Buf_T::kReadReply;
  buf.operation = 0;
  buf.infoType = infoType;
  buf.pos = 4;
  buf.itemsLeft = 0;
  buf.valuesLeft = 0;
  buf.syntax = 0;
}

// Fills the reply from the state's position: whole values only, an
// attribute's header repeated in every reply that carries its values.
int FillRead(ReadIteration& state, Buf_T& reply, bool* done) {
  StartReadReply(reply, state.infoType);
  Writer w(reply);
  if (!w.Put32(0)) return ERR_INSUFFICIENT_BUFFER;
  std::uint32_t count = 0;
  while (state.attribute < state.attributes.size()) {
    const AttributeValues& a = state.attributes[state.attribute];
    const std::size_t header = HeaderBytes(a);
    if (state.infoType == DS_ATTRIBUTE_NAMES) {
      if (header > w.Room()) break;
      w.Put32(a.syntax);
      w.PutText(a.name);
      w.Put32(0);
      ++count;
      ++state.attribute;
      continue;
    }
    WireValue first = ToWire(a.values[state.value], a.syntax);
    if (header + EncodedSize(first) > w.Room()) break;
    w.Put32(a.syntax);
    w.PutText(a.name);
    const std::size_t countAt = w.Size();
    w.Put32(0);
    std::uint32_t values = 0;
    while (state.value < a.values.size()) {
      WireValue v = ToWire(a.values[state.value], a.syntax);
      if (!Encode(w, v)) break;
      ++values;
      ++state.value;
    }
    w.Patch32(countAt, values);
    ++count;
    if (state.value < a.values.size()) break;  // the reply is full
    ++state.attribute;
    state.value = 0;
  }
  // Not even one value fits this reply.
  if (count == 0 && state.attribute < state.attributes.size()) return ERR_INSUFFICIENT_BUFFER;
  w.Patch32(0, count);
  reply.itemsLeft = count;
  *done = state.attribute >= state.attributes.size();
  return 0;
}

// The reply of a value call: a read reply positioned on a value of the
// attribute whose syntax the caller names.
int ValueReply(NWDSContextHandle context, pBuf_T buf, nuint32 syntaxID, ContextState* ctx) {
  if (!GetContextState(context, ctx)) return ERR_BAD_CONTEXT;
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (buf->kind != Buf_T::kReadReply) return ERR_BAD_VERB;
  if (buf->valuesLeft == 0) return ERR_BUFFER_EMPTY;
  if (syntaxID > SYN_INTERVAL) return ERR_NO_SUCH_SYNTAX;
  if (syntaxID != buf->syntax) return ERR_BAD_SYNTAX;
  return 0;
}

}  // namespace

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSRead(NWDSContextHandle context, const char* object, nuint32 infoType,
                                                   nuint8 allAttrs, pBuf_T attrNames, nint32* iterationHandle,
                                                   pBuf_T objectInfo) {
  if (iterationHandle == nullptr) return ERR_NULL_POINTER;
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, object, &ctx, &name); rc != 0) return rc;
  if (int rc = CheckBuffer(objectInfo); rc != 0) return rc;
  if (!allAttrs) {
    if (int rc = CheckBuffer(attrNames); rc != 0) return rc;
  }
  if (infoType != DS_ATTRIBUTE_NAMES && infoType != DS_ATTRIBUTE_VALUES) return ERR_INVALID_REQUEST;

  auto lock = NetworkLock();
  DirectoryStore* store = CurrentDirectoryStore();
  if (store == nullptr) return ERR_NO_CONNECTION;
  EntryInfo entry;
  if (int rc = store->Resolve(name, ctx.DerefAliases(), &entry); rc != 0) return rc;

  const nint32 handle = *iterationHandle;
  ReadIteration state;
  if (handle == NO_MORE_ITERATIONS) {
    state.object = entry.id;
    state.infoType = infoType;
    if (int rc = Snapshot(*store, entry.id, allAttrs != 0, allAttrs ? nullptr : attrNames, &state.attributes); rc != 0) {
      return rc;
    }
  } else {
    Iteration saved;
    if (!TakeIteration(handle, &saved)) return ERR_INVALID_ITERATION;
    ReadIteration* read = std::get_if<ReadIteration>(&saved);
    if (read == nullptr || read->object != entry.id || read->infoType != infoType) {
      ReturnIteration(handle, std::move(saved));
      return ERR_INVALID_ITERATION;
    }
    state = std::move(*read);
  }

  bool done = false;
  const std::size_t attribute = state.attribute;
  const std::size_t value = state.value;
  if (int rc = FillRead(state, *objectInfo, &done); rc != 0) {
    objectInfo->itemsLeft = 0;
    if (handle != NO_MORE_ITERATIONS) {
      state.attribute = attribute;
      state.value = value;
      ReturnIteration(handle, std::move(state));
    }
    return rc;
  }
  if (done) {
    *iterationHandle = NO_MORE_ITERATIONS;
  } else if (handle != NO_MORE_ITERATIONS) {
    ReturnIteration(handle, std::move(state));
  } else {
    *iterationHandle = SaveIteration(std::move(state));
  }
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSGetAttrCount(NWDSContextHandle context, pBuf_T buf, nuint32* attrCount) {
  if (!GetContextState(context, nullptr)) return ERR_BAD_CONTEXT;
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (attrCount == nullptr) return ERR_NULL_POINTER;
  if (buf->kind != Buf_T::kReadReply) return ERR_BAD_VERB;
  Reader r(*buf, 0);
  std::uint32_t count = 0;
  if (!r.Get32(&count)) return ERR_BUFFER_EMPTY;
  buf->pos = r.Pos();
  buf->itemsLeft = count;
  buf->valuesLeft = 0;
  *attrCount = count;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSGetAttrName(NWDSContextHandle context, pBuf_T buf, char* attrName,
                                                          nuint32* attrValCount, nuint32* syntaxID) {
  if (!GetContextState(context, nullptr)) return ERR_BAD_CONTEXT;
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (attrName == nullptr) return ERR_NULL_POINTER;
  if (buf->kind != Buf_T::kReadReply) return ERR_BAD_VERB;
  if (buf->itemsLeft == 0) return ERR_BUFFER_EMPTY;
  Reader r(*buf, buf->pos);
  // Values of the previous attribute not taken are passed over.
  for (; buf->valuesLeft > 0; --buf->valuesLeft) {
    WireValue skipped;
    if (!Decode(r, &skipped)) break;
  }
  std::uint32_t syntax = 0;
  std::uint32_t values = 0;
  std::string name;
  if (!r.Get32(&syntax) || !r.GetText(&name) || !r.Get32(&values)) {
    buf->itemsLeft = 0;
    buf->valuesLeft = 0;
    return ERR_BUFFER_EMPTY;
  }
  buf->pos = r.Pos();
  --buf->itemsLeft;
  buf->valuesLeft = buf->infoType == DS_ATTRIBUTE_VALUES ? values : 0;
  buf->syntax = syntax;
  if (name.size() >= MAX_SCHEMA_NAME_BYTES) return ERR_ATTR_NAME_TOO_LONG;
  std::memcpy(attrName, name.c_str(), name.size() + 1);
  if (attrValCount != nullptr) *attrValCount = values;
  if (syntaxID != nullptr) *syntaxID = syntax;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSComputeAttrValSize(NWDSContextHandle context, pBuf_T buf,
                                                                 nuint32 syntaxID, nuint32* attrValSize) {
  ContextState ctx;
  if (int rc = ValueReply(context, buf, syntaxID, &ctx); rc != 0) return rc;
  if (attrValSize == nullptr) return ERR_NULL_POINTER;
  Reader r(*buf, buf->pos);
  WireValue v;
  if (!Decode(r, &v)) return ERR_BUFFER_EMPTY;
  std::size_t size = 0;
  if (int rc = OutputSize(ctx, v, &size); rc != 0) return rc;
  *attrValSize = static_cast<nuint32>(size);
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSGetAttrVal(NWDSContextHandle context, pBuf_T buf, nuint32 syntaxID,
                                                         nptr attrVal) {
  ContextState ctx;
  if (int rc = ValueReply(context, buf, syntaxID, &ctx); rc != 0) return rc;
  if (attrVal == nullptr) return ERR_NULL_POINTER;
  Reader r(*buf, buf->pos);
  WireValue v;
  if (!Decode(r, &v)) {
    buf->valuesLeft = 0;
    return ERR_BUFFER_EMPTY;
  }
  buf->pos = r.Pos();
  --buf->valuesLeft;
  return WriteOutput(ctx, v, attrVal);
}

namespace {

// A read-only descriptor over a copy of the bytes: a sealed memory file
// reopened for reading, or an unlinked temporary file where memory files are
// not available.
int ReadOnlyDescriptor(const Bytes& bytes) {
  auto writeAll = [&](int fd) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  };
  int fd = memfd_create("nwds-stream", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd >= 0) {
    if (!writeAll(fd)) {
      ::close(fd);
      return -1;
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL);
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int readOnly = ::open(path, O_RDONLY | O_CLOEXEC);
    if (readOnly >= 0) {
      ::close(fd);
      return readOnly;
    }
    // The seals keep the content as it is even through this descriptor.
    ::lseek(fd, 0, SEEK_SET);
    return fd;
  }
  char pattern[] = "/tmp/nwds-stream-XXXXXX";
  fd = mkostemp(pattern, O_CLOEXEC);
  if (fd < 0) return -1;
  const bool written = writeAll(fd);
  const int readOnly = written ? ::open(pattern, O_RDONLY | O_CLOEXEC) : -1;
  ::unlink(pattern);
  ::close(fd);
  return readOnly;
}

}  // namespace

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSOpenStream(NWDSContextHandle context, const char* objectName,
                                                         const char* attrName, nflag32 flags,
                                                         NWFILE_HANDLE* fileHandle) {
  if (fileHandle == nullptr) return ERR_NULL_POINTER;
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, objectName, &ctx, &name); rc != 0) return rc;
  std::string_view attribute;
  if (int rc = InputText(attrName, MAX_SCHEMA_NAME_BYTES, ERR_ATTR_NAME_TOO_LONG, &attribute); rc != 0) return rc;
  // The content is always delivered for reading; this client writes no
  // stream back to the directory.
  if ((flags & DS_READ_STREAM) == 0 || (flags & ~static_cast<nflag32>(DS_READ_STREAM | DS_WRITE_STREAM)) != 0) {
    return ERR_INVALID_REQUEST;
  }
  Bytes content;
  {
    auto lock = NetworkLock();
    DirectoryStore* store = CurrentDirectoryStore();
    if (store == nullptr) return ERR_NO_CONNECTION;
    EntryInfo entry;
    if (int rc = store->Resolve(name, ctx.DerefAliases(), &entry); rc != 0) return rc;
    if (int rc = store->ReadStream(entry.id, attribute, &content); rc != 0) return rc;
  }
  const int fd = ReadOnlyDescriptor(content);
  if (fd < 0) return ERR_SYSTEM_ERROR;
  *fileHandle = fd;
  return 0;
}
