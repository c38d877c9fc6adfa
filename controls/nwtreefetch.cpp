// The kind-by-kind table of what a click on a tree node fetches.
#include "controls/nwtreefetch.h"

#include <cstring>
#include <utility>

#include "netware/nwnds.h"
#include "netware/nwprint.h"
#include "netware/nwserver.h"
#include "netware/tessel.h"
#include "util/nwtools.h"

namespace {

// The zero-terminated text that a value record points at. The pointer must
// lie inside the record's own block; the text ends at its terminator or at
// the block's end (every block carries one spare zero byte after its size).
std::string TextInBlock(const TNWValueBlock &block, const char *text) {
  const char *begin = block.Text();
  if (begin == nullptr || text == nullptr || text < begin || text >= begin + block.size) return {};
  const std::size_t room = static_cast<std::size_t>(begin + block.size - text);
  return std::string(text, strnlen(text, room));
}

// A text-syntax value (telephone number, distinguished name).
std::string BlockText(const TNWValueBlock &block) {
  if (block.Text() == nullptr) return {};
  return std::string(block.Text(), strnlen(block.Text(), block.size));
}

// The object name of a typed-name value.
std::string TypedNameText(const TNWValueBlock &block) {
  Typed_Name_T record{};
  if (block.size < sizeof record) return {};
  std::memcpy(&record, block.data.get(), sizeof record);
  return TextInBlock(block, record.objectName);
}

// The address text of an e-mail address value (after its type and pointer).
std::string EmailText(const TNWValueBlock &block) {
  EMail_Address_T record{};
  if (block.size < sizeof record) return {};
  std::memcpy(&record, block.data.get(), sizeof record);
  return TextInBlock(block, record.address);
}

TNWExpandEvent Fetch(uint32_t value, const std::string &path, const std::string &text,
                     const TNWExpandTexts &texts, TNWObjList &children) {
  // Every directory read works on a copy of the current context.
  const std::string context;
  switch (value & 0xFF) {
    case dokBinderyQueue:
    case dokQueue:
      ListQueueJobs(0, path, children);
      for (TNWObjItem &entry : children) entry.value = dokQueueJob;
      return TNWExpandEvent::PrintQueue;

    case dokGroup:
      children = ListGroupMembers(context, path);
      return TNWExpandEvent::Group;

    case dokNCPServer:
    case dokServer: {
      std::string server;
      RemoveNameTypes(text, server);
      // Connection 0 would stand for the primary connection: a server that
      // cannot be reached must not show the primary server's version.
      const NWCONN_HANDLE conn = server.empty() ? 0 : ConnectionByServerName(server);
      TNWServerInfo info;
      if (conn != 0 && GetServerInfo(conn, info)) children.push_back({texts.netwareVersion + info.Version, 0});
      return TNWExpandEvent::Server;
    }

    case dokOrganization:
      children = ListSubordinates(context, path);
      return TNWExpandEvent::Org;

    case dokOrganizationalUnit:
      children = ListSubordinates(context, path);
      return TNWExpandEvent::OrgUnit;

    case dokPrinter: {
      TNWValueList queues;
      ReadAttrValues(context, path, dsaQueue, queues);
      for (const TNWValueBlock &queue : queues) {
        std::string name = TypedNameText(queue);
        if (!name.empty()) children.push_back({std::move(name), dokQueue});
      }
      return TNWExpandEvent::Printer;
    }

    case dokPrintServer: {
      std::string host;
      if (ReadAttrString(context, path, dsaHostDevice, host)) {
        children.push_back({host, ReadObjectKind(context, host)});
      }
      return TNWExpandEvent::PrintServer;
    }

    case dokUser: {
      std::string fullName;
      if (ReadAttrString(context, path, dsaFullName, fullName)) children.push_back({texts.fullName + fullName, 0});
      TNWValueList mails;
      ReadAttrValues(context, path, dsaEmailAddress, mails);
      for (const TNWValueBlock &mail : mails) children.push_back({texts.email + EmailText(mail), 0});
      TNWValueList phones;
      ReadAttrValues(context, path, dsaTelephoneNumber, phones);
      for (const TNWValueBlock &phone : phones) children.push_back({texts.telephone + BlockText(phone), 0});
      return TNWExpandEvent::User;
    }

    case dokVolume: {
      std::string volume;
      if (ReadAttrString(context, path, dsaHostResourceName, volume)) {
        // Connection 0 (none resolved) names the primary connection's server.
        const std::string server = ConnectionServerName(ResolveAndAuthenticate(context, path));
        if (!server.empty()) {
          const std::string root = server + "/" + volume + ":\\";
          for (std::string &name : ListSubdirectories(root + "*")) children.push_back({std::move(name), dokDirectory});
          for (std::string &name : ListDirectoryFiles(root + "*.*")) children.push_back({std::move(name), dokFile});
        }
      }
      return TNWExpandEvent::Volume;
    }

    case dokTree:
      children = ListSubordinates(text, std::string());
      return TNWExpandEvent::Tree;

    case dokFile:
      return TNWExpandEvent::File;

    case dokDirectory:
      return TNWExpandEvent::Directory;

    case dokQueueJob:
      return TNWExpandEvent::PrintQueueJob;

    default:
      return TNWExpandEvent::None;
  }
}

}  // namespace

TNWExpansion ExpandNodeChildren(uint32_t value, const std::string &path, const std::string &text,
                                const TNWExpandTexts &texts) {
  TNWExpansion result;
  result.event = Fetch(value, path, text, texts, result.children);
  // Tabs (queue job lines) show as three spaces.
  const std::string tab(1, '\t');
  const std::string threeSpaces = Spaces(3);
  for (TNWObjItem &entry : result.children) {
    if (entry.text.find('\t') != std::string::npos) entry.text = ReplaceText(entry.text, tab, threeSpaces);
  }
  return result;
}
