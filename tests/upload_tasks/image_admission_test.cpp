// Which files an upload accepts: the rule on its own for both protocols, and
// both task kinds, started through the factory as every front end starts
// them, refusing the same files with the rule's own words before anything
// is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "AdmissionCases.h"
#include "Adport.h"
#include "FakeTaskHost.h"
#include "ImageAdmission.h"
#include "PortSetup.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "Unit2.h"
#include "UploadTaskFactory.h"

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using Param = std::tuple<AdmissionCase, UploadProtocol>;

std::string ParamName(const testing::TestParamInfo<Param>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == UploadProtocol::Dsp ? "_Dsp" : "_Zarn");
}

// --- The rule.

class AdmissionRule : public testing::TestWithParam<Param> {
 protected:
  TempDir folder_{"zarn_admission"};
};

TEST_P(AdmissionRule, AdmitsOrRefusesWithWordsThatNameThePathAndTheProblem) {
  const auto& [row, protocol] = GetParam();
  const std::string path = row.make(folder_, ExtensionFor(protocol));
  ImageFile file;
  const ImageAdmission admission = AdmitImage(file, path, protocol);
  EXPECT_EQ(admission.verdict, row.For(protocol));
  EXPECT_EQ(admission.Openable(), row.For(protocol) != ImageAdmission::Verdict::CannotOpen);
  if (admission.Admitted()) {
    EXPECT_TRUE(admission.refusal.empty()) << admission.refusal;
    EXPECT_TRUE(file.IsOpen());
    char first = 0;
    // The position is back at the start.
    EXPECT_EQ(file.Read(&first, 1), admission.length > 0 ? 1 : 0);
    EXPECT_EQ(admission.length, std::filesystem::file_size(path));
    return;
  }
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NE(admission.refusal.find("\"" + path + "\""), std::string::npos) << admission.refusal;
  EXPECT_NE(admission.refusal.find(row.words), std::string::npos) << admission.refusal;
  if (!admission.Openable()) {
    EXPECT_EQ(admission.refusal, "Cannot open file \"" + path + "\": " + admission.problem);
    EXPECT_EQ(admission.length, -1);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, AdmissionRule,
                         testing::Combine(testing::ValuesIn(AdmissionCases()),
                                          testing::Values(UploadProtocol::Zarn,
                                                          UploadProtocol::Dsp)),
                         ParamName);

TEST(AdmissionRule, ProtocolComesFromTheName) {
  EXPECT_EQ(ProtocolForPath("dir/a.dsp"), UploadProtocol::Dsp);
  EXPECT_EQ(ProtocolForPath("a.DSP.bak"), UploadProtocol::Zarn);
  EXPECT_EQ(ProtocolForPath("a.zarn"), UploadProtocol::Zarn);
}

// --- The tasks: each kind shows the rule's refusal as its "File Error" box
// once the STB has answered, and sends nothing.

class TaskRefusesTheFile : public testing::TestWithParam<Param> {
 protected:
  void TearDown() override {
    EXPECT_TRUE(host_.RunUntilTaskEnds(30s));
    EXPECT_FALSE(TaskRunning.load());
  }

  TempDir folder_{"zarn_admission_task"};
  TApdComPort port_;
  FakeTaskHost host_{port_};
};

TEST_P(TaskRefusesTheFile, WithTheRulesWordsBeforeAnythingIsSent) {
  const auto& [row, protocol] = GetParam();
  const std::string path = row.make(folder_, ExtensionFor(protocol));
  const std::string refusal = CheckImage(path, protocol).refusal;
  ASSERT_FALSE(refusal.empty());

  stbsim::SimOptions options;
  options.mode = protocol == UploadProtocol::Dsp ? stbsim::SimMode::Dsp : stbsim::SimMode::Zarn;
  options.greetInterval = 0ms;
  options.cInterval = std::chrono::hours(1);  // one 'C' at first contact
  options.loop = false;
  stbsim::StbSimulator sim(options);
  OpenPortOn(port_, sim.SlavePath());
  host_.SetChosenPath(path);

  StartUploadTask(host_, protocol, false);
  // The STB starts once the task has emptied the port.
  ASSERT_TRUE(host_.PumpUntil([&] { return !host_.Log().empty() || !TaskRunning.load(); }));
  sim.Start();
  ASSERT_TRUE(host_.RunUntilTaskEnds(30s));

  const Strings expectedLog = protocol == UploadProtocol::Dsp
                                  ? Strings{"Waiting for STB...", "connection established!!!",
                                            "Download task terminated!!!"}
                                  : Strings{"Waiting for STB...", "Upload task terminated!!!"};
  EXPECT_EQ(host_.Log(), expectedLog);
  EXPECT_EQ(host_.Boxes(), (std::vector<FakeTaskHost::Box>{{refusal, "File Error"}}));
  EXPECT_EQ(sim.Snapshot().bytesReceived, 0);
  EXPECT_EQ(host_.EndedAs(), std::optional<TaskEnd>(TaskEnd::Early));
  EXPECT_FALSE(TheImageFile().IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Table, TaskRefusesTheFile, testing::ValuesIn(RefusedAdmissionCases()),
                         ParamName);

}  // namespace
