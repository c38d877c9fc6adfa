// Print queues: the job numbers of a queue in queue order, and one job's
// record.
#include <algorithm>
#include <cstring>

#include "calls_common.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::calls;

namespace {

// Job numbers one reply carries: what fits a request packet.
constexpr std::size_t kJobsPerReply = 125;

// The jobs of a queue the connection may read, or the code why not.
NWCCODE QueueOf(const Call& call, NWCONN_HANDLE conn, nuint32 queueID, Connection** c, std::vector<QueueJob>** jobs) {
  *c = call.Conn(conn);
  if (*c == nullptr) return INVALID_CONNECTION;
  *jobs = (*c)->server->Jobs(queueID);
  if (*jobs == nullptr) return NO_QUEUE;
  const Slot* slot = (*c)->ServerSlot();
  if (slot == nullptr || !slot->LoggedIn()) return NO_QUEUE_RIGHTS;
  return SUCCESSFUL;
}

// Six bytes of a moment: year - 1900, month, day, hour, minute, second.
void PutMoment(std::time_t when, nuint8 (&out)[6]) {
  nuint8 bytes[7];
  ClockBytes(when, bytes);
  std::memcpy(out, bytes, sizeof out);
}

}  // namespace

// The queue's job count, and up to 125 job numbers from position
// queueStartPos (1 is the first job) on.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetQueueJobList2(NWCONN_HANDLE conn, nuint32 queueID,
                                                             nuint32 queueStartPos, QueueJobListReply* job) {
  Call call;
  Connection* c = nullptr;
  std::vector<QueueJob>* jobs = nullptr;
  const NWCCODE rc = QueueOf(call, conn, queueID, &c, &jobs);
  if (rc != SUCCESSFUL) return rc;
  if (job == nullptr) return INVALID_PARAMETER;
  const std::size_t start = std::max<nuint32>(queueStartPos, 1) - 1u;
  const std::size_t count = start >= jobs->size() ? 0 : std::min(kJobsPerReply, jobs->size() - start);
  QueueJobListReply reply{};
  reply.totalQueueJobs = static_cast<nuint32>(jobs->size());
  reply.replyQueueJobNumbers = static_cast<nuint32>(count);
  for (std::size_t i = 0; i < count; ++i) reply.jobNumberList[i] = (*jobs)[start + i].number;
  *job = reply;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWReadQueueJobEntry2(NWCONN_HANDLE conn, nuint32 queueID, nuint32 jobNumber,
                                                               NWQueueJobStruct* job) {
  Call call;
  Connection* c = nullptr;
  std::vector<QueueJob>* jobs = nullptr;
  const NWCCODE rc = QueueOf(call, conn, queueID, &c, &jobs);
  if (rc != SUCCESSFUL) return rc;
  if (job == nullptr) return INVALID_PARAMETER;
  auto it = std::find_if(jobs->begin(), jobs->end(), [&](const QueueJob& j) { return j.number == jobNumber; });
  if (it == jobs->end()) return NO_QUEUE_JOB;
  const QueueJob& j = *it;
  NWQueueJobStruct record{};
  record.clientStation = j.clientStation;
  record.clientTask = j.clientTask;
  record.clientID = j.clientId;
  record.targetServerID = j.targetServerId;
  if (j.targetExecTime == 0) {
    std::memset(record.targetExecTime, 0xFF, sizeof record.targetExecTime);  // as soon as possible
  } else {
    PutMoment(j.targetExecTime, record.targetExecTime);
  }
  PutMoment(j.entryTime, record.jobEntryTime);
  record.jobNumber = j.number;
  record.jobType = j.jobType;
  record.jobPosition = static_cast<nuint16>(it - jobs->begin() + 1);
  record.jobControlFlags = j.controlFlags;
  PutText(record.jobFileName, sizeof record.jobFileName, j.fileName);
  record.servicingServerStation = j.servicingServerId != 0 ? j.servicingStation : 0;
  record.servicingServerTask = j.servicingServerId != 0 ? 1 : 0;
  record.servicingServerID = j.servicingServerId;
  PutText(record.jobDescription, sizeof record.jobDescription, j.description);
  *job = record;
  return SUCCESSFUL;
}
