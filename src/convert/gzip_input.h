// Gzip-compressed input: a source whose first two bytes are 1F 8B is decompressed in
// memory before it is read; the source file itself is never changed.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace cw {

// Output above this many bytes is not produced: a decompression bomb, or more than a
// 32-bit process could hold together with its decoded copies.
inline constexpr size_t kGunzipLimit = 256u * 1024u * 1024u;

bool LooksGzipped(std::string_view bytes);

enum class GunzipStatus {
  Complete,      // every member decompressed to its end
  Truncated,     // the data ended inside a member; the result holds what came before
  Corrupt,       // invalid compressed data; the result holds what came before it
  TooLarge,      // the output would pass the limit; the result is empty
  NotGzip,       // no gzip header; the result is empty
  TrailingData,  // bytes after the last member that start no other member; the result
                 // holds the members before them
};

struct GunzipResult {
  std::string bytes;
  GunzipStatus status = GunzipStatus::NotGzip;
};

// Decompresses gzip data that arrives in pieces, with the same result as Gunzip over
// all of it: Feed each piece in turn, then Finish once. Only what is decompressed is
// held, never the compressed data.
class GunzipStream {
 public:
  explicit GunzipStream(size_t limit = kGunzipLimit);
  ~GunzipStream();
  GunzipStream(const GunzipStream&) = delete;
  GunzipStream& operator=(const GunzipStream&) = delete;
  // Room for this many decompressed bytes (the size a member's trailer gives), so the
  // result need not grow by copying itself; up to the limit, and only a hint.
  void Expect(size_t size);
  // False once the outcome no longer depends on what follows (corrupt data, the limit,
  // bytes after a member that start no other): further pieces are ignored.
  bool Feed(std::string_view piece);
  GunzipResult Finish();

 private:
  struct State;
  size_t Inflate(std::string_view data);  // the bytes of `data` taken
  void Stop(GunzipStatus status);

  size_t limit_;
  std::unique_ptr<State> state_;
  GunzipResult result_;
  std::string boundary_;  // the first byte after a member, when its piece ended there
  bool started_ = false;
  bool inMember_ = false;
  bool stopped_ = false;
};

// The size a gzip member's trailer (its last four bytes) gives: the member's
// decompressed size modulo 2^32. 0 for anything but four bytes.
size_t GzipTrailerSize(std::string_view lastFour);

// Decompresses every gzip member in turn (concatenated members are joined); bytes after
// the last member that do not start another member give TrailingData. Always ends,
// whatever the input.
GunzipResult Gunzip(std::string_view data, size_t limit = kGunzipLimit);

// The decompressed bytes, empty when nothing could be decompressed or the limit was hit.
std::string GunzipBytes(std::string_view data);

}  // namespace cw
