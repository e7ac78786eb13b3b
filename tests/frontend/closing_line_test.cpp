// SPDX-License-Identifier: GPL-2.0-or-later
// The closing line says how the command ended: every outcome has its own, and the exit
// status agrees with it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "frontend/Outcome.h"

namespace tavrino {
namespace {

TEST(ClosingLine, EveryOutcomeHasALineOfItsOwnThatAgreesWithTheExitStatus) {
  std::set<std::string> lines;
  const auto last = static_cast<int>(Outcome::FileCannotFinishUpdate);
  for (int n = 0; n <= last; ++n) {
    const auto outcome = static_cast<Outcome>(n);
    const std::string line = ClosingLine(outcome);
    SCOPED_TRACE(OutcomeName(outcome));
    EXPECT_TRUE(lines.insert(line).second) << "said twice: " << line;
    const bool done = line.rfind("Done:", 0) == 0;
    EXPECT_EQ(done, ExitCode(outcome) == 0) << line;
  }
  EXPECT_FALSE(lines.count(ClosingLine(Outcome::PortNotOpened, true)))
      << "a port that stopped working reads as one that never opened";
  EXPECT_EQ(ExitCode(Outcome::FileCannotFinishUpdate), 2);
  EXPECT_EQ(ClosingLine(Outcome::FileCannotFinishUpdate),
            "Failed: the panel's unfinished update needs the file it was begun with.");
}

}  // namespace
}  // namespace tavrino
