#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sms/PduCodec.h"

namespace {

void EncodeToHex(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    const kavonet::sms::SubmitPdu pdu =
        kavonet::sms::BuildSubmitPdu("+447912345678", text, "+447785016005", true, false);
    std::string hex = kavonet::sms::PduHexText(pdu.octets);
    benchmark::DoNotOptimize(hex);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BuildSubmitPduAndHex160(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 160; ++i) text.push_back(static_cast<char>('a' + i % 26));
  EncodeToHex(state, text);
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

// 160 characters of UTF-8 that the GSM alphabet carries, accents and € included.
std::string GsmText160() {
  const std::string piece = "Grüße aus Köln: 5€ [ok] ";  // 24 characters, 26 septets
  std::string text;
  std::size_t characters = 0;
  while (characters + 24 <= 160) {
    text += piece;
    characters += 24;
  }
  return text + std::string(160 - characters, 'z');
}

void BM_Utf8TextToSubmitHex160(benchmark::State& state) { EncodeToHex(state, GsmText160()); }
BENCHMARK(BM_Utf8TextToSubmitHex160);

std::uint8_t HexValue(char c) {
  return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10);
}

void BM_DeliverHexToUtf8Text160(benchmark::State& state) {
  // A 160-character DELIVER as a +CMGL line holds it: SCA field, TPDU, all in hex.
  std::vector<std::uint8_t> septets(160);
  for (std::size_t i = 0; i < septets.size(); ++i) septets[i] = static_cast<std::uint8_t>(i % 128);
  septets[0x1B] = 0x20;
  std::vector<std::uint8_t> record = {0x07, 0x91, 0x44, 0x77, 0x58, 0x10, 0x06, 0x50, 0x04,
                                      0x0C, 0x91, 0x44, 0x97, 0x21, 0x43, 0x65, 0x87, 0x00,
                                      0x00, 0x99, 0x30, 0x71, 0x21, 0x54, 0x80, 0x00, 160};
  const std::vector<std::uint8_t> packed = kavonet::sms::PackSeptets(septets);
  record.insert(record.end(), packed.begin(), packed.end());
  const std::string hex = kavonet::sms::PduHexText(record);
  for (auto _ : state) {
    std::vector<std::uint8_t> octets(hex.size() / 2);
    for (std::size_t i = 0; i < octets.size(); ++i) {
      octets[i] = static_cast<std::uint8_t>(HexValue(hex[2 * i]) << 4 | HexValue(hex[2 * i + 1]));
    }
    kavonet::sms::ReceivedMessage message = kavonet::sms::DecodeDeliver(octets, 8, false, 1, true);
    benchmark::DoNotOptimize(message);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DeliverHexToUtf8Text160);

// A 1000-character text needing UCS2, in parts, each as the hex text +CMGS takes.
void BM_LongText1000InPartsToHex(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "Привет мир";
  for (auto _ : state) {
    const std::vector<kavonet::sms::SubmitPdu> parts =
        kavonet::sms::BuildSubmitParts("+447912345678", text, "+447785016005", true, false, 7);
    for (const kavonet::sms::SubmitPdu& part : parts) {
      std::string hex = kavonet::sms::PduHexText(part.octets);
      benchmark::DoNotOptimize(hex);
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LongText1000InPartsToHex);

}  // namespace
