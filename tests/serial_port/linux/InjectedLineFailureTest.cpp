// Connect on a line whose settings the device refuses. The program replaces
// tcsetattr (a definition in the executable comes before the C library's), so
// that a chosen call fails with a chosen errno while every other call goes to
// the real one; it is a test program of its own so that no other test runs
// with the replacement.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "Adport.h"
#include "PortSetup.h"
#include "PtyPair.h"

namespace {

// Which tcsetattr call from the arming on fails (1 = the next), and with what.
std::atomic<int> gFailingCall{0};
std::atomic<int> gFailingErrno{0};
std::atomic<int> gCallsSinceArmed{0};

using TcsetattrFunction = int (*)(int, int, const termios*);

TcsetattrFunction RealTcsetattr() {
  static const auto real = reinterpret_cast<TcsetattrFunction>(dlsym(RTLD_NEXT, "tcsetattr"));
  return real;
}

// Makes the `call`-th tcsetattr from now on fail with `error`, for its life.
class InjectedFailure {
 public:
  InjectedFailure(int call, int error) {
    gCallsSinceArmed = 0;
    gFailingErrno = error;
    gFailingCall = call;
  }
  ~InjectedFailure() { gFailingCall = 0; }
  InjectedFailure(const InjectedFailure&) = delete;
  InjectedFailure& operator=(const InjectedFailure&) = delete;
  int Calls() const { return gCallsSinceArmed; }
};

}  // namespace

extern "C" int tcsetattr(int fd, int action, const termios* settings) {
  if (gFailingCall != 0 && ++gCallsSinceArmed == gFailingCall) {
    errno = gFailingErrno;
    return -1;
  }
  return RealTcsetattr()(fd, action, settings);
}

namespace {

struct RefusedCase {
  const char* name;
  int call;   // 1: the open's raw setup; 2: the first store of the line settings
  int error;  // the errno tcsetattr fails with
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedLine : public testing::TestWithParam<RefusedCase> {};

// The failure carries its own number and the system's text for it. Before,
// the store's EIO (5) came out as "device already open", ENOENT (2) as
// "comport doesn't exist" and ENXIO (6) as "Invalid file handle".
TEST_P(RefusedLine, ConnectRaisesTheSystemsOwnTextAndLeavesThePortClosed) {
  const RefusedCase& c = GetParam();
  ASSERT_NE(RealTcsetattr(), nullptr);
  PtyPair pty;
  TApdComPort port;
  ConfigureLikeMainWindow(port, pty.SlavePath());
  {
    InjectedFailure failure(c.call, c.error);
    try {
      port.SetOpen(true);
      FAIL() << "the open went through";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, c.error);
      EXPECT_STREQ(e.what(), strerrordesc_np(c.error));
    }
    EXPECT_GE(failure.Calls(), c.call);  // the failing call was made
  }
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.PortState(), psClosed);
  EXPECT_EQ(port.Dispatcher(), nullptr);
  // Nothing is left holding the device.
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Calls, RefusedLine,
    testing::Values(RefusedCase{"OpenEIO", 1, EIO}, RefusedCase{"StoreEIO", 2, EIO},
                    RefusedCase{"StoreENOENT", 2, ENOENT}, RefusedCase{"StoreENXIO", 2, ENXIO},
                    RefusedCase{"StoreEBUSY", 2, EBUSY}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });
// clang-format on

}  // namespace
