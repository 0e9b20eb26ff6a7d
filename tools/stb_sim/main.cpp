// zarn-stb-sim: the simulated STB as a program, for trying the tool without
// hardware and for tests that drive it as a separate process.
#include <cstdio>
#include <string>
#include <vector>

#include "ProgramArguments.h"
#include "SimArgs.h"
#include "StbSimulator.h"
#include "StopRequests.h"

namespace {

// How often the main thread looks for a stop request while it waits for the
// simulator: a signal handler may not touch the simulator's lock itself.
constexpr std::chrono::milliseconds kSignalCheck{200};

}  // namespace

int main(int argc, char** argv) {
  // UTF-8 words (on Windows from the UTF-16 command line, so that a --save
  // path outside the ANSI code page arrives whole).
  const stbsim::SimCommand command =
      stbsim::ParseSimArgs(ReadProgramArguments(argc, argv).arguments);
  if (command.help) {
    std::fputs(stbsim::kSimUsage, stdout);
    return 0;
  }
  if (!command.error.empty()) {
    std::fprintf(stderr, "zarn-stb-sim: %s\n%s", command.error.c_str(), stbsim::kSimUsage);
    return 2;
  }
  stbsim::WatchStopRequests();

  try {
    stbsim::StbSimulator sim(command.options);
    std::printf("device: %s\n", sim.SlavePath().c_str());
    if (!sim.PortName().empty())
      std::printf("port: %s\n", sim.PortName().c_str());
    else if (command.options.makePortLink)
      std::printf("port: none (no free COM31..COM50 link)\n");
    std::fflush(stdout);
    if (!command.quiet)
      sim.SetEventEcho([](const std::string& text) {
        std::printf("event: %s\n", text.c_str());
        std::fflush(stdout);
      });
    sim.Start();

    int saved = 0;
    while (!stbsim::StopRequested()) {
      int finished = 0;
      bool running = true;
      sim.WaitFor(
          [&](const stbsim::SimRecord& record) {
            finished = record.finishedUploads;
            running = record.running;
            return finished > saved || !running;
          },
          kSignalCheck);
      if (finished > saved) {
        saved = finished;
        if (!command.savePath.empty()) {
          // The saved bytes of a .DSP transfer lack the name it came with.
          const stbsim::UploadRecord upload = sim.LastUpload();
          if (upload.mode == stbsim::SimMode::Dsp)
            std::printf("name: %s\n", upload.dspName.c_str());
          if (sim.SaveLastImage(command.savePath))
            std::printf("saved: %s\n", command.savePath.c_str());
          else
            std::fprintf(stderr, "zarn-stb-sim: cannot write %s\n", command.savePath.c_str());
          std::fflush(stdout);
        }
      }
      if (!running) break;
    }
    sim.Stop();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zarn-stb-sim: %s\n", error.what());
    return 1;
  }
  return 0;
}
