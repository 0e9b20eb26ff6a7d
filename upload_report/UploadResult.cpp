#include "UploadResult.h"

UploadResult ResultFor(TaskEnd end) {
  switch (end) {
    case TaskEnd::Confirmed: return UploadResult::Confirmed;
    case TaskEnd::Unconfirmed: return UploadResult::Unconfirmed;
    case TaskEnd::FlashError: return UploadResult::FlashError;
    case TaskEnd::Early: break;
  }
  return UploadResult::Failed;
}

std::string ResultText(UploadResult result) {
  switch (result) {
    case UploadResult::Confirmed: return "confirmed";
    case UploadResult::Unconfirmed: return "unconfirmed";
    case UploadResult::FlashError: return "flash error";
    case UploadResult::Failed: break;
  }
  return "failed";
}

int ExitStatusFor(TaskEnd end) {
  switch (end) {
    case TaskEnd::Confirmed: return kExitFinished;
    case TaskEnd::Unconfirmed: return kExitUnconfirmed;
    case TaskEnd::Early:
    case TaskEnd::FlashError: break;
  }
  return kExitEndedEarly;
}
