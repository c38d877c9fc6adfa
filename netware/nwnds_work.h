// Small guards of the directory unit's operations: the working context of one
// operation and the client buffers it borrows, each given back on every path.
#pragma once

#include <string>

#include "netware/nwnds_entries.h"

namespace nwds {

// True when every one of the given slots holds its entry point.
template <typename... Entries>
bool AllBound(const Entries &...entries) {
  return (entries.Bound() && ...);
}

// The context one operation works on. An empty context name duplicates the
// current context; any other name is selected on a copy of it, which also
// makes the current context a duplicate of the working one. Released when the
// guard goes out of scope; false when it could not be made.
class WorkingContext {
 public:
  explicit WorkingContext(const std::string &contextName);
  ~WorkingContext();
  WorkingContext(const WorkingContext &) = delete;
  WorkingContext &operator=(const WorkingContext &) = delete;

  explicit operator bool() const { return handle_ > 0; }
  operator NWDSContextHandle() const { return handle_; }

 private:
  NWDSContextHandle handle_ = 0;
};

// A request or reply buffer of the client's default size. False when the
// client refused it; freed when the guard goes out of scope.
class ClientBuffer {
 public:
  ClientBuffer();
  ~ClientBuffer();
  ClientBuffer(const ClientBuffer &) = delete;
  ClientBuffer &operator=(const ClientBuffer &) = delete;

  explicit operator bool() const { return buffer_ != nullptr; }
  operator pBuf_T() const { return buffer_; }

 private:
  pBuf_T buffer_ = nullptr;
};

}  // namespace nwds
