#pragma once
// The automation object's sixteen methods as a table: name, argument count and the call
// on TSMS. The bus adapter looks members up here, so names, counts and result types are
// decided in one place (and checked against the introspection XML by a test).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kavonet {
class TSMS;
}

namespace kavonet::clients {

// No result, a boolean, a 32-bit integer or 8-bit text.
using AutomationResult = std::variant<std::monostate, bool, std::int32_t, std::string>;

struct AutomationMethod {
  std::string_view name;
  int argumentCount;
  // `arguments` has exactly `argumentCount` entries of the gateway's 8-bit text.
  AutomationResult (*invoke)(TSMS& object, const std::vector<std::string>& arguments);
  // Its result is the only copy of what it takes from the gateway: a caller that will not
  // read the reply must not get it run.
  bool resultIsTaken = false;
};

std::span<const AutomationMethod> AutomationMethods();

// The method of `table` whose name equals `member` without regard to ASCII case;
// nullptr if none.
const AutomationMethod* FindAutomationMethod(std::span<const AutomationMethod> table,
                                             std::string_view member);

}  // namespace kavonet::clients
