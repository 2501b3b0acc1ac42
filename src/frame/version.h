// The library's version, as Corvel_TAVLib_Getversion and the session banner report it.
#pragma once

#include <cstdint>

namespace corvel::frame {

inline constexpr int32_t kVersionMajor = 3;
inline constexpr int32_t kVersionMinor = 0;
inline constexpr int32_t kVersionPatch = 0;
inline constexpr char kVersionText[] = "3.0.0.10,3.0";

}  // namespace corvel::frame
