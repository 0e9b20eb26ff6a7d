// The one place that decides which task an upload gets: Send in the window,
// zarn-upload and the campaign all start their tasks here, so a new front end
// cannot choose differently.
//
// Main thread only (a task is created on the thread that later runs its
// termination notice; see TaskThread.h).
#pragma once

#include "ImageAdmission.h"
#include "TaskClock.h"
#include "TaskHost.h"
#include "Unit2.h"

// The task Send started, under the handle of its kind: exactly one of the two
// is set. Like any task handle it is valid only while TaskRunning is true.
struct StartedUpload {
  UpThread* zarnTask = nullptr;
  UpDspThread* dspTask = nullptr;

  TThread* Task() const;
};

// The pacing a .DSP upload gets: the fast transfer when asked for.
DspPacing DspPacingFor(bool fastTransfer);

// Creates and starts the task for `protocol`: an UpThread for a ZARN image,
// an UpDspThread paced by `fastDspTransfer` for a .DSP file (a ZARN image has
// no fast transfer; the flag is ignored for it). Raises what the task's
// construction raises (std::system_error when no thread can be created).
StartedUpload StartUploadTask(TaskHost& host, UploadProtocol protocol, bool fastDspTransfer,
                              TaskClock& clock = RealTaskClock());
