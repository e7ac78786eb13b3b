// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A front end for tests: boxes are answered from a script, never by a person, and every
// call is recorded.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "frontend/FrontEnd.h"

namespace tavrino::test {

class ScriptedFrontEnd : public FrontEnd {
 public:
  struct Box {
    std::string text;
    bool infoOnly;
    bool answer;
  };

  // Answers for question boxes, taken in order; when the script is empty, defaultAnswer.
  std::deque<bool> answers;
  bool defaultAnswer = true;
  // Called on every pump; a test may set Stop from here at a chosen moment.
  std::function<void()> onPump;
  // The port dialog: the port to choose (0 = cancel) and the Fast RS box.
  uint16_t dialogPort = 1;
  bool dialogFastRS = true;
  // The file dialog: the path to choose (empty = cancel).
  std::string dialogFile;

  std::vector<Box> boxes;
  std::vector<std::array<bool, 4>> portDialogs;
  int fileDialogs = 0;
  int pumps = 0;
  int quitRequests = 0;
  std::string file;  // as shown: the loaded file's path
  std::string fileVersion;
  std::string portSpeed;
  bool waitBoxVisible = false;
  int waitBoxShown = 0;
  std::vector<std::string> inFull;  // what lines had no room for, in order

  bool AskUser(const std::string& text, bool infoOnly) override {
    bool answer = false;
    if (!infoOnly) {
      if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
      } else {
        answer = defaultAnswer;
      }
    }
    boxes.push_back({text, infoOnly, answer});
    return answer;
  }
  void ProcessMessages() override {
    ++pumps;
    if (onPump) onPump();
  }
  void ShowFile(const std::string& path) override { file = path; }
  void ShowFileVersion(const std::string& text) override { fileVersion = text; }
  void ShowPortSpeed(const std::string& text) override { portSpeed = text; }
  void ShowWaitBox(bool visible) override {
    waitBoxVisible = visible;
    if (visible) ++waitBoxShown;
  }
  bool ChooseFirmwareFile(std::string& path) override {
    ++fileDialogs;
    if (dialogFile.empty()) return false;
    path = dialogFile;
    return true;
  }
  bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                        bool& tryFastSpeeds) override {
    portDialogs.push_back(available);
    if (dialogPort == 0 || dialogPort > 4 || !available[dialogPort - 1]) return false;
    port = dialogPort;
    tryFastSpeeds = dialogFastRS;
    return true;
  }
  void RequestQuit() override { ++quitRequests; }
  void LineInFull(const std::string& text) override { inFull.push_back(text); }

  // Texts of all boxes shown, in order.
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> t;
    for (const auto& b : boxes) t.push_back(b.text);
    return t;
  }
};

}  // namespace tavrino::test
