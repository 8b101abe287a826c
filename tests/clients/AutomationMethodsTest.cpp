#include "clients/AutomationMethods.h"

#include <gtest/gtest.h>

#include <QXmlStreamReader>
#include <map>

#include "clients/AutomationObject.h"
#include "core/TSMS.h"
#include "tests/core/ControllerHarness.h"

namespace kavonet::clients {
namespace {

struct Declared {
  int inputs = 0;
  std::string output;  // D-Bus type of the result, empty for none
};

// Every method of the interface as the introspection document declares it.
std::map<std::string, Declared> DeclaredMethods() {
  std::map<std::string, Declared> methods;
  QXmlStreamReader xml(IntrospectionDocument());
  std::string current;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const auto attributes = xml.attributes();
    if (xml.name() == QLatin1String("method")) {
      current = attributes.value(QLatin1String("name")).toString().toStdString();
      methods[current];
    } else if (xml.name() == QLatin1String("arg")) {
      if (attributes.value(QLatin1String("direction")) == QLatin1String("out")) {
        methods[current].output = attributes.value(QLatin1String("type")).toString().toStdString();
      } else {
        ++methods[current].inputs;
      }
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return methods;
}

std::string ResultType(const AutomationResult& result) {
  static const char* const kTypes[] = {"", "b", "i", "s"};
  return kTypes[result.index()];
}

TEST(AutomationMethods, MatchTheIntrospectionDocumentInNameArgumentsAndResult) {
  const std::map<std::string, Declared> declared = DeclaredMethods();
  ASSERT_EQ(declared.size(), 16u);
  ASSERT_EQ(AutomationMethods().size(), 16u);
  kavonet::testing::ControllerHarness h;
  TSMS object(*h.main);
  for (const AutomationMethod& method : AutomationMethods()) {
    const std::string name(method.name);
    ASSERT_TRUE(declared.count(name)) << name;
    EXPECT_EQ(declared.at(name).inputs, method.argumentCount) << name;
    const std::vector<std::string> arguments(static_cast<std::size_t>(method.argumentCount), "");
    EXPECT_EQ(ResultType(method.invoke(object, arguments)), declared.at(name).output) << name;
  }
}

TEST(AutomationMethods, AreFoundWithoutRegardToCase) {
  for (const char* member : {"Send_Message", "send_message", "SEND_MESSAGE", "sEnD_mEsSaGe"}) {
    const AutomationMethod* method = FindAutomationMethod(AutomationMethods(), member);
    ASSERT_NE(method, nullptr) << member;
    EXPECT_EQ(method->name, "Send_Message");
  }
  EXPECT_EQ(FindAutomationMethod(AutomationMethods(), "deregister_retrieve")->name, "deRegister_Retrieve");
  for (const char* member : {"", "Send_Messag", "Send_Message ", "Introspect", "Send-Message"}) {
    EXPECT_EQ(FindAutomationMethod(AutomationMethods(), member), nullptr) << member;
  }
}

}  // namespace
}  // namespace kavonet::clients
