// SPDX-License-Identifier: GPL-2.0-or-later
// The closing line of tavrino-cli says how the command ended: every outcome has its own, and
// the exit status agrees with it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/Commands.h"
#include "frontend/Outcome.h"

namespace tavrino::cli {
namespace {

TEST(OutcomeLine, EveryOutcomeHasALineOfItsOwnThatAgreesWithTheExitStatus) {
  std::set<std::string> lines;
  const auto last = static_cast<int>(Outcome::FileCannotFinishUpdate);
  for (int n = 0; n <= last; ++n) {
    const auto outcome = static_cast<Outcome>(n);
    const std::string line = OutcomeLine(outcome);
    SCOPED_TRACE(OutcomeName(outcome));
    EXPECT_TRUE(lines.insert(line).second) << "said twice: " << line;
    const bool done = line.rfind("Done:", 0) == 0;
    EXPECT_EQ(done, ExitCode(outcome) == 0) << line;
  }
  EXPECT_EQ(ExitCode(Outcome::FileCannotFinishUpdate), 2);
  EXPECT_NE(OutcomeLine(Outcome::FileCannotFinishUpdate).find("file it was begun with"),
            std::string::npos);
}

}  // namespace
}  // namespace tavrino::cli
