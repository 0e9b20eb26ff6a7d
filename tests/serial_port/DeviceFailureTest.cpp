// One table of device failures for every system: the situations a device call
// meets read as the same kinds on Linux and on Windows (the numbers come from
// SystemFailureCodes.cpp of each system), and each kind is raised the one way
// the component raises it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

#include "DeviceErrors.h"
#include "DeviceFailure.h"
#include "RingEngine.h"
#include "SystemFailureCodes.h"

// Beside SystemCode, where the test's parameter printing looks for it.
void PrintTo(const SystemCode& c, std::ostream* os) {
  *os << c.name << (c.stage == Stage::Open ? " at open" : " on an open device");
}

namespace {

const std::map<Situation, TDeviceFailureKind>& KindOf() {
  static const std::map<Situation, TDeviceFailureKind> kinds{
      {Situation::DeviceMissing, TDeviceFailureKind::NoDevice},
      {Situation::FolderMissing, TDeviceFailureKind::NoPath},
      {Situation::NoSerialDevice, TDeviceFailureKind::NoDevice},
      {Situation::NoHandleLeft, TDeviceFailureKind::TooManyOpen},
      {Situation::HeldByAnother, TDeviceFailureKind::Held},
      {Situation::NotAllowed, TDeviceFailureKind::PermissionDenied},
      {Situation::OutOfMemory, TDeviceFailureKind::OutOfMemory},
      {Situation::HandleClosed, TDeviceFailureKind::NotOpen},
      {Situation::LineGone, TDeviceFailureKind::HungUp},
      {Situation::SettingRefused, TDeviceFailureKind::Refused},
  };
  return kinds;
}

// What every system must be able to report, at which stage.
const std::vector<std::pair<Situation, Stage>>& EverySystemReports() {
  static const std::vector<std::pair<Situation, Stage>> reports{
      {Situation::DeviceMissing, Stage::Open},  {Situation::FolderMissing, Stage::Open},
      {Situation::NoSerialDevice, Stage::Open}, {Situation::NoHandleLeft, Stage::Open},
      {Situation::HeldByAnother, Stage::Open},  {Situation::NotAllowed, Stage::Open},
      {Situation::OutOfMemory, Stage::Open},    {Situation::OutOfMemory, Stage::Call},
      {Situation::HandleClosed, Stage::Open},   {Situation::HandleClosed, Stage::Call},
      {Situation::LineGone, Stage::Call},       {Situation::SettingRefused, Stage::Open},
      {Situation::SettingRefused, Stage::Call},
  };
  return reports;
}

class SystemNumbers : public testing::TestWithParam<SystemCode> {};

TEST_P(SystemNumbers, ReadAsTheSituationsKindAndKeepTheirNumber) {
  const SystemCode& c = GetParam();
  const TDeviceFailure failure =
      c.stage == Stage::Open ? OpenFailureFor(c.code) : CallFailureFor(c.code);
  EXPECT_EQ(failure.kind, KindOf().at(c.situation));
  EXPECT_EQ(failure.systemCode, c.code);
}

INSTANTIATE_TEST_SUITE_P(ThisSystem, SystemNumbers, testing::ValuesIn(SystemCodes()));

TEST(SystemNumbers, EverySituationIsReportedOrSaidToBeUntold) {
  const std::vector<SystemCode> codes = SystemCodes();
  const std::vector<UntoldSituation> untold = UntoldSituations();
  for (const auto& [situation, stage] : EverySystemReports()) {
    const bool reported = std::any_of(codes.begin(), codes.end(), [&](const SystemCode& c) {
      return c.situation == situation && c.stage == stage;
    });
    const bool said = std::any_of(untold.begin(), untold.end(), [&](const UntoldSituation& u) {
      return u.situation == situation && u.stage == stage;
    });
    EXPECT_NE(reported, said) << "situation " << static_cast<int>(situation) << " stage "
                              << static_cast<int>(stage);
  }
}

TEST(SystemNumbers, SuccessIsNoFailure) {
  EXPECT_FALSE(OpenFailureFor(0).Failed());
  EXPECT_FALSE(CallFailureFor(0).Failed());
}

// ------------------------------------------------------- raised failures

struct Raised {
  std::string className;
  int errorCode = 0;
  std::string message;
};

Raised Raise(const TDeviceFailure& failure) {
  try {
    RaiseDeviceFailure(nullptr, failure);
  } catch (const EAPDException& e) {
    return {e.ClassName(), e.ErrorCode, e.what()};
  } catch (const EInOutError& e) {
    return {e.ClassName(), e.ErrorCode, e.what()};
  } catch (const Exception& e) {
    return {e.ClassName(), 0, e.what()};
  }
  return {"nothing", 0, ""};
}

struct RaiseCase {
  TDeviceFailure failure;
  const char* className;
  int errorCode;
  std::string message;
};

void PrintTo(const RaiseCase& c, std::ostream* os) {
  *os << "kind " << static_cast<int>(c.failure.kind) << " number " << c.failure.systemCode;
}

class RaisedAs : public testing::TestWithParam<RaiseCase> {};

TEST_P(RaisedAs, TheComponentsClassCodeAndMessage) {
  const RaiseCase& c = GetParam();
  const Raised raised = Raise(c.failure);
  EXPECT_EQ(raised.className, c.className);
  EXPECT_EQ(raised.errorCode, c.errorCode);
  EXPECT_EQ(raised.message, c.message);
  const TComponentFailure described = ComponentFailureFor(c.failure);
  EXPECT_EQ(described.message, c.message);
}

const std::string kGeneralFailure = "General failure";
const std::string kGenericFailure = "Klest exception";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EverySystem, RaisedAs,
    testing::Values(
        RaiseCase{{TDeviceFailureKind::NoDevice, 2}, "EBadId", ecBadId,
                  "ie_BadId - Specified comport doesn't exist"},
        RaiseCase{{TDeviceFailureKind::NoPath, 3}, "EBadId", ecBadId,
                  "ie_BadId - Specified comport doesn't exist"},
        RaiseCase{{TDeviceFailureKind::NoDevice, 0}, "EBadId", ecBadId,
                  "ie_BadId - Specified comport doesn't exist"},
        RaiseCase{{TDeviceFailureKind::Held, 5}, "EAlreadyOpen", ecAlreadyOpen,
                  "ie_Open - device already open"},
        RaiseCase{{TDeviceFailureKind::Held, 16}, "EAlreadyOpen", ecAlreadyOpen,
                  "ie_Open - device already open"},
        RaiseCase{{TDeviceFailureKind::PermissionDenied, 13}, "EPermissionDenied",
                  ecPermissionDenied, MessageNumberToString(-ecPermissionDenied)},
        RaiseCase{{TDeviceFailureKind::OutOfMemory, 12}, "EOutOfMemory", 0, "Out of memory"},
        RaiseCase{{TDeviceFailureKind::TooManyOpen, 24}, "EInOutError", 4, "Too many open files"},
        RaiseCase{{TDeviceFailureKind::NotOpen, 9}, "EInOutError", 6, "Invalid file handle"},
        RaiseCase{{TDeviceFailureKind::BadArgument, 0}, "EAPDException", 0, kGenericFailure},
        // Numbers that no system's text explains the same way.
        RaiseCase{{TDeviceFailureKind::Refused, 0}, "EInOutError", 162, kGeneralFailure},
        RaiseCase{{TDeviceFailureKind::Refused, 2001}, "EInOutError", 162, kGeneralFailure},
        RaiseCase{{TDeviceFailureKind::HungUp, 13868}, "EInOutError", 162, kGeneralFailure},
        RaiseCase{{TDeviceFailureKind::Refused, 40000}, "EAPDException", 0, kGenericFailure}));
