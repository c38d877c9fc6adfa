// What a click on a node of the directory tree adds below it: by the node's
// kind, which service call runs, which entries it gives (texts and values)
// and which event the tree then raises. Plain C++ without Qt, so that it can
// be tried and measured without a window; the tree control only turns the
// entries into nodes and the event into its handler.
#pragma once

#include <cstdint>
#include <string>

#include "netware/nwtypes.h"

// The tree's OnExpand... events, by the kind of the node clicked.
enum class TNWExpandEvent : uint8_t {
  None,
  Tree,
  Directory,
  File,
  User,
  Group,
  PrintServer,
  Printer,
  PrintQueue,
  PrintQueueJob,
  Server,
  Volume,
  Org,
  OrgUnit,
};

// The texts that lead the information lines of servers and users, in the
// workstation's code page (the tree hands in its translations).
struct TNWExpandTexts {
  std::string netwareVersion = "Netware Version: ";
  std::string fullName = "Full Name: ";
  std::string email = "E-Mail: ";
  std::string telephone = "Telephone: ";
};

struct TNWExpansion {
  TNWObjList children;  // in order; tabs already shown as three spaces
  TNWExpandEvent event = TNWExpandEvent::None;
};

// The children of a node and the event to raise. value: the node's 32-bit
// value (its low byte is the object kind); path: the node's path; text: the
// node's own text. Reads the network through the service units; a read that
// fails gives fewer or no children, never another event.
TNWExpansion ExpandNodeChildren(uint32_t value, const std::string &path, const std::string &text,
                                const TNWExpandTexts &texts = {});
