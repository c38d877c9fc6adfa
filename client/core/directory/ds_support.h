// Shared pieces of the directory entry points: the request/reply buffers
// (Buf_T) with their byte layout, the server-side iteration states behind
// iteration handles, and the checks every entry point makes on its input.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "directory.h"
#include "ds_context.h"
#include "network.h"
#include "nwclient.h"

// A directory buffer. Requests are built with NWDSInitBuf/NWDSPutAttrName;
// replies are written by NWDSList and NWDSRead and taken apart by the
// NWDSGet* entry points. `data` never grows past `maxLen`.
struct Buf_T {
  enum Kind : std::uint32_t { kFresh, kRequest, kListReply, kReadReply };

  std::uint32_t magic = 0;
  Kind kind = kFresh;
  std::uint32_t operation = 0;  // DSV_* of a request
  std::size_t maxLen = 0;
  std::vector<std::uint8_t> data;

  // Cursor over a reply.
  std::size_t pos = 0;
  std::uint32_t itemsLeft = 0;   // objects of a list, attributes of a read
  std::uint32_t valuesLeft = 0;  // values of the current attribute
  std::uint32_t syntax = 0;      // syntax of the current attribute
  std::uint32_t infoType = 0;    // of a read reply
};

namespace nwc::ds {

inline constexpr std::size_t kMaxBufferSize = 64 * 1024;

// The buffer behind a pointer the caller hands in: 0, ERR_NULL_POINTER, or
// ERR_INVALID_HANDLE for a pointer that is not a live buffer of this client.
int CheckBuffer(pBuf_T buf);
pBuf_T NewBuffer(std::size_t size);
bool FreeBuffer(pBuf_T buf);

// Appends to a buffer, never past its size.
class Writer {
 public:
  explicit Writer(Buf_T& buf) : buf_(buf) {}
  std::size_t Room() const { return buf_.maxLen - buf_.data.size(); }
  std::size_t Size() const { return buf_.data.size(); }
  bool Put32(std::uint32_t v) { return PutBytes(&v, sizeof v); }
  bool PutBytes(const void* p, std::size_t n);
  // A length-prefixed text with its terminator.
  bool PutText(std::string_view text);
  void Patch32(std::size_t at, std::uint32_t v) { std::memcpy(buf_.data.data() + at, &v, sizeof v); }
  void Truncate(std::size_t size) { buf_.data.resize(size); }

  static constexpr std::size_t TextSize(std::string_view text) { return 4 + text.size() + 1; }

 private:
  Buf_T& buf_;
};

// Reads from a buffer's filled part; every read is checked against it.
class Reader {
 public:
  Reader(const Buf_T& buf, std::size_t pos) : buf_(buf), pos_(pos) {}
  std::size_t Pos() const { return pos_; }
  bool Get32(std::uint32_t* v);
  bool GetBytes(void* p, std::size_t n);
  bool GetText(std::string* text);
  bool Skip(std::size_t n);

 private:
  const Buf_T& buf_;
  std::size_t pos_;
};

// ---- attribute values in a read reply ---------------------------------------

// What one value unpacks to in the caller's area. Texts are the value's own;
// names are typed canonical names, formatted for the caller's context when
// they are handed out.
struct WireValue {
  enum Kind : std::uint8_t { kText = 1, kName, kInteger, kBoolean, kPath, kTypedName, kEmail, kOctets };
  Kind kind = kText;
  std::string text;   // text, name, address, volume (path), object (typed name)
  std::string text2;  // path of a path value
  std::uint32_t a = 0;  // integer, name space, level, e-mail type
  std::uint32_t b = 0;  // interval
  bool boolean = false;
  Bytes octets;
};

WireValue ToWire(const Value& value, std::uint32_t syntax);
// Encoded size (length word, kind byte, payload).
std::size_t EncodedSize(const WireValue& v);
bool Encode(Writer& w, const WireValue& v);
bool Decode(Reader& r, WireValue* v);
// Bytes the caller's area needs for the value under `context`, and the
// writing of it. 0 or ERR_DN_TOO_LONG for a name that no area can take.
int OutputSize(const ContextState& context, const WireValue& v, std::size_t* size);
int WriteOutput(const ContextState& context, const WireValue& v, void* area);

// ---- iterations ---------------------------------------------------------------

struct ListIteration {
  std::uint32_t container = 0;
  std::size_t position = 0;
};

struct ReadIteration {
  std::uint32_t object = 0;
  std::uint32_t infoType = 0;
  std::vector<AttributeValues> attributes;
  std::size_t attribute = 0;
  std::size_t value = 0;
};

using Iteration = std::variant<ListIteration, ReadIteration>;

// Keeps a state and returns its handle (never NO_MORE_ITERATIONS).
nint32 SaveIteration(Iteration state);
// Takes a state out of the table; false when the handle names none.
bool TakeIteration(nint32 handle, Iteration* out);
// Puts a taken state back under its handle.
void ReturnIteration(nint32 handle, Iteration state);

// ---- input and output ----------------------------------------------------------

// A zero-terminated text of at most `area` - 1 characters, read no further
// than `area` bytes. ERR_NULL_POINTER, or `tooLong` when no terminator
// comes within the area.
int InputText(const char* text, std::size_t area, int tooLong, std::string_view* out);

// The context behind a handle (ERR_BAD_CONTEXT) and a name given under it,
// made absolute.
int ContextAndName(NWDSContextHandle handle, const char* name, ContextState* context, DName* out);

// Looks the named entry up, following an alias when the context says so.
// Callers hold NetworkLock().
int ResolveEntry(const ContextState& context, const DName& name, EntryInfo* out);

// Copies a name into a caller's area of `area` bytes; ERR_DN_TOO_LONG, and
// nothing written, when it does not fit whole.
int PutName(const std::string& text, char* out, std::size_t area);

// The workstation connection behind a handle; nullptr when none.
Connection* FindConnection(Network& net, NWCONN_HANDLE handle);
// Whether the connection's server holds the store's tree.
bool HoldsTree(const Connection& conn, const DirectoryStore& store);
// The workstation's connection to the server holding an entry: the server
// the entry lives on (a volume's or queue's host server, an NCP server
// itself) when it holds the tree, else any server holding the tree, the one
// already connected first. A connection is opened when there is none.
// ERR_NO_SERVER_FOUND / ERR_NO_CONNECTION when none can be had.
int ReplicaConnection(Network& net, const DirectoryStore& store, const EntryInfo& entry, Connection** out);

}  // namespace nwc::ds
