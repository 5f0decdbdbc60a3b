// Gzip decompression with zlib, in bounded chunks, with a cap on the output size.
#include "convert/gzip_input.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <new>

namespace cw {
namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

bool LooksGzipped(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
         static_cast<unsigned char>(bytes[1]) == 0x8B;
}

struct GunzipStream::State {
  z_stream stream{};
  bool ready = false;
};

GunzipStream::GunzipStream(size_t limit) : limit_(limit), state_(new State) {
  // 16 + MAX_WBITS: gzip wrapper only, with its CRC and length checked at each end.
  state_->ready = inflateInit2(&state_->stream, 16 + MAX_WBITS) == Z_OK;
  if (!state_->ready) Stop(GunzipStatus::Corrupt);
}

GunzipStream::~GunzipStream() {
  if (state_->ready) inflateEnd(&state_->stream);
}

void GunzipStream::Expect(size_t size) {
  if (stopped_) return;
  try {
    result_.bytes.reserve(std::min(size, limit_));
  } catch (const std::bad_alloc&) {
    // Only a hint: the bytes still grow as they come.
  }
}

void GunzipStream::Stop(GunzipStatus status) {
  stopped_ = true;
  result_.status = status;
  if (status == GunzipStatus::TooLarge) {
    result_.bytes.clear();
    result_.bytes.shrink_to_fit();
  }
}

bool GunzipStream::Feed(std::string_view piece) {
  try {
    while (!stopped_ && !piece.empty()) {
      if (!inMember_) {
        // Between members (or before the first): the next two bytes tell whether
        // another member starts; they may come in two pieces.
        if (boundary_.size() + piece.size() < 2) {
          boundary_.append(piece.data(), piece.size());
          return true;
        }
        const std::string start = boundary_ + std::string(piece.substr(0, 2 - boundary_.size()));
        if (!LooksGzipped(start)) {
          Stop(started_ ? GunzipStatus::TrailingData : GunzipStatus::NotGzip);
          break;
        }
        if (started_ && inflateReset(&state_->stream) != Z_OK) {
          Stop(GunzipStatus::Corrupt);
          break;
        }
        started_ = true;
        inMember_ = true;
        if (!boundary_.empty()) {
          const std::string carried = std::move(boundary_);
          boundary_.clear();
          Inflate(carried);
          continue;
        }
      }
      piece = piece.substr(Inflate(piece));
    }
  } catch (const std::bad_alloc&) {
    Stop(GunzipStatus::TooLarge);
  }
  return !stopped_;
}

size_t GunzipStream::Inflate(std::string_view data) {
  z_stream& stream = state_->stream;
  char buffer[kChunk];
  size_t offset = 0;
  for (;;) {
    // zlib counts in uInt; feed at most 1 GiB at a time.
    const size_t available = std::min<size_t>(data.size() - offset, 1u << 30);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + offset));
    stream.avail_in = static_cast<uInt>(available);
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    const int rc = inflate(&stream, Z_NO_FLUSH);
    const size_t consumed = available - stream.avail_in;
    const size_t produced = sizeof(buffer) - stream.avail_out;
    offset += consumed;
    if (produced > 0) {
      if (result_.bytes.size() + produced > limit_) {
        Stop(GunzipStatus::TooLarge);
        return data.size();
      }
      result_.bytes.append(buffer, produced);
    }
    if (rc == Z_STREAM_END) {
      inMember_ = false;
      return offset;
    }
    // No progress: the member goes on in the next piece, if there is one.
    if (rc == Z_BUF_ERROR || (rc == Z_OK && consumed == 0 && produced == 0)) return data.size();
    if (rc != Z_OK) {
      Stop(GunzipStatus::Corrupt);
      return data.size();
    }
  }
}

GunzipResult GunzipStream::Finish() {
  if (!stopped_) {
    // The data ended inside a member, or after a member with a byte that starts none.
    if (inMember_ || !started_) {
      result_.status = started_ ? GunzipStatus::Truncated : GunzipStatus::NotGzip;
    } else {
      result_.status = boundary_.empty() ? GunzipStatus::Complete : GunzipStatus::TrailingData;
    }
    stopped_ = true;
  }
  return std::move(result_);
}

size_t GzipTrailerSize(std::string_view lastFour) {
  if (lastFour.size() != 4) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(lastFour.data());
  return static_cast<size_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
}

GunzipResult Gunzip(std::string_view data, size_t limit) {
  if (!LooksGzipped(data)) return GunzipResult();
  GunzipStream stream(limit);
  if (data.size() >= 4) stream.Expect(GzipTrailerSize(data.substr(data.size() - 4)));
  stream.Feed(data);
  return stream.Finish();
}

std::string GunzipBytes(std::string_view data) {
  GunzipResult result = Gunzip(data);
  if (result.status == GunzipStatus::TooLarge) return {};
  return std::move(result.bytes);
}

}  // namespace cw
