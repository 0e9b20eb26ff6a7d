#include "UploadTaskFactory.h"

TThread* StartedUpload::Task() const {
  if (dspTask != nullptr) return dspTask;
  return zarnTask;
}

DspPacing DspPacingFor(bool fastTransfer) {
  return fastTransfer ? DspPacing::AckDriven : DspPacing::PausePerBlock;
}

StartedUpload StartUploadTask(TaskHost& host, UploadProtocol protocol, bool fastDspTransfer,
                              TaskClock& clock) {
  StartedUpload started;
  if (protocol == UploadProtocol::Dsp) {
    started.dspTask = new UpDspThread(host, clock, DspPacingFor(fastDspTransfer));
  } else {
    started.zarnTask = new UpThread(host, clock);
  }
  return started;
}
