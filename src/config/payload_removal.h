// Removing what configuration processing recorded for a payload, together with the data
// kept under the codes that the payload's configuration links to. One transaction per call.
#pragma once

#include <cstdint>

namespace corvel::frame {
class TAVLibImpl;
}

namespace corvel::config {

// Linked-code values are read into buffers of this size (values up to 511 bytes).
inline constexpr uint32_t kLinkedCodeBufferSize = 512;

// The operation behind Corvel_TAVLib_Remove_payload, logging to the instance's log.
// 9 for a null or empty payload code; 10 when the removals' transaction does not commit;
// otherwise 0 whatever the store reports for the single removals.
uint32_t Remove_payload(const frame::TAVLibImpl& instance, const char* payload_code);

}  // namespace corvel::config
