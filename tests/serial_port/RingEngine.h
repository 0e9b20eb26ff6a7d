// An engine without device or threads, so that the engine's own ring rules
// can be checked step by step: the test plays the read thread (pushing
// entries), the dispatch thread (MoveReceivedData) and the write thread
// (TakeOutputBlock), each through the engine's own calls.
#pragma once

#include <utility>
#include <vector>

#include "Awuser.h"

class RingEngine : public TApdBaseDispatcher {
 public:
  explicit RingEngine(std::size_t outSize) { AllocateRings(outSize); }

  void EscapeComFunction(TControlLine line, bool high) override {
    controlLines.emplace_back(line, high);
  }
  int FlushCom(int which) override {
    if (which == kFlushInput) Queue().Clear();
    return 1;
  }
  TDeviceFailure GetComState(TLineSettings& settings) override {
    settings = line;
    return kNoDeviceFailure;
  }
  TDeviceFailure SetComState(const TLineSettings& settings) override {
    ++stores;
    if (refuseStores.Failed()) return refuseStores;
    line = settings;
    return kNoDeviceFailure;
  }
  TDeviceFailure SetupCom(uint16_t, uint16_t) override { return kNoDeviceFailure; }
  TDeviceFailure OpenCom(const std::string&, uint16_t, uint16_t) override {
    return kNoDeviceFailure;
  }
  int CloseCom() override { return 0; }
  TDeviceFailure StartDispatcher() override { return kNoDeviceFailure; }
  void StopDispatcher() override {}
  bool DeviceOpen() const override { return false; }

  void PushData(const std::vector<uint8_t>& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += TDataBuffer::kDataSize) {
      auto entry = std::make_unique<TDataBuffer>();
      entry->bytesUsed = std::min(TDataBuffer::kDataSize, bytes.size() - at);
      std::copy_n(bytes.begin() + static_cast<long>(at), entry->bytesUsed, entry->data);
      Queue().Push(std::move(entry));
    }
  }
  void PushStatus(uint32_t mask) { Queue().Push(std::make_unique<TStatusBuffer>(mask)); }
  // Moves until nothing more fits or nothing more is queued.
  void MoveAll() {
    while (MoveReceivedData() != 0) {
    }
  }
  // What the write thread takes and writes.
  std::vector<uint8_t> TakeTransmitRing() {
    std::vector<uint8_t> block = TakeOutputBlock();
    OutputBlockDone();
    return block;
  }
  bool TransmitFull() {
    std::lock_guard<std::recursive_mutex> guard(outputLock_);
    return outRing_.Full();
  }
  bool ReceiveFull() {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    return inRing_.Full();
  }
  // Opens the line settings the way InitPort does, without a device.
  TDeviceFailure OpenLine(unsigned options, int32_t baud) {
    return InitPort("fake", baud, 0, 8, 1, 32768, 4096, options);
  }

  std::vector<std::pair<TControlLine, bool>> controlLines;
  TLineSettings line{};
  int stores = 0;
  int outputs = 0;
  // What SetComState answers (no failure: it takes the settings).
  TDeviceFailure refuseStores;

 protected:
  void SignalOutput() override { ++outputs; }
  std::size_t DeviceOutputQueued() override { return 0; }
};
