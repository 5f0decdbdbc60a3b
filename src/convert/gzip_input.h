// Gzip-compressed input: a source whose first two bytes are 1F 8B is decompressed in
// memory before it is read; the source file itself is never changed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cw {

// Output above this many bytes is not produced: a decompression bomb, or more than a
// 32-bit process could hold together with its decoded copies.
inline constexpr size_t kGunzipLimit = 256u * 1024u * 1024u;

bool LooksGzipped(std::string_view bytes);

enum class GunzipStatus {
  Complete,   // every member decompressed to its end
  Truncated,  // the data ended inside a member; the result holds what came before
  Corrupt,    // invalid compressed data; the result holds what came before it
  TooLarge,   // the output would pass the limit; the result is empty
  NotGzip,    // no gzip header; the result is empty
  TrailingData,  // bytes after the last member that start no other member; the result
                 // holds the members before them
};

struct GunzipResult {
  std::string bytes;
  GunzipStatus status = GunzipStatus::NotGzip;
};

// Decompresses every gzip member in turn (concatenated members are joined); bytes after
// the last member that do not start another member give TrailingData. Always ends,
// whatever the input.
GunzipResult Gunzip(std::string_view data, size_t limit = kGunzipLimit);

// The decompressed bytes, empty when nothing could be decompressed or the limit was hit.
std::string GunzipBytes(std::string_view data);

}  // namespace cw
