#pragma once
// Makes a line edit take whatever is typed or pasted in upper case.

#include <QValidator>

namespace kavonet::ui {

class UpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& position) const override;
};

}  // namespace kavonet::ui
