// The application-data hand-over: a launched product puts its instance into application
// context and says whether its commit should tag it.
#pragma once

#include <cstdint>

namespace corvel::frame {

class TAVLibImpl;

// The operation behind Corvel_TAVLib_SetApplicationData.
uint32_t SetApplicationData(TAVLibImpl& instance, const char* driverCode, const char* appProductId,
                            const char* driverProductId, const char* appLocale,
                            const char* payloadCode, int32_t tagging);

}  // namespace corvel::frame
