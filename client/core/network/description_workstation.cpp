// The network description's print jobs, the servers' connections and the
// workstation: its drives, identity and preferences.
#include <algorithm>
#include <climits>
#include <cstring>

#include "common/nwtext.h"
#include "description_loader.h"
#include "directory.h"
#include "locale_info.h"
#include "schema.h"

namespace nwc::desc {

std::uint32_t Loader::ObjectIdOn(Server& s, const std::string& name, const std::string& where) {
  if (name.find('=') != std::string::npos) return ResolveDn(name, where)->id;
  return FindBinderyOrEmulated(s, name, where)->id;
}

void Loader::LoadJobs() {
  // Every directory queue exists on its host server, jobs or none.
  for (const PendingEntry& p : entries_) {
    if (p.entry->baseClass != "Queue") continue;
    const Attribute* host = p.entry->FindAttribute("Host Server");
    if (Server* s = host ? ServerOfEntry(*host->values[0].Text()) : nullptr) s->queueJobs[p.entry->id];
  }
  for (PendingJobs& pj : pendingJobs_) {
    if (pj.queueEntry != nullptr) {
      const Attribute* host = pj.queueEntry->FindAttribute("Host Server");
      Server* s = host ? ServerOfEntry(*host->values[0].Text()) : nullptr;
      if (s == nullptr) Fail(pj.where, "a Queue with jobs needs a 'Host Server' that is a described server");
      pj.server = s;
      pj.queueId = pj.queueEntry->id;
      s->queueJobs[pj.queueId];
    }
    AsArray(*pj.jobs, pj.where);
    for (std::size_t i = 0; i < pj.jobs->size(); ++i) {
      const Json& item = (*pj.jobs)[i];
      const std::string w = Index(pj.where, i);
      if (item.is_object() && item.contains("generate")) {
        CheckKeys(item, w, {"generate"});
        const Json& gen = item["generate"];
        const std::string gw = Member(w, "generate");
        CheckKeys(gen, gw, {"count", "start", "owner", "station", "flags", "servicedBy", "description", "fileName", "type"});
        const auto count = AsInt(Req(gen, "count", gw), Member(gw, "count"), 0, 10000);
        const auto start = Opt(gen, "start") ? AsInt(gen["start"], Member(gw, "start"), 0, 1000000000) : 1;
        for (std::int64_t k = 0; k < count; ++k) AddJob(pj, gen, gw, static_cast<long>(start + k));
      } else {
        CheckKeys(item, w, {"number", "owner", "station", "flags", "servicedBy", "description", "fileName", "type"});
        AddJob(pj, item, w, -1);
      }
    }
    auto& jobs = pj.server->queueJobs[pj.queueId];
    const std::size_t n = jobs.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (jobs[i].entryTime == 0) jobs[i].entryTime = now_ - static_cast<std::time_t>((n - i) * 60);
    }
  }
}

void Loader::AddJob(PendingJobs& pj, const Json& desc, const std::string& w, long index) {
  Server& s = *pj.server;
  auto& jobs = s.queueJobs[pj.queueId];
  QueueJob job;
  if (const Json* n = Opt(desc, "number")) {
    job.number = static_cast<std::uint32_t>(AsInt(*n, Member(w, "number"), 1, 0xFFFFFFFE));
  } else {
    std::uint32_t highest = 0;
    for (const QueueJob& j : jobs) highest = std::max(highest, j.number);
    job.number = highest + 1;
  }
  for (const QueueJob& j : jobs) {
    if (j.number == job.number) Fail(w, "duplicate job number " + std::to_string(job.number));
  }
  const std::string owner = Expand(AsString(Req(desc, "owner", w), Member(w, "owner")), index, w);
  job.clientId = ObjectIdOn(s, owner, Member(w, "owner"));
  if (const Json* st = Opt(desc, "station")) {
    job.clientStation = static_cast<std::uint32_t>(AsInt(*st, Member(w, "station"), 1, s.maxConnections));
  } else {
    auto held = s.ConnectionsOf(job.clientId);
    job.clientStation = held.empty() ? 1 : held.front();
  }
  if (const Json* f = Opt(desc, "flags")) {
    if (f->is_array()) {
      static const std::pair<std::string_view, std::uint16_t> words[] = {
          {"auto start", QF_AUTO_START}, {"entry restart", QF_ENTRY_RESTART}, {"entry open", QF_ENTRY_OPEN},
          {"user hold", QF_USER_HOLD},   {"operator hold", QF_OPERATOR_HOLD}};
      for (std::size_t k = 0; k < f->size(); ++k) {
        const std::string& word = AsString((*f)[k], Index(Member(w, "flags"), k));
        auto it = std::find_if(std::begin(words), std::end(words), [&](auto& p) { return EqualNoCase(p.first, word); });
        if (it == std::end(words)) Fail(Member(w, "flags"), "unknown job flag " + Quote(word));
        job.controlFlags |= it->second;
      }
    } else {
      job.controlFlags = static_cast<std::uint16_t>(AsInt(*f, Member(w, "flags"), 0, 255));
    }
  }
  if (const Json* by = Opt(desc, "servicedBy")) {
    job.servicingServerId = ObjectIdOn(s, AsString(*by, Member(w, "servicedBy")), Member(w, "servicedBy"));
    job.servicingStation = 1;
  }
  if (const Json* d = Opt(desc, "description")) {
    job.description = Expand(AsString(*d, Member(w, "description")), index, w);
    if (job.description.size() >= 50) Fail(Member(w, "description"), "a job description is at most 49 characters");
  }
  if (const Json* fnm = Opt(desc, "fileName")) {
    job.fileName = Expand(AsString(*fnm, Member(w, "fileName")), index, w);
    if (job.fileName.size() >= 14) Fail(Member(w, "fileName"), "a job file name is at most 13 characters");
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X.Q", static_cast<unsigned>(job.number & 0x0FFFFFFF));
    job.fileName = buf;
  }
  if (const Json* t = Opt(desc, "type")) job.jobType = static_cast<std::uint16_t>(AsInt(*t, Member(w, "type"), 0, 0xFFFF));
  jobs.push_back(std::move(job));
}

