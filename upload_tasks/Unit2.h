// Upload tasks: the two task kinds that run one upload on a thread of their
// own, and the state they share with the window.
//
// A task is created on the main thread with `new`, starts at once and releases
// itself after its termination notice has run on the main thread. The creator
// may call RequestStop on it only while TaskRunning is true (the notice, which
// clears the flag, runs on the main thread too).
//
// Each body is a list of phases in the order the protocol runs them. A phase
// returns true when the next one may follow, false when the task ends here:
// whatever the ending shows (log line, box) has then been shown and the image
// file closed where the ending closes it. A port failure (the serial layer's
// Exception) leaves a phase as it is and the body turns it into the ending of
// the section it interrupts. Phases and their state belong to the task's
// thread alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TaskClock.h"
#include "TaskHost.h"
#include "TaskThread.h"
#include "YmodemBlocks.h"
#include "ZarnWords.h"

// True from the creation of a task until its termination notice has run.
// Written and read whole by the main thread and the task's thread.
extern std::atomic<bool> TaskRunning;

// Uploads an image with a 64-byte header by the command-word protocol.
class UpThread final : public TThread {
 public:
  explicit UpThread(TaskHost& host, TaskClock& clock = RealTaskClock());

 protected:
  void Execute() override;

 private:
  // --- Before anything is sent: a port failure ends the task quietly.
  // Flush, the first byte and the greeting; false when the greeting did not
  // come (a silent first byte only skips the greeting).
  bool Greet();
  // Reads 'K', then copies 'G' 'S' behind it; false unless all three arrived.
  bool ReadGreeting();
  // Opens and measures the chosen file into length_; false after its box.
  bool OpenImage();

  // --- The protected section: a port failure ends the task through Fail().
  // Reads the header into header_ and corrects its BodySize to the file.
  bool CopyHeader();
  // Sends DnRequest with the header's type code and checks for DnAccept.
  bool Request();
  // Sends the header and checks for HeaderAccept.
  bool SendHeader();
  // The body in packets; false when the task ended on the way (stop, short
  // read, failed wait or too many rejections of one packet).
  bool SendPackets();
  // One chunk of `chunk` bytes in packet_, sent again while rejected.
  bool SendChunkWithResend(uint16_t chunk);
  // The three sends of one packet and their pauses.
  void SendPacket(uint16_t chunk);
  // EndOfImage, then the reply to the last packet (not examined).
  bool SendEndWord();
  // The FlashStart report and the final word's report.
  bool AwaitFlashReplies();
  // Progress back to 0, flush, and the finish is reached: confirmed only when
  // the final word was FlashOk.
  void Finish();

  // A wait for a reply; false when the task must end (line logged on a
  // time-out, failure box shown).
  bool AwaitReply(int limitSeconds, const char* timeoutLine);
  // Closes the image file and shows the failure box with failureText_.
  void Fail();
  void SendWord(uint32_t word);
  uint32_t CommandWord() const;

  // The last word sent or received; the greeting's three bytes before that.
  uint8_t command_[zarn::kWordSize] = {};
  // The file's length as measured when it was opened.
  int64_t length_ = 0;
  // The header as sent: the file's, with BodySize corrected.
  uint8_t header_[zarn::kHeaderSize] = {};
  // The body length sent, fixed at the start: a file that changes meanwhile
  // cannot make the body disagree with BodySize.
  uint32_t bodyLength_ = 0;
  // Text of the failure box; names the phase in progress.
  std::string failureText_ = "Initialisation error";
  // One packet's data and its CRC-32.
  std::vector<uint8_t> packet_;
  // Number of the next packet in the log lines.
  int packetCounter_ = 0;
};

// How a DSP upload paces its data blocks. The framing (header block, 1030-byte
// data blocks, EOT handshake, closing block) is the same in both.
//  - PausePerBlock (the default): after queuing a block the task pauses 200 ms
//    and then reads the STB's reply once; a reply that has not arrived by then
//    ends the task with the failure box. An STB that needs the quiet 200 ms
//    after each block (to write it away) must get this mode.
//  - AckDriven ("Fast transfer"): the next block goes as soon as the previous
//    one is acknowledged, and a block's reply is waited for with the same
//    10-second limit as the other phases' replies ("Timeout!!!" when it does
//    not come). NAK or any other byte sends the block again, CAN and SUB end
//    the task as in the default mode, and a stop request is honoured between
//    blocks and while a reply is awaited (failure box). Near the line's full
//    rate, and slow STBs that answer after more than 200 ms still complete.
enum class DspPacing { PausePerBlock, AckDriven };

// Uploads a .DSP file by the YMODEM-style block transfer, paced as `pacing`
// says.
class UpDspThread final : public TThread {
 public:
  explicit UpDspThread(TaskHost& host, TaskClock& clock = RealTaskClock(),
                       DspPacing pacing = DspPacing::PausePerBlock);

 protected:
  void Execute() override;

 private:
  // --- Before the header block: a port failure or a stop ends the task
  // without a word of its own.
  // Flush and wait for the STB's 'C'; false when it did not come.
  bool FirstContact();
  // Opens and measures the chosen file into path_ and size_; false after
  // its box.
  bool OpenFile();

  // --- From the header block on: a port failure ends the task through
  // Fail(). Runs the phases below in order.
  void Transfer();
  // The header block with the file's name and size, until ACK and 'C'.
  bool SendHeaderBlock();
  // The whole file into buffer_; closes the file and sets up the progress bar.
  bool ReadFile();
  // The data blocks, each sent again while the STB asks for it.
  bool SendDataBlocks();
  // One block carrying `carried` bytes from `offset`, sent again while the
  // STB asks for it; false when the task ends.
  bool SendDataBlock(uint8_t blockNumber, int32_t offset, int32_t carried);
  // One send of a block and its reply, as each pacing has them; nothing when
  // the task must end (its ending has been shown).
  std::optional<uint8_t> SendPaced(const ymodem::DataBlock& block);
  std::optional<uint8_t> SendAckDriven(const ymodem::DataBlock& block);
  // EOT until ACK.
  bool EndTransmission();
  // The empty header block that ends the batch; sets closingAcknowledged_.
  bool SendClosingBlock();
  // Releases the buffer, flush, and the finish is reached: confirmed when the
  // closing block was acknowledged.
  void Finish();

  // What a refusal discards before the CANs go out: in the data phase the
  // block's unsent bytes go too.
  enum class Discard { Received, BothBuffers };
  // The STB's two refusals of a block: CAN, answered with three CANs, and
  // SUB. True when `reply` is one of them; its line is logged then, and the
  // task must end.
  bool Refused(uint8_t reply, Discard onCancel, const char* cancelLine, const char* disabledLine);
  // A wait for a reply with the 10-second limit; false when the task must end
  // ("Timeout!!!" logged and the file closed, or the failure box shown).
  bool AwaitReply();
  // Shows the failure box and closes the image file.
  void Fail();
  uint8_t Take();
  uint8_t Peek();

  const DspPacing pacing_;
  // The chosen path, read once.
  std::string path_;
  // The file's length as measured when it was opened.
  int32_t size_ = 0;
  // The whole file, held from the read to the finish.
  std::vector<uint8_t> buffer_;
  // The STB acknowledged the closing block (not 60 sends without an ACK).
  bool closingAcknowledged_ = false;
};
