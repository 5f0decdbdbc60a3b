// Weighing a folder's files for the encoding they share.
#include "convert/folder_evidence.h"

#include <map>

#include "convert/reading.h"

namespace cw {
namespace {

// Enough bytes of the unsure files together to decide what one alone cannot.
constexpr size_t kPooledBytes = 1u << 20;

bool IsLegacy(EncodingChoice encoding) {
  return encoding == EncodingChoice::Auto || encoding == EncodingChoice::Ansi || encoding == EncodingChoice::Big5 ||
         encoding == EncodingChoice::Big5Hkscs;
}

}  // namespace

FolderEvidence::FolderEvidence(const std::vector<std::string>& files, EncodingChoice input)
    : files_(files), input_(input), readings_(files.size()) {}

void FolderEvidence::Note(size_t index, EncodingChoice encoding, bool sure, std::string_view bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (index >= readings_.size() || decided_) return;
  Reading& reading = readings_[index];
  reading.noted = true;
  reading.sure = sure;
  reading.encoding = encoding == EncodingChoice::Auto ? EncodingChoice::Ansi : encoding;
  if (!sure && IsLegacy(encoding) && pooled_ < kPooledBytes) {
    reading.bytes = std::string(bytes.substr(0, kPooledBytes - pooled_));
    pooled_ += reading.bytes.size();
  }
}

EncodingChoice FolderEvidence::Hint() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (decided_) return hint_;
  decided_ = true;
  std::map<EncodingChoice, size_t> sure;
  std::string pool;
  for (size_t i = 0; i < readings_.size(); ++i) {
    Reading& reading = readings_[i];
    if (!reading.noted) {
      const SourceRead source = ReadSource(files_[i], input_);
      if (source.status != ReadStatus::Ok) continue;
      reading.sure = source.detection.confidence == Confidence::High;
      reading.encoding = source.encoding == EncodingChoice::Auto ? EncodingChoice::Ansi : source.encoding;
      if (!reading.sure && IsLegacy(source.encoding) && pool.size() < kPooledBytes) {
        reading.bytes = std::string(source.Rest().substr(0, kPooledBytes - pool.size()));
      }
    }
    if (!IsLegacy(reading.encoding)) continue;
    if (reading.sure) {
      ++sure[reading.encoding];
    } else if (!reading.bytes.empty() && pool.size() < kPooledBytes) {
      // A line break between two files, so that no character spans them.
      pool.append(reading.bytes).push_back('\n');
    }
  }
  size_t most = 0;
  for (const auto& [encoding, count] : sure) {
    if (count > most) {
      most = count;
      hint_ = encoding;
    }
  }
  if (most == 0 && !pool.empty()) {
    const StatisticsVerdict verdict = WeighReadings(pool);
    if (verdict.detection.confidence == Confidence::High) {
      hint_ = verdict.encoding == EncodingChoice::Auto ? EncodingChoice::Ansi : verdict.encoding;
    }
  }
  return hint_;
}

}  // namespace cw
