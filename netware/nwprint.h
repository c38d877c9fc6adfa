// Print services: the jobs of a print queue as display lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "netware/nwtypes.h"
#include "nwclient.h"

extern int32_t PrintLastResult;
extern int32_t PrintLastError;

class TNWPrint {
 public:
  TNWPrint() = default;
  TNWPrint(const TNWPrint &) = delete;
  TNWPrint &operator=(const TNWPrint &) = delete;
  std::string LastErrorText() const;
};

// Job numbers by queue position; a slot without a job holds 0xFFFFFFFF.
using TNWJobNumbers = std::array<uint32_t, NW_MAX_QUEUE_JOBS>;

bool ReadQueueJobNumbers(NWCONN_HANDLE conn, const std::string &queueName, TNWJobNumbers &numbers);
bool ListQueueJobs(NWCONN_HANDLE conn, const std::string &queueName, TNWObjList &lines);