// clang-format on

std::vector<RaiseCase> ThisSystemsRaises() {
  std::vector<RaiseCase> cases;
  for (const RaisedSystemFailure& r : RaisedSystemFailures()) {
    cases.push_back({r.failure, r.className, r.errorCode, r.message});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(ThisSystem, RaisedAs, testing::ValuesIn(ThisSystemsRaises()));

TEST(RaisedAs, NoFailureRaisesNothing) {
  EXPECT_NO_THROW(RaiseDeviceFailure(nullptr, kNoDeviceFailure));
  EXPECT_EQ(ComponentFailureFor(kNoDeviceFailure).code, 0);
}

// ------------------------------------------------ through the engine's open

TEST(EngineOpen, ALineStoreTheDeviceRefusesEndsTheOpenWithTheDevicesFailure) {
  for (const SystemCode& c : SystemCodes()) {
    if (c.stage != Stage::Call || c.situation != Situation::LineGone) continue;
    RingEngine engine(64);
    engine.refuseStores = CallFailureFor(c.code);
    EXPECT_EQ(engine.OpenLine(0, 115200), engine.refuseStores) << c.name;
    EXPECT_EQ(engine.stores, 1) << c.name;
    // Released again: no ring is left to take bytes.
    EXPECT_EQ(engine.OutBuffFree(), 0u) << c.name;
  }
}

}  // namespace
