// Fuzzes gzip input: any bytes after a gzip signature must end, within the limit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/gzip_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes("\x1F\x8B", 2);
  bytes.append(reinterpret_cast<const char*>(data), size);
  const cw::GunzipResult result = cw::Gunzip(bytes, 1u << 20);
  if (result.bytes.size() > (1u << 20)) __builtin_trap();
  cw::Gunzip(std::string(reinterpret_cast<const char*>(data), size), 1u << 20);
  return 0;
}
