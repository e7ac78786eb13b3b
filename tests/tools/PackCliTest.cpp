// SPDX-License-Identifier: GPL-2.0-or-later
#include <sys/wait.h>

#include <filesystem>

#include "../firmware/FirmwareFixture.h"
#include "tools/TestUpdaters.h"

namespace tavrino::test {
namespace {

class PackCliTest : public FirmwareFixture {
 protected:
  // Runs tavrino-pack; returns its exit status and keeps what it wrote to stderr.
  int Run(const std::string& args) {
    const std::string errPath = (dir.path() / "stderr.txt").string();
    const std::string command = std::string(TAVRINO_PACK) + " " + args + " >" +
                                (dir.path() / "stdout.txt").string() + " 2>" + errPath;
    const int status = std::system(command.c_str());
    std::ifstream in(errPath);
    err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string In(const std::string& name) const { return (dir.path() / name).string(); }

  std::string err;
};

TEST_F(PackCliTest, PacksTwoStampedHalvesIntoAFileThatLoads) {
  dir.Write("h1.bin", PlainHalf(1));
  auto whole = PlainHalf(2);
  whole.resize(kHalfSize, 0xEE);  // a trailer to be replaced
  dir.Write("h2.bin", whole);
  ASSERT_EQ(Run("--stamp 1.04.02:1 --signature " + In("out.17") + " " + In("h1.bin") + " " +
                In("h2.bin")),
            0)
      << err;
  ASSERT_TRUE(Load(In("out.17")));
  EXPECT_TRUE(image.FileHasTwoHalves);
  EXPECT_EQ(file.FileVersionText, "1.04.02 eng");
  EXPECT_EQ(file.ReadFileVersionRecord(ProgramHalf::Second), "10402\x01");
  EXPECT_EQ(image.ProgramByte(ProgramHalf::Second, 0x100), PlainHalf(2)[0x100]);

  EXPECT_EQ(Run("--help"), 0);
}

TEST_F(PackCliTest, BadInputFailsWithAMessageAndWritesNothing) {
  dir.Write("h1.bin", PlainHalf(1));
  dir.Write("short.bin", std::vector<uint8_t>(100));
  const std::string out = In("out.17"), h1 = In("h1.bin");
  struct Case {
    std::string args;
    int status;
    const char* message;
  } cases[] = {{"", 1, "expected OUT.17"},
               {out, 1, "expected OUT.17"},
               {"--bogus " + out + " " + h1, 1, "unknown option"},
               {"--stamp 1.4:1 " + out + " " + h1, 1, "bad version stamp"},
               {"--signature " + out + " " + h1, 1, "--signature goes with --stamp"},
               {out + " " + h1 + " " + h1 + " " + h1, 1, "expected OUT.17"},
               {out + " " + In("short.bin"), 2, "100 bytes"},
               {out + " " + In("missing.bin"), 2, "not a readable file"},
               {In("no/dir/out.17") + " " + h1, 2, "cannot write"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(Run(c.args), c.status);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

TEST_F(PackCliTest, WritesTheFiveMarkedTestUpdaters) {
  const auto updaters = dir.path() / "updaters";
  ASSERT_EQ(Run("--test-updaters " + updaters.string()), 0) << err;
  size_t files = 0;
  for (const auto& image : test_updaters::TestImages()) {
    std::ifstream in(updaters / image.fileName, std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written, image.bytes) << image.fileName;
    const std::string text(written.begin(), written.end());
    EXPECT_NE(text.find("TEST IMAGE"), std::string::npos) << image.fileName;
    ++files;
  }
  EXPECT_EQ(files, 5u);
  EXPECT_TRUE(std::filesystem::exists(updaters / "AM29F040B.bin"));

  EXPECT_EQ(Run("--test-updaters"), 1);
  EXPECT_NE(err.find("needs a folder"), std::string::npos) << err;
  EXPECT_EQ(Run("--test-updaters " + In("h1.bin") + " more"), 1);
  dir.Write("file", {1});
  EXPECT_EQ(Run("--test-updaters " + In("file")), 2) << "a file where the folder should be";
}

}  // namespace
}  // namespace tavrino::test
