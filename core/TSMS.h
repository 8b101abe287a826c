#pragma once
// TSMS: the automation object. It holds nothing; each method works on the one gateway
// controller. Arguments and results are UTF-8 text, as on the bus.

#include <cstdint>
#include <string>
#include <string_view>

namespace kavonet {

class TSMS_Main;

// `destinations` cut to `limit` characters (and at a NUL) without cutting a number in two:
// a destination that does not fit whole is dropped, since its digits would make a number
// nobody gave.
std::string CutDestinations(std::string_view destinations, std::size_t limit);

class TSMS {
 public:
  // Arguments longer than this many characters are cut: the gateway has always taken 1000.
  static constexpr std::size_t kMaxArgumentLength = 1000;

  explicit TSMS(TSMS_Main& main) : main_(main) {}

  bool Is_Connected(const std::string& ignored);
  bool Is_Auto_Connect(const std::string& ignored);
  void Connect(const std::string& ignored);
  void Disconnect(const std::string& ignored);
  void Toggle_Connection(const std::string& ignored);
  std::string Receive_Mode(const std::string& ignored);
  void No_Transfer_Mode(const std::string& ignored);
  void Transfer_TE_Mode(const std::string& ignored);
  void Transfer_All_Mode(const std::string& ignored);
  void Get_All(const std::string& ignored);
  bool Register_Retrieve(const std::string& AppName);
  std::string Retrieve_Message(const std::string& AppName);
  bool deRegister_Retrieve(const std::string& AppName);
  std::int32_t Send_Message(const std::string& ignored, const std::string& Destinations,
                            const std::string& MessageText);
  void SMS_Minimize(const std::string& ignored);
  void SMS_Restore(const std::string& ignored);

 private:
  TSMS_Main& main_;
};

}  // namespace kavonet
