// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/SimulatedPanel.h"

#include <algorithm>

#include "sim/PanelFlash.h"
#include "sim/PanelImages.h"
#include "sim/PanelReply.h"

namespace tavrino::sim {

SimulatedPanel::SimulatedPanel(const PanelConfig& config)
    : config_(config),
      flash_(kFlashSize, 0xFF),
      memory1_(kMemory1Size, 0xFF),
      memory2_(kMemory2Size, 0xFF),
      listenBaud_(config.listenBaud) {
  InstallStarter(config_.starterVersion, config_.starterLanguage);
}

// --- Contents ---

void SimulatedPanel::InstallStarter(uint8_t version, uint8_t language) {
  WriteStarter(flash_, version, language);
  config_.starterVersion = version;
  config_.starterLanguage = language;
}

bool SimulatedPanel::LoadProgram(const std::vector<uint8_t>& program) {
  if (program.size() != kProgramBytes && program.size() != kProgramSize) return false;
  std::vector<uint8_t> area(program);
  if (area.size() == kProgramBytes) {
    area.resize(kProgramSize);
    WriteProgramTrailer(area);
  }
  std::copy(area.begin(), area.end(), flash_.begin());
  std::copy(area.begin(), area.begin() + kBootCopySize, flash_.begin() + kBootCopyAt);
  return true;
}

std::vector<uint8_t> SimulatedPanel::SyntheticProgram(const std::string& version, uint8_t language,
                                                      bool signature) {
  return SyntheticProgramImage(VersionChars(version).value_or(version), language, signature);
}

void SimulatedPanel::SynthesizeProgram(const std::string& version, uint8_t language,
                                       bool signature) {
  LoadProgram(SyntheticProgram(version, language, signature));
  std::copy(memory2_.begin(), memory2_.end(), flash_.begin() + kMemory2CopyAt);
  std::copy(memory1_.begin(), memory1_.end(), flash_.begin() + kMemory1CopyAt);
}

void SimulatedPanel::FillSettings(int format) {
  memory1_ = Memory1Image(format);
  memory2_ = Memory2Image(format);
  std::copy(memory2_.begin(), memory2_.end(), flash_.begin() + kMemory2CopyAt);
  std::copy(memory1_.begin(), memory1_.end(), flash_.begin() + kMemory1CopyAt);
}

bool SimulatedPanel::StarterChecksumGood() const {
  return ComputeStarterChecksum(flash_) == StoredStarterChecksum(flash_);
}

uint32_t SimulatedPanel::CommandCount(uint8_t code) const {
  return commandCounts_[code];
}

// --- The line ---

uint64_t SimulatedPanel::ByteUs(uint32_t baud) const {
  if (!timing_.pace || baud == 0) return 0;
  return (10'000'000ull + baud / 2) / baud;  // 10 bits a byte: start, 8 data, stop
}

void SimulatedPanel::SetLineBaud(uint32_t baud) {
  lineBaud_ = baud;
}

void SimulatedPanel::FromTool(const uint8_t* bytes, size_t n, uint64_t nowUs) {
  if (dead_) return;
  Advance(nowUs);
  const bool hold = timing_.pace && timing_.holdRequests;
  const uint64_t byteUs = hold ? ByteUs(lineBaud_) : 0;
  uint64_t t = hold ? std::max(nowUs, toolLineFreeUs_) : nowUs;
  for (size_t i = 0; i < n && !dead_; ++i) {
    t += byteUs;
    TakeByte(bytes[i], t, byteUs);
  }
  if (hold) toolLineFreeUs_ = t;
  FlushLost();
  Advance(nowUs);
}

void SimulatedPanel::TakeByte(uint8_t byte, uint64_t arrivedUs, uint64_t byteUs) {
  Advance(arrivedUs);
  if (lineBaud_ != listenBaud_) {
    decoder_.Reset();
    NoteLost(byte, arrivedUs - byteUs, arrivedUs,
             "sent at " + std::to_string(lineBaud_) + " bit/s; the panel listens at " +
                 std::to_string(listenBaud_) + " bit/s");
    return;
  }
  if (arrivedUs < busyUntilUs_) {
    decoder_.Reset();
    NoteLost(byte, arrivedUs - byteUs, arrivedUs, "arrived while the panel was busy");
    return;
  }
  FlushLost();
  if (!decoder_.InFrame()) frameStartUs_ = arrivedUs - byteUs;
  switch (decoder_.Feed(byte)) {
    case RequestDecoder::Event::None:
      return;
    case RequestDecoder::Event::BadFrame:
      transcript_.push_back({frameStartUs_, arrivedUs, true, decoder_.Raw(),
                             "bad check bytes or stuffing: no answer", true});
      return;
    case RequestDecoder::Event::Frame: {
      // In pace mode the bytes came back to back; otherwise the first byte's own time.
      const uint64_t startUs = byteUs ? arrivedUs - byteUs * decoder_.Raw().size() : frameStartUs_;
      HandleFrame(decoder_.Raw(), decoder_.Payload(), startUs, arrivedUs);
      return;
    }
  }
}

void SimulatedPanel::NoteLost(uint8_t byte, uint64_t startUs, uint64_t endUs,
                              const std::string& why) {
  if (!lost_.empty() && why != lostWhy_) FlushLost();
  if (lost_.empty()) {
    lostStartUs_ = startUs;
    lostWhy_ = why;
  }
  lost_.push_back(byte);
  lostEndUs_ = endUs;
}

void SimulatedPanel::FlushLost() {
  if (lost_.empty()) return;
  transcript_.push_back({lostStartUs_, lostEndUs_, true, lost_, lostWhy_, true});
  lost_.clear();
}

void SimulatedPanel::HandleFrame(const std::vector<uint8_t>& raw,
                                 const std::vector<uint8_t>& payload, uint64_t startUs,
                                 uint64_t endUs) {
  const uint8_t command = payload[0];
  ++requestCount_;
  ++commandCounts_[command];
  TranscriptEntry request{startUs, endUs, true, raw, "", false};

  std::string silence;
  if (faults_.dieAfterFrames && requestCount_ > *faults_.dieAfterFrames) {
    dead_ = true;
    out_.clear();
    outHead_ = 0;
    silence = "the line goes dead (fault)";
  } else if (faults_.silentNextFrames > 0) {
    --faults_.silentNextFrames;
    silence = "no answer (fault: silent)";
  } else if (faults_.silentAfterFrames && requestCount_ > *faults_.silentAfterFrames) {
    silence = "no answer (fault: silent after " + std::to_string(*faults_.silentAfterFrames) +
              " requests)";
  } else if (faults_.silentCommands.count(command)) {
    silence = "no answer (fault: silent command)";
  }
  if (!silence.empty()) {
    request.decoded = "command " + HexNumber(command, 2) + " -> " + silence;
    transcript_.push_back(std::move(request));
    return;
  }

  Reply reply;
  if (mode_ == Mode::Starter && faults_.refuseCommands.count(command)) {
    reply = {true, faults_.errorCode, {0}, "command " + HexNumber(command, 2), "refused (fault)",
             0,    After::None,       0};
  } else {
    reply = Execute(payload);
  }
  request.decoded = reply.what + (reply.result.empty() ? "" : " -> " + reply.result);
  uint64_t t = endUs + (timing_.pace ? reply.workUs : 0);
  if (faults_.cutAfterFrame && requestCount_ == *faults_.cutAfterFrame) {
    dead_ = true;
    out_.clear();
    outHead_ = 0;
    request.decoded += "; the line goes dead before the answer (fault: cut)";
    transcript_.push_back(std::move(request));
    RunAfter(reply.after, reply.afterBaud, t);  // what the request set off goes on
    return;
  }
  transcript_.push_back(std::move(request));

  if (!reply.answer) {
    busyUntilUs_ = std::max(busyUntilUs_, t);
    return;
  }
  t += static_cast<uint64_t>(faults_.answerDelayMs) * 1000;
  std::string note;
  const std::vector<uint8_t> wire = ShapeAnswer(reply.code, reply.data, note);
  const uint64_t byteUs = ByteUs(listenBaud_);
  // The panel is done once its answer has left it; a late answer only reaches the tool
  // later, and never before an answer that left earlier.
  busyUntilUs_ = std::max(busyUntilUs_, t + byteUs * wire.size());
  if (faults_.lateNextAnswers > 0) {
    --faults_.lateNextAnswers;
    t += static_cast<uint64_t>(faults_.lateByMs) * 1000;
    note += " (fault: late)";
  }
  if (outHead_ < out_.size()) t = std::max(t, out_.back().atUs);
  uint64_t at = t;
  for (uint8_t b : wire) {
    at += byteUs;
    out_.push_back({at, listenBaud_, b});
  }
  transcript_.push_back({t, at, false, wire, DescribeAnswer(reply.code, reply.data) + note, false});
  RunAfter(reply.after, reply.afterBaud, at);
}

std::vector<uint8_t> SimulatedPanel::ShapeAnswer(uint8_t code, const std::vector<uint8_t>& data,
                                                 std::string& note) {
  std::vector<uint8_t> d(data);
  if (faults_.wrongLengthNextAnswers > 0) {
    --faults_.wrongLengthNextAnswers;
    if (d.size() < 256) {
      d.push_back(0x00);
    } else {
      d.pop_back();
    }
    note += " (fault: wrong length)";
  }
  std::vector<uint8_t> wire = EncodeAnswer(code, d);
  if (faults_.corruptNextAnswers > 0) {
    --faults_.corruptNextAnswers;
    wire[2 + d.size() / 2] ^= 0x5A;  // a data byte, so both check bytes disagree
    note += " (fault: corrupted)";
  }
  if (faults_.strayBytesAfterNextAnswers > 0) {
    --faults_.strayBytesAfterNextAnswers;
    wire.push_back(0x00);
    note += " (fault: stray byte)";
  }
  return wire;
}

void SimulatedPanel::RunAfter(After after, uint32_t baud, uint64_t atUs) {
  if (after == After::None) return;
  after_ = after;
  afterBaud_ = baud;
  afterAtUs_ = atUs;
  if (after == After::FinishInstall) {
    // The updater writes the new Starter; it hears nothing meanwhile.
    afterAtUs_ += timing_.pace ? timing_.updaterInstallUs : 0;
    busyUntilUs_ = std::max(busyUntilUs_, afterAtUs_);
  }
}

void SimulatedPanel::Advance(uint64_t nowUs) {
  if (after_ == After::None || nowUs < afterAtUs_) return;
  const After after = after_;
  after_ = After::None;
  switch (after) {
    case After::SwitchBaud:
      listenBaud_ = afterBaud_;
      break;
    case After::Restart:
      Restart(afterAtUs_);
      break;
    case After::FinishInstall:
      InstallStarter(0x31, 1);
      config_.firstHandshakeVariant = false;
      config_.listenBaud = 9600;
      listenBaud_ = 9600;
      mode_ = Mode::Starter;
      break;
    case After::None:
      break;
  }
}

void SimulatedPanel::PowerOn() {
  mode_ = Mode::Starter;
  listenBaud_ = config_.listenBaud;
  decoder_.Reset();
  after_ = After::None;
}

void SimulatedPanel::PowerCycle(uint64_t nowUs) {
  Advance(nowUs);
  dead_ = false;
  faults_ = {};
  out_.clear();
  outHead_ = 0;
  lost_.clear();
  busyUntilUs_ = 0;
  toolLineFreeUs_ = 0;
  PowerOn();
}

void SimulatedPanel::Restart(uint64_t atUs) {
  ++restartCount_;
  decoder_.Reset();
  listenBaud_ = config_.listenBaud;
  if (HoldsUpdater(flash_)) {
    mode_ = Mode::Updater;
    listenBaud_ = config_.updaterOnly9600 ? 9600 : 19200;
  } else if (flash_[0] == 0xFF) {
    mode_ = Mode::Starter;  // nothing to run: the Starter stays
  } else {
    mode_ = Mode::Program;
    programStartUs_ = atUs;
  }
}

std::vector<uint8_t> SimulatedPanel::ToTool(uint64_t nowUs) {
  Advance(nowUs);
  std::vector<uint8_t> bytes;
  while (outHead_ < out_.size() && out_[outHead_].atUs <= nowUs) {
    const OutByte& b = out_[outHead_++];
    if (!dead_ && b.baud == lineBaud_) bytes.push_back(b.value);
  }
  if (outHead_ == out_.size()) {
    out_.clear();
    outHead_ = 0;
  }
  return bytes;
}

std::optional<uint64_t> SimulatedPanel::NextByteAtUs() const {
  if (dead_) return std::nullopt;
  for (size_t i = outHead_; i < out_.size(); ++i)
    if (out_[i].baud == lineBaud_) return out_[i].atUs;
  return std::nullopt;
}

bool SimulatedPanel::Cts(uint64_t nowUs) const {
  return !dead_ && mode_ == Mode::Program &&
         nowUs >= programStartUs_ + static_cast<uint64_t>(config_.ctsDelayMs) * 1000;
}

}  // namespace tavrino::sim
