// An engine without device or threads, so that the ring rules can be checked
// step by step: the test plays the read thread (pushing entries), the dispatch
// thread (MoveReceivedData) and the write thread (TakeTransmitRing).
#pragma once

#include <vector>

#include "Awuser.h"

class RingEngine : public TApdBaseDispatcher {
 public:
  explicit RingEngine(std::size_t outSize) { AllocateRings(outSize); }

  int EscapeComFunction(int function) override {
    escapes.push_back(function);
    return 0;
  }
  int FlushCom(int which) override {
    if (which == kFlushInput) Queue().Clear();
    return 1;
  }
  int GetComState(TLineSettings& settings) override {
    settings = line;
    return 0;
  }
  int SetComState(const TLineSettings& settings) override {
    line = settings;
    ++stores;
    return 0;
  }
  bool SetupCom(uint16_t, uint16_t) override { return true; }
  int OpenCom(const std::string&, uint16_t, uint16_t) override { return 0; }
  int CloseCom() override { return 0; }
  int StartDispatcher() override { return 0; }
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
  // What the write thread would take and write.
  std::vector<uint8_t> TakeTransmitRing() {
    std::lock_guard<std::recursive_mutex> guard(outputLock_);
    std::vector<uint8_t> out(outRing_.Used());
    outRing_.CopyOut(out.data(), out.size());
    outRing_.writePos = outRing_.readPos = 0;
    outRing_.full = false;
    return out;
  }
  bool TransmitFull() {
    std::lock_guard<std::recursive_mutex> guard(outputLock_);
    return outRing_.full;
  }
  bool ReceiveFull() {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    return inRing_.full;
  }
  // Opens the line settings the way InitPort does, without a device.
  int OpenLine(unsigned options, int32_t baud) {
    return InitPort("fake", baud, 0, 8, 1, 32768, 4096, options);
  }

  std::vector<int> escapes;
  TLineSettings line{};
  int stores = 0;
  int outputs = 0;

 protected:
  void SignalOutput() override { ++outputs; }
  std::size_t DeviceOutputQueued() override { return 0; }
};
