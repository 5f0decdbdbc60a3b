// Gzip-compressed output: a source that came compressed is written back compressed under
// its own name, so that the name and the content agree.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace cw {

// Compresses what is written to it into `file`, as one gzip member. Finish writes the
// member's end; a write or a compression that fails makes it and every later call fail.
class GzipWriter final : public platform::NewFile {
 public:
  explicit GzipWriter(platform::NewFile& file);
  ~GzipWriter() override;
  GzipWriter(const GzipWriter&) = delete;
  GzipWriter& operator=(const GzipWriter&) = delete;

  platform::Status Write(std::string_view bytes) override;
  // Ends the member; the file itself stays open for its owner to close.
  platform::Status Finish();
  platform::Status Close() override { return Finish(); }
  void Abandon() override { file_.Abandon(); }
  platform::Status Identify(platform::FileInfo* info) override { return file_.Identify(info); }
  platform::Status Flush() override { return file_.Flush(); }
  void StartFlush() override { file_.StartFlush(); }
  platform::Status ReplaceInto(const std::string& path) override { return file_.ReplaceInto(path); }
  platform::Status ReplaceKeeping(const std::string& path, const std::string& kept) override {
    return file_.ReplaceKeeping(path, kept);
  }
  platform::Status MoveInto(const std::string& path) override { return file_.MoveInto(path); }

 private:
  platform::Status Deflate(std::string_view bytes, int flush);

  struct Stream;
  platform::NewFile& file_;
  std::unique_ptr<Stream> stream_;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace cw
