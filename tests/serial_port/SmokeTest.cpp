#include <gtest/gtest.h>

#include "Adport.h"
#include "PtyPair.h"

TEST(Smoke, RoundTrip) {
  PtyPair pty;
  TApdComPort port;
  port.SetDevicePath(pty.SlavePath());
  port.SetAutoOpen(false);
  port.SetBaud(115200);
  port.SetOpen(true);
  ASSERT_TRUE(port.Open());
  pty.Send("hello");
  std::string got;
  for (int i = 0; i < 100 && port.InBuffUsed() < 5; ++i) port.WaitForInput(std::chrono::milliseconds(20));
  char buf[5];
  ASSERT_EQ(port.GetBlock(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  port.PutBlock("world", 5);
  auto back = pty.Receive(5, std::chrono::seconds(2));
  EXPECT_EQ(std::string(back.begin(), back.end()), "world");
  port.SetOpen(false);
  EXPECT_FALSE(port.Open());
}
