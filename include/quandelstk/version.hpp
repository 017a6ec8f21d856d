#pragma once

namespace quandelstk {

inline constexpr int kVersionMajor = 6;
inline constexpr int kVersionMinor = 6;
inline constexpr int kVersionRevision = 1;
inline constexpr const char* kVersionText = "6.6.1";

}  // namespace quandelstk
