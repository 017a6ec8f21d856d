// What the decoder of a stored message PDU gives back. The concatenation fields can be unset: an
// unset field leaves the corresponding SMS property as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quandelstk {

struct DecodedPdu {
  std::string ServiceCentre;
  std::string Originator;
  std::string StampDate;
  std::string StampTime;
  std::string Text;
  std::optional<bool> IsLMS;
  std::optional<std::int16_t> LMS_Reference;
  std::optional<std::int16_t> LMS_Total;
  std::optional<std::int16_t> LMS_Sequence;
};

}  // namespace quandelstk
