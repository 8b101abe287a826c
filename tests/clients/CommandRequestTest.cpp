#include "clients/CommandRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavonet::clients {
namespace {

struct RequestCase {
  const char* name;
  std::vector<std::string> chunks;
  std::size_t limit;
  std::string firstLine;
  bool full;
  bool overlong = false;
};

class Request : public ::testing::TestWithParam<RequestCase> {};

TEST_P(Request, KeepsTheFirstLineUpToTheLimit) {
  CommandRequest request(GetParam().limit);
  for (const std::string& chunk : GetParam().chunks) request.Append(chunk);
  EXPECT_EQ(request.FirstLine(), GetParam().firstLine);
  EXPECT_EQ(request.Full(), GetParam().full);
  EXPECT_EQ(request.Overlong(), GetParam().overlong);
  EXPECT_LE(request.Received(), GetParam().limit);
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, Request,
    ::testing::Values(
        RequestCase{"Whole", {"123;Hi"}, 100, "123;Hi", false},
        RequestCase{"SplitAcrossReads", {"12", "3;H", "i"}, 100, "123;Hi", false},
        RequestCase{"EndsAtLf", {"555;a;b\n666;c"}, 100, "555;a;b", false},
        RequestCase{"EndsAtCr", {"555;a\r", "\n666"}, 100, "555;a", false},
        RequestCase{"EndsAtNul", {std::string("444;ab\0cd", 9)}, 100, "444;ab", false},
        RequestCase{"LaterChunksIgnored", {"1;x\n", "2;y"}, 100, "1;x", false},
        RequestCase{"Empty", {}, 100, "", false},
        RequestCase{"CutAtTheLimit", {"123456", "789"}, 8, "12345678", true, true},
        RequestCase{"LimitAfterTheLine", {"1;x\n", std::string(20, 'z')}, 8, "1;x", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonet::clients
