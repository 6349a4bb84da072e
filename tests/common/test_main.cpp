// The main of every test program. A test that skips never passes unnoticed:
// the skipped tests are listed with their reasons, and the program exits with
// status 77, which ctest reports as "Skipped" (SKIP_RETURN_CODE). Where no skip
// is acceptable (CI, QUORVEL_NO_SKIPS=1) any skip fails the run instead.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace {

constexpr int kSkippedStatus = 77;

bool NoSkipsAllowed() {
  const char* value = std::getenv("QUORVEL_NO_SKIPS");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  // A filter that matches nothing (a renamed test, a wrong name in a ctest
  // entry) would pass without a check.
  if (unit.test_to_run_count() == 0) {
    std::fprintf(stderr, "no test matched the filter: nothing was checked\n");
    return 1;
  }
  if (unit.skipped_test_count() == 0) return status;

  std::fprintf(stderr, "%d test(s) skipped:\n", unit.skipped_test_count());
  for (int i = 0; i < unit.total_test_suite_count(); ++i) {
    const testing::TestSuite& suite = *unit.GetTestSuite(i);
    for (int j = 0; j < suite.total_test_count(); ++j) {
      const testing::TestInfo& test = *suite.GetTestInfo(j);
      if (!test.should_run() || !test.result()->Skipped()) continue;
      std::string reason;
      for (int k = 0; k < test.result()->total_part_count(); ++k)
        if (test.result()->GetTestPartResult(k).skipped()) reason = test.result()->GetTestPartResult(k).message();
      std::fprintf(stderr, "  SKIPPED %s.%s: %s\n", suite.name(), test.name(), reason.c_str());
    }
  }
  if (status != 0) return status;
  if (NoSkipsAllowed()) {
    std::fprintf(stderr, "QUORVEL_NO_SKIPS is set: a skipped test fails the run\n");
    return 1;
  }
  return kSkippedStatus;
}
