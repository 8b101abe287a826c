#include "clients/AutomationMethods.h"

#include <array>
#include <type_traits>

#include "core/TSMS.h"

namespace kavonet::clients {
namespace {

using Args = std::vector<std::string>;

// One argument, ignored or an application name; `Method` returns void, bool or text.
template <auto Method>
AutomationResult CallOne(TSMS& object, const Args& arguments) {
  if constexpr (std::is_void_v<decltype((object.*Method)(arguments[0]))>) {
    (object.*Method)(arguments[0]);
    return std::monostate{};
  } else {
    return AutomationResult((object.*Method)(arguments[0]));
  }
}

AutomationResult CallSendMessage(TSMS& object, const Args& arguments) {
  return object.Send_Message(arguments[0], arguments[1], arguments[2]);
}

constexpr std::array kMethods{
    AutomationMethod{"Is_Connected", 1, &CallOne<&TSMS::Is_Connected>},
    AutomationMethod{"Is_Auto_Connect", 1, &CallOne<&TSMS::Is_Auto_Connect>},
    AutomationMethod{"Connect", 1, &CallOne<&TSMS::Connect>},
    AutomationMethod{"Disconnect", 1, &CallOne<&TSMS::Disconnect>},
    AutomationMethod{"Toggle_Connection", 1, &CallOne<&TSMS::Toggle_Connection>},
    AutomationMethod{"Receive_Mode", 1, &CallOne<&TSMS::Receive_Mode>},
    AutomationMethod{"No_Transfer_Mode", 1, &CallOne<&TSMS::No_Transfer_Mode>},
    AutomationMethod{"Transfer_TE_Mode", 1, &CallOne<&TSMS::Transfer_TE_Mode>},
    AutomationMethod{"Transfer_All_Mode", 1, &CallOne<&TSMS::Transfer_All_Mode>},
    AutomationMethod{"Get_All", 1, &CallOne<&TSMS::Get_All>},
    AutomationMethod{"Register_Retrieve", 1, &CallOne<&TSMS::Register_Retrieve>},
    AutomationMethod{"Retrieve_Message", 1, &CallOne<&TSMS::Retrieve_Message>, true},
    AutomationMethod{"deRegister_Retrieve", 1, &CallOne<&TSMS::deRegister_Retrieve>},
    AutomationMethod{"Send_Message", 3, &CallSendMessage},
    AutomationMethod{"SMS_Minimize", 1, &CallOne<&TSMS::SMS_Minimize>},
    AutomationMethod{"SMS_Restore", 1, &CallOne<&TSMS::SMS_Restore>},
};

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

std::span<const AutomationMethod> AutomationMethods() { return kMethods; }

const AutomationMethod* FindAutomationMethod(std::span<const AutomationMethod> table,
                                             std::string_view member) {
  for (const AutomationMethod& method : table) {
    if (EqualsIgnoringCase(method.name, member)) return &method;
  }
  return nullptr;
}

}  // namespace kavonet::clients
