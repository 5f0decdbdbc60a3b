// The run record's folder preparation.
#include "convert/run_record.h"

#include "convert/safe_write.h"

namespace cw {

void RunRecord::PrepareFolder(const std::string& folder) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (folders_.insert(folder).second) RemoveStaleTemporaries(folder);
}

}  // namespace cw
