#include "ui/widgets/UpperCaseValidator.h"

#include <algorithm>

namespace kavonet::ui {

QValidator::State UpperCaseValidator::validate(QString& input, int& position) const {
  const qsizetype before = input.size();
  input = input.toUpper();
  // Some letters grow when upper-cased ("ß" becomes "SS"): keep the cursor after them.
  position += static_cast<int>(input.size() - before);
  position = std::clamp(position, 0, static_cast<int>(input.size()));
  return Acceptable;
}

}  // namespace kavonet::ui
