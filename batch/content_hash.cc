#include "batch/content_hash.h"

#include <cstdio>

std::string HashHex(XXH128_hash_t hash) {
  char hex[40];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return hex;
}

std::string HashBytes(std::string_view bytes) {
  return HashHex(XXH3_128bits(bytes.data(), bytes.size()));
}
