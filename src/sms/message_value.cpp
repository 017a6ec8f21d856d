#include <cstdio>

#include "quandelstk/errors.hpp"
#include "quandelstk/sms.hpp"

namespace quandelstk {

namespace {

// An automation host writes a number with up to 15 significant digits and switches to the exponent
// form for very large and very small values (7, 7.5, 1E+20, 1E-05), which is what %.15G does.
std::string NumberText(double number) {
  if (number == 0) return "0";  // not "-0"
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15G", number);
  return buffer;
}

}  // namespace

std::string MessageValue::ToText() const {
  if (IsEmpty()) return {};
  if (IsText()) return Text();
  if (IsNumber()) return NumberText(Number());
  const Object& object = ObjectRef();
  if (!object)
    throw RuntimeError(err::kTypeMismatch, "Type mismatch: ToMessage holds an empty object reference");
  std::optional<std::string> text = object->DefaultText();
  if (!text)
    throw RuntimeError(err::kTypeMismatch, "Type mismatch: the object in ToMessage has no default value");
  return *text;
}

}  // namespace quandelstk
