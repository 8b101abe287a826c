#include "ui/app/InstanceGuard.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ProcessHarness.h"

namespace kavonet::app {
namespace {

using kavonet::testing::Sandbox;

bool NoticeArrives(const InstanceGuard& guard, int timeoutMs = 5000) {
  pollfd entry{guard.NoticeDescriptor(), POLLIN, 0};
  return poll(&entry, 1, timeoutMs) == 1;
}

class Guard : public ::testing::Test {
 protected:
  std::unique_ptr<InstanceGuard> Acquire() {
    std::string error;
    auto guard = InstanceGuard::Acquire(sandbox.Root(), error);
    EXPECT_TRUE(guard) << error;
    return guard;
  }
  Sandbox sandbox;
};

TEST_F(Guard, SecondInstanceHandsItsCommandLineCutTo1022CharactersToTheFirst) {
  Acquire().reset();  // the next start after the first ended is first
  auto first = Acquire();
  ASSERT_EQ(first->GetRole(), InstanceGuard::Role::First);
  auto second = Acquire();
  ASSERT_EQ(second->GetRole(), InstanceGuard::Role::Second);
  EXPECT_EQ(second->FirstInstance(), getpid());
  second->HandOver(std::string(1022, 'a') + "bcd");
  ASSERT_TRUE(NoticeArrives(*first));
  EXPECT_EQ(first->TakeNotice(), std::string(1022, 'a'));
  // A shorter one after it is not mixed with the rest of the longer one.
  second->HandOver("short");
  ASSERT_TRUE(NoticeArrives(*first));
  EXPECT_EQ(first->TakeNotice(), "short");
  EXPECT_FALSE(NoticeArrives(*first, 0)) << "the notice is taken";
}

TEST_F(Guard, AnInstanceKilledWithoutCleaningUpNeverBlocksTheNextStart) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    std::string error;
    auto guard = InstanceGuard::Acquire(sandbox.Root(), error);
    const char state = guard && guard->GetRole() == InstanceGuard::Role::First ? 'F' : 'x';
    (void)!write(ready[1], &state, 1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char state = 0;
  ASSERT_EQ(read(ready[0], &state, 1), 1);
  close(ready[0]);
  ASSERT_EQ(state, 'F');
  EXPECT_EQ(Acquire()->GetRole(), InstanceGuard::Role::Second) << "while it lives";
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  auto next = Acquire();
  ASSERT_EQ(next->GetRole(), InstanceGuard::Role::First);
  EXPECT_EQ(next->FirstInstance(), getpid());
  // Its notice socket replaced the dead one's.
  auto second = Acquire();
  second->HandOver("after the crash");
  ASSERT_TRUE(NoticeArrives(*next));
  EXPECT_EQ(next->TakeNotice(), "after the crash");
}

TEST(GuardFailure, IsReportedWithTheSystemError) {
  Sandbox sandbox;
  std::string error;
  EXPECT_FALSE(InstanceGuard::Acquire(sandbox.Root() / "missing", error));
  EXPECT_EQ(error, "OneInstance failed to create file mapping, Error #2");
}

TEST(CommandLine, ArgumentsWithSpacesOrQuotesAreQuoted) {
  const std::vector<std::string_view> argv{"/usr/bin/kavonet", "--simulate", "a b", "", "say \"hi\""};
  EXPECT_EQ(InstanceGuard::JoinCommandLine(argv),
            "/usr/bin/kavonet --simulate \"a b\" \"\" \"say \\\"hi\\\"\"");
}

}  // namespace
}  // namespace kavonet::app
