// Gzip decompression with zlib, in bounded chunks, with a cap on the output size.
#include "convert/gzip_input.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace cw {
namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

bool LooksGzipped(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
         static_cast<unsigned char>(bytes[1]) == 0x8B;
}

GunzipResult Gunzip(std::string_view data, size_t limit) {
  GunzipResult result;
  if (!LooksGzipped(data)) return result;

  z_stream stream{};
  // 16 + MAX_WBITS: gzip wrapper only, with its CRC and length checked at each end.
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    result.status = GunzipStatus::Corrupt;
    return result;
  }
  size_t offset = 0;
  char buffer[kChunk];
  result.status = GunzipStatus::Truncated;
  try {
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
        if (result.bytes.size() + produced > limit) {
          result.bytes.clear();
          result.bytes.shrink_to_fit();
          result.status = GunzipStatus::TooLarge;
          break;
        }
        result.bytes.append(buffer, produced);
      }
      if (rc == Z_STREAM_END) {
        // Another member may follow; anything else after the member is not gzip data.
        if (LooksGzipped(data.substr(offset)) && inflateReset(&stream) == Z_OK) continue;
        result.status = offset == data.size() ? GunzipStatus::Complete : GunzipStatus::TrailingData;
        break;
      }
      if (rc == Z_BUF_ERROR || (rc == Z_OK && consumed == 0 && produced == 0)) {
        // No progress possible: the input ended inside a member.
        result.status = GunzipStatus::Truncated;
        break;
      }
      if (rc != Z_OK) {
        result.status = GunzipStatus::Corrupt;
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    result.bytes.clear();
    result.bytes.shrink_to_fit();
    result.status = GunzipStatus::TooLarge;
  }
  inflateEnd(&stream);
  return result;
}

std::string GunzipBytes(std::string_view data) {
  GunzipResult result = Gunzip(data);
  if (result.status == GunzipStatus::TooLarge) return {};
  return std::move(result.bytes);
}

}  // namespace cw
