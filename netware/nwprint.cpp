// Print services: the jobs of a print queue, one display line each. The entry
// points are looked up in the calls library, in slots of this unit's own.
#include "netware/nwprint.h"

#include <algorithm>

#include "netware/tessel.h"
#include "netware/tessel_entries.h"
#include "util/nwtools.h"

int32_t PrintLastResult = 0;
int32_t PrintLastError = 0;

namespace nwprint {
#define NWPRINT_DEFINE(name, lib) nwlib::Entry<PFN_##name> name{#name, lib};
NWPRINT_DEFINE(NWGetQueueJobList2, CallsLibrary)
NWPRINT_DEFINE(NWReadQueueJobEntry2, CallsLibrary)
#undef NWPRINT_DEFINE
}  // namespace nwprint

using namespace nwprint;
using tessel::OrPrimary;

namespace {
constexpr uint32_t kNoJob = 0xFFFFFFFF;
constexpr std::size_t kBatch = 125;  // the second job-list call starts at position 126

bool PrintRecord(int32_t code) { return nwlib::Status{PrintLastResult, PrintLastError}.Record(code); }

// Copies a reply's job numbers into the slots from the first one on, never
// past the reply's own list nor past the last slot.
void CopyJobNumbers(const QueueJobListReply &reply, TNWJobNumbers &numbers, std::size_t first) {
  const std::size_t count = std::min<std::size_t>(
      {reply.replyQueueJobNumbers, std::size(reply.jobNumberList), numbers.size() - first});
  std::copy_n(reply.jobNumberList, count, numbers.begin() + static_cast<std::ptrdiff_t>(first));
}

const char *JobStatus(const NWQueueJobStruct &job) {
  const nuint8 flags = static_cast<nuint8>(job.jobControlFlags & 0xFF);
  if (flags & QF_USER_HOLD) return "Paused";
  if (flags & QF_OPERATOR_HOLD) return "Operator";
  if (flags & (QF_ENTRY_RESTART | QF_ENTRY_OPEN)) return "Adding";
  if (job.servicingServerID != 0) return "Active";
  return "Waiting";
}

// owner[station] <tab> status <tab> description
std::string JobLine(NWCONN_HANDLE conn, const NWQueueJobStruct &job) {
  return ObjectNameByID(conn, job.clientID) + "[" + std::to_string(job.clientStation) + "]\t" +
         JobStatus(job) + "\t" + nwlib::TextOfArea(job.jobDescription);
}
}  // namespace

std::string TNWPrint::LastErrorText() const { return HexCode(PrintLastError); }

bool ReadQueueJobNumbers(NWCONN_HANDLE conn, const std::string &queueName, TNWJobNumbers &numbers) {
  if (!NWGetQueueJobList2.Bind()) return false;
  conn = OrPrimary(conn);
  const uint32_t queueID = ObjectIDByName(conn, queueName, OT_PRINT_QUEUE);
  if (queueID == 0) return false;
  numbers.fill(kNoJob);
  QueueJobListReply reply{};
  if (!PrintRecord(NWGetQueueJobList2(conn, queueID, 1, &reply))) return false;
  CopyJobNumbers(reply, numbers, 0);
  if (reply.totalQueueJobs > kBatch) {
    QueueJobListReply rest{};
    if (NWGetQueueJobList2(conn, queueID, kBatch + 1, &rest) == 0) CopyJobNumbers(rest, numbers, kBatch);
  }
  return true;
}

bool ListQueueJobs(NWCONN_HANDLE conn, const std::string &queueName, TNWObjList &lines) {
  if (!NWReadQueueJobEntry2.Bind()) return false;
  conn = OrPrimary(conn);
  lines.clear();
  TNWJobNumbers numbers;
  if (!ReadQueueJobNumbers(conn, queueName, numbers)) return false;
  const uint32_t queueID = ObjectIDByName(conn, queueName, OT_PRINT_QUEUE);
  for (uint32_t number : numbers) {
    NWQueueJobStruct job{};
    if (NWReadQueueJobEntry2(conn, queueID, number, &job) != 0) continue;  // gone, or no job in the slot
    lines.push_back({JobLine(conn, job), job.jobNumber});
  }
  return true;
}
