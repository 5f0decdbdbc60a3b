// Gzip output through zlib's deflate, written to the file in pieces.
#include "convert/gzip_output.h"

#include <zlib.h>

#include <string>

namespace cw {

struct GzipWriter::Stream {
  z_stream z{};
  bool ready = false;
  std::string buffer = std::string(64 * 1024, '\0');
};

GzipWriter::GzipWriter(platform::NewFile& file) : file_(file), stream_(new Stream) {
  // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
  stream_->ready =
      deflateInit2(&stream_->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  failed_ = !stream_->ready;
}

GzipWriter::~GzipWriter() {
  if (stream_->ready) deflateEnd(&stream_->z);
}

platform::Status GzipWriter::Deflate(std::string_view bytes, int flush) {
  z_stream& z = stream_->z;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  do {
    z.next_out = reinterpret_cast<Bytef*>(&stream_->buffer[0]);
    z.avail_out = static_cast<uInt>(stream_->buffer.size());
    const int result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) return platform::Status::Other;
    const size_t made = stream_->buffer.size() - z.avail_out;
    if (made != 0) {
      const platform::Status written = file_.Write(std::string_view(stream_->buffer.data(), made));
      if (written != platform::Status::Ok) return written;
    }
    if (flush == Z_FINISH && result == Z_STREAM_END) return platform::Status::Ok;
  } while (z.avail_out == 0 || z.avail_in != 0 || flush == Z_FINISH);
  return platform::Status::Ok;
}

platform::Status GzipWriter::Write(std::string_view bytes) {
  if (failed_ || finished_) return platform::Status::Other;
  // zlib takes at most 4 GB at a time.
  constexpr size_t kStep = 1u << 30;
  for (size_t from = 0; from < bytes.size(); from += kStep) {
    const platform::Status status = Deflate(bytes.substr(from, kStep), Z_NO_FLUSH);
    if (status != platform::Status::Ok) {
      failed_ = true;
      return status;
    }
  }
  return platform::Status::Ok;
}

platform::Status GzipWriter::Finish() {
  if (failed_) return platform::Status::Other;
  if (finished_) return platform::Status::Ok;
  finished_ = true;
  const platform::Status status = Deflate({}, Z_FINISH);
  failed_ = status != platform::Status::Ok;
  return status;
}

}  // namespace cw
