#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sms/PduCodec.h"

namespace {

void BM_BuildSubmitPduAndHex160(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 160; ++i) text.push_back(static_cast<char>('a' + i % 26));
  for (auto _ : state) {
    const kavonet::sms::SubmitPdu pdu =
        kavonet::sms::BuildSubmitPdu("+447912345678", text, "+447785016005", true, false);
    std::string hex = kavonet::sms::PduHexText(pdu.octets);
    benchmark::DoNotOptimize(hex);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildSubmitPduAndHex160);

void BM_DecodeDeliverTypical(benchmark::State& state) {
  // SCA field, then a DELIVER from +447912345678 with 40 characters of text.
  const std::string body = "Meeting moved to 3pm, room 2.14. Thanks!";
  std::vector<std::uint8_t> septets(body.begin(), body.end());
  std::vector<std::uint8_t> record = {
      0x07, 0x91, 0x44, 0x77, 0x58, 0x10, 0x06, 0x50, 0x04,
      0x0C, 0x91, 0x44, 0x97, 0x21, 0x43, 0x65, 0x87, 0x00,
      0x00, 0x99, 0x30, 0x71, 0x21, 0x54, 0x80, 0x00, static_cast<std::uint8_t>(septets.size())};
  const std::vector<std::uint8_t> packed = kavonet::sms::PackSeptets(septets);
  record.insert(record.end(), packed.begin(), packed.end());
  for (auto _ : state) {
    kavonet::sms::ReceivedMessage message = kavonet::sms::DecodeDeliver(record, 8, false, 1, true);
    benchmark::DoNotOptimize(message);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeDeliverTypical);

}  // namespace
