// Contents told apart by a 128-bit hash, written as 32 hex digits: the
// files a job reads, the files a case was made with.
#ifndef KVSOLVER_BATCH_CONTENT_HASH_H_
#define KVSOLVER_BATCH_CONTENT_HASH_H_

#include <xxhash.h>

#include <string>
#include <string_view>

/// `hash` as 32 lowercase hex digits.
std::string HashHex(XXH128_hash_t hash);

/// The hash of `bytes`, as HashHex writes it.
std::string HashBytes(std::string_view bytes);

#endif  // KVSOLVER_BATCH_CONTENT_HASH_H_
