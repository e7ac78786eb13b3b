// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "cli/Terminal.h"
#include "cli/TerminalFrontEnd.h"

namespace tavrino::cli {
namespace {

// Standard input as a pipe holding what the person typed, closed after it (end of input).
class TypedInput {
 public:
  explicit TypedInput(const std::string& typed) {
    EXPECT_EQ(pipe(fds_), 0);
    EXPECT_EQ(write(fds_[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    close(fds_[1]);
  }
  ~TypedInput() { close(fds_[0]); }
  int fd() const { return fds_[0]; }
  // What is left unread.
  std::string Rest() {
    std::string rest;
    char c;
    while (read(fds_[0], &c, 1) == 1) rest.push_back(c);
    return rest;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(AskYesNo, AnswersFromOneLineOfInput) {
  struct Case {
    std::string typed;
    bool answer;
    int prompts;  // how many times the question was put
  };
  const std::vector<Case> cases = {
      {"y\n", true, 1},
      {"Y\n", true, 1},
      {" yes \n", true, 1},
      {"n\n", false, 1},
      {"N\n", false, 1},
      {"no\n", false, 1},
      {"", false, 1},                    // end of input
      {"y", true, 1},                    // a last line without its newline
      {"\nmaybe\ny\n", true, 3},         // anything else asks again
      {"x\nx\nx\nx\nx\ny\n", false, 5},  // ... a few times, then No
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("typed: " + c.typed);
    TypedInput in(c.typed);
    std::ostringstream out;
    Terminal term(out, true);
    const std::atomic<bool> stop{false};
    EXPECT_EQ(AskYesNo(term, out, in.fd(), "Continue ?", stop), c.answer);
    const std::string shown = out.str();
    EXPECT_EQ(shown.rfind("Continue ? [y/n] ", 0), 0u) << shown;
    size_t prompts = 0;
    for (size_t p = shown.find("[y/n] "); p != std::string::npos; p = shown.find("[y/n] ", p + 1)) {
      ++prompts;
    }
    EXPECT_EQ(prompts, static_cast<size_t>(c.prompts));
  }
}

TEST(AskYesNo, TakesOnlyItsOwnLineAndStopsOnStop) {
  TypedInput in("y\nn\n");
  std::ostringstream out;
  Terminal term(out, true);
  std::atomic<bool> stop{false};
  EXPECT_TRUE(AskYesNo(term, out, in.fd(), "First ?", stop));
  EXPECT_EQ(in.Rest(), "n\n");

  TypedInput again("y\n");
  stop = true;
  EXPECT_FALSE(AskYesNo(term, out, again.fd(), "Second ?", stop));
}

TEST(AskYesNo, KeepsQuestionAndAnswerInALogThatIsNotTheTerminal) {
  TypedInput in("y\n");
  std::ostringstream log, prompt;
  Terminal term(log, false);
  const std::atomic<bool> stop{false};
  EXPECT_TRUE(AskYesNo(term, prompt, in.fd(), "Overwrite\rthe program ?", stop));
  EXPECT_EQ(prompt.str(), "Overwrite\nthe program ? [y/n] ");
  EXPECT_EQ(log.str(), "Overwrite\nthe program ? [y/n] y\n");
}

TEST(TerminalFrontEnd, BoxesNeverWaitAndNobodyAnswersYesWithoutATerminal) {
  std::ostringstream out;
  Terminal term(out, false);
  TypedInput in("y\n");
  TerminalFrontEnd ui(term, out, in.fd(), /*interactive=*/false);
  // An information box is printed (CR and LF both break lines) and returns false.
  EXPECT_FALSE(ui.AskUser("Updating ok.\rBye\n\nEnd", true));
  // A question with nobody to ask is No, and the typed "y" is never read.
  EXPECT_FALSE(ui.AskUser("Continue ?", false));
  EXPECT_EQ(out.str(), "Updating ok.\nBye\n\nEnd\nContinue ? [y/n] n (no terminal to ask on)\n");
  EXPECT_EQ(in.Rest(), "y\n");
}

}  // namespace
}  // namespace tavrino::cli