std::time_t Loader::ParseTime(const std::string& text, const std::string& where) {
  std::tm tm{};
  char extra = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &extra) != 6 ||
      tm.tm_year < 1980 || tm.tm_year > 2079 || tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 ||
      tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59 || tm.tm_hour < 0 ||
      tm.tm_min < 0 || tm.tm_sec < 0) {
    Fail(where, "a time reads like \"1998-09-15 08:30:00\", not " + Quote(text));
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

// Fills a slot with the object a description names: a directory name
// (with '=') or a bindery name on that server.
void Loader::FillSlot(Server& s, Slot& slot, const std::string& who, const std::string& where) {
  slot.inUse = true;
  if (who.find('=') != std::string::npos) {
    DirEntry* e = ResolveDn(who, where);
    if (e->baseClass != "User") Fail(where, e->Canonical() + " is not a User");
    slot.identity = e;
    if (BinderyObject* o = s.FindObject(e->id)) {
      slot.objectName = o->name;
    } else {
      slot.objectName = FormatName(e->Name(), true);
    }
    slot.objectType = OT_USER;
    slot.objectId = e->id;
  } else {
    BinderyObject* o = s.FindObject(who, OT_USER);
    if (o == nullptr) Fail(where, "no bindery user " + Quote(who) + " on " + s.name);
    slot.objectName = o->name;
    slot.objectType = o->type;
    slot.objectId = o->id;
    slot.identity = o->entry;
  }
}

void Loader::LoadServerConnections(PendingServer& ps) {
  const Json* list = Opt(*ps.desc, "connections");
  if (list == nullptr) return;
  Server& s = *ps.server;
  const std::string w = Member(ps.where, "connections");
  AsArray(*list, w);
  for (std::size_t i = 0; i < list->size(); ++i) {
    const std::string cw = Index(w, i);
    const Json& desc = (*list)[i];
    CheckKeys(desc, cw, {"slot", "user", "loginTime", "broadcast"});
    auto number = static_cast<std::uint16_t>(AsInt(Req(desc, "slot", cw), Member(cw, "slot"), 1, s.maxConnections));
    Slot& slot = s.slots[number - 1];
    if (slot.inUse) Fail(cw, "slot " + std::to_string(number) + " is taken twice");
    slot.inUse = true;
    if (const Json* who = Opt(desc, "user")) FillSlot(s, slot, AsString(*who, Member(cw, "user")), Member(cw, "user"));
    if (const Json* b = Opt(desc, "broadcast")) slot.broadcastMode = static_cast<std::uint16_t>(AsInt(*b, Member(cw, "broadcast"), 0, 3));
    slot.loginTime = Opt(desc, "loginTime") ? ParseTime(AsString(desc["loginTime"], Member(cw, "loginTime")), Member(cw, "loginTime"))
                                            : now_ - static_cast<std::time_t>(number) * 300;
  }
}

void Loader::LoadWorkstation(const Json& desc) {
  const std::string w = "workstation";
  CheckKeys(desc, w, {"country", "codePage", "nameContext", "identity", "firstDrive", "preferredServer", "preferredTree", "connections"});
  Workstation& ws = net_.workstation;
  if (const Json* c = Opt(desc, "country")) {
    ws.countryId = static_cast<std::int32_t>(AsInt(*c, Member(w, "country"), 1, 999));
    if (FindLocale(ws.countryId) == nullptr) Fail(Member(w, "country"), "the client has no conventions for country " + std::to_string(ws.countryId));
  }
  if (const Json* cp = Opt(desc, "codePage")) {
    ws.codePage = static_cast<std::int32_t>(AsInt(*cp, Member(w, "codePage"), 1, 65535));
    if (!IsKnownCodePage(ws.codePage)) Fail(Member(w, "codePage"), "the client has no tables for code page " + std::to_string(ws.codePage));
  }
  if (const Json* fd = Opt(desc, "firstDrive")) ws.firstDrive = static_cast<std::uint16_t>(AsInt(*fd, Member(w, "firstDrive"), 1, 26));
  if (const Json* nc = Opt(desc, "nameContext")) {
    const std::string& text = AsString(*nc, Member(w, "nameContext"));
    if (text.size() >= NW_MAX_CONTEXT_NAME) Fail(Member(w, "nameContext"), "a name context is at most 127 characters");
    if (!EqualNoCase(text, kRootName)) ws.nameContext = Container(text, Member(w, "nameContext"))->Name();
  }
  if (const Json* id = Opt(desc, "identity")) {
    DirEntry* e = ResolveDn(AsString(*id, Member(w, "identity")), Member(w, "identity"));
    if (e->IsContainer() || e->IsAlias()) Fail(Member(w, "identity"), e->Canonical() + " cannot log in");
    ws.identity = e->Name();
  }
  if (const Json* list = Opt(desc, "connections")) {
    const std::string lw = Member(w, "connections");
    AsArray(*list, lw);
    bool primarySet = false;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const std::string cw = Index(lw, i);
      const Json& c = (*list)[i];
      CheckKeys(c, cw, {"server", "slot", "user", "authenticated", "primary", "broadcast"});
      const std::string& sname = AsString(Req(c, "server", cw), Member(cw, "server"));
      Server* s = net_.FindServer(sname);
      if (s == nullptr) Fail(Member(cw, "server"), "no server " + Quote(sname));
      if (ws.FindConnectionTo(*s)) Fail(cw, "a second connection to " + s->name);
      std::uint16_t number = 0;
      if (const Json* sl = Opt(c, "slot")) {
        number = static_cast<std::uint16_t>(AsInt(*sl, Member(cw, "slot"), 1, s->maxConnections));
        if (s->slots[number - 1].inUse) Fail(cw, "slot " + std::to_string(number) + " of " + s->name + " is taken");
      } else {
        auto it = std::find_if(s->slots.begin(), s->slots.end(), [](const Slot& x) { return !x.inUse; });
        if (it == s->slots.end()) Fail(cw, s->name + " has no free slot");
        number = static_cast<std::uint16_t>(it - s->slots.begin() + 1);
      }
      auto conn = std::make_unique<Connection>();
      conn->server = s;
      conn->number = number;
      conn->handle = net_.NewHandle();
      conn->ref = net_.NewHandle();
      Slot& slot = s->slots[number - 1];
      slot.inUse = true;
      slot.loginTime = now_ - 3600;
      bool loggedIn = false;
      if (const Json* who = Opt(c, "user")) {
        FillSlot(*s, slot, AsString(*who, Member(cw, "user")), Member(cw, "user"));
        loggedIn = true;
      }
      conn->authenticated = Opt(c, "authenticated") ? AsBool(c["authenticated"], Member(cw, "authenticated")) : loggedIn;
      if (const Json* b = Opt(c, "broadcast")) slot.broadcastMode = static_cast<std::uint16_t>(AsInt(*b, Member(cw, "broadcast"), 0, 3));
      if (Opt(c, "primary") && AsBool(c["primary"], Member(cw, "primary"))) {
        if (primarySet) Fail(cw, "only one connection is primary");
        primarySet = true;
        ws.primary = conn->handle;
      }
      ws.connections.push_back(std::move(conn));
    }
    if (!primarySet && !ws.connections.empty()) ws.primary = ws.connections.front()->handle;
  }
  if (const Json* ps = Opt(desc, "preferredServer")) {
    const std::string& name = AsString(*ps, Member(w, "preferredServer"));
    if (net_.FindServer(name) == nullptr) Fail(Member(w, "preferredServer"), "no server " + Quote(name));
    ws.preferredServer = UpperAscii(name);
  } else if (Connection* p = ws.Primary()) {
    ws.preferredServer = p->server->name;
  }
  if (const Json* pt = Opt(desc, "preferredTree")) {
    const std::string& name = AsString(*pt, Member(w, "preferredTree"));
    if (name.size() > 32) Fail(Member(w, "preferredTree"), "a tree name is at most 32 characters");
    ws.preferredTree = UpperAscii(name);
  } else if (net_.tree) {
    ws.preferredTree = net_.tree->name;
  }
}

}  // namespace nwc::desc
