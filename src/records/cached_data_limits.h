// Buffer limits of the cached-data operations.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvel::records {

// Values are read into a zeroed buffer of this size: at most 511 characters are seen.
inline constexpr uint32_t kValueBufferSize = 512;
// The largest capacity GetValueforKeyInSubDomain passes to the store; larger ones are clamped.
inline constexpr int32_t kMaxReadCapacity = 512;
// The longest plain value that may be obfuscated: its hexadecimal form and the terminating
// NUL fit a 1024-byte buffer.
inline constexpr size_t kMaxObfuscatedPlainBytes = 511;
// The product-mapping value of EnumerateKeys is read into a buffer of this size.
inline constexpr uint32_t kProductMappingBufferSize = 256;

}  // namespace corvel::records
