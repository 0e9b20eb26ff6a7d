#include "ImageAdmission.h"

#include <climits>

#include <filesystem>
#include <system_error>

#include "DspPath.h"
#include "Utf8Path.h"
#include "ZarnWords.h"

namespace {

// Both protocols carry a length as a signed 32-bit number: the ZARN header's
// BodySize as the STB holds it, the DSP header's "%ld" size text.
constexpr int64_t kMaxImageLength = INT32_MAX;

}  // namespace

UploadProtocol ProtocolForPath(const std::string& path) {
  return IsDspPath(path) ? UploadProtocol::Dsp : UploadProtocol::Zarn;
}

const ImageLimits& ImageLimitsFor(UploadProtocol protocol) {
  static const ImageLimits zarnLimits{static_cast<int64_t>(zarn::kHeaderSize),
                                      "an image starts with a 64-byte header.", kMaxImageLength,
                                      "an image must be smaller than 2 GiB."};
  static const ImageLimits dspLimits{0, "", kMaxImageLength,
                                     "a DSP file must be smaller than 2 GiB."};
  return protocol == UploadProtocol::Dsp ? dspLimits : zarnLimits;
}

ImageAdmission AdmitImage(ImageFile& file, const std::string& path, UploadProtocol protocol) {
  ImageAdmission admission;
  if (!file.Open(path)) {
    admission.problem = file.LastError();
    admission.refusal = "Cannot open file \"" + path + "\": " + admission.problem;
    return admission;
  }
  const int64_t length = file.Length();
  if (length < 0 || !file.Seek(0)) {
    admission.verdict = ImageAdmission::Verdict::CannotMeasure;
    admission.problem = file.LastError();
    admission.refusal = "Cannot read the length of file \"" + path + "\": " + admission.problem;
    file.Close();
    return admission;
  }
  admission.length = length;
  const ImageLimits& limits = ImageLimitsFor(protocol);
  const auto refuse = [&](ImageAdmission::Verdict verdict, const char* problem,
                          const std::string& reason) {
    admission.verdict = verdict;
    admission.refusal = "File \"" + path + "\" is too " + problem + ": " + std::to_string(length) +
                        " bytes, " + reason;
    file.Close();
    return admission;
  };
  if (length < limits.minimum) {
    return refuse(ImageAdmission::Verdict::TooShort, "short", limits.tooShortReason);
  }
  if (length > limits.maximum) {
    return refuse(ImageAdmission::Verdict::TooLarge, "large", limits.tooLargeReason);
  }
  admission.verdict = ImageAdmission::Verdict::Admitted;
  return admission;
}

bool NamesRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(PathFromUtf8(path), error);
}

ImageAdmission CheckImage(const std::string& path, UploadProtocol protocol) {
  ImageFile file;
  return AdmitImage(file, path, protocol);
}
