#include "PeerLine.h"

// winsock2.h goes before windows.h, which would bring in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

// The peer's loop needs a moment between two connections to make the next
// pseudo-terminal; there is no other signal for "ready" than a connect that
// succeeds.
constexpr auto kPeerReadyLimit = std::chrono::seconds(10);
constexpr auto kConnectRetry = std::chrono::milliseconds(20);

struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockSession() { WSACleanup(); }
};

void EnsureWinsock() { static WinsockSession session; }

SOCKET TryConnect(unsigned short port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    return s;
  }
  closesocket(s);
  return INVALID_SOCKET;
}

}  // namespace

PeerLine::PeerLine(const char* portVariable) : socket_(INVALID_SOCKET) {
  EnsureWinsock();
  const char* port = std::getenv(portVariable);
  if (port == nullptr) return;
  const auto number = static_cast<unsigned short>(std::atoi(port));
  const auto deadline = std::chrono::steady_clock::now() + kPeerReadyLimit;
  for (;;) {
    socket_ = TryConnect(number);
    if (socket_ != INVALID_SOCKET || std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(kConnectRetry);
  }
}

PeerLine::~PeerLine() { Close(); }

bool PeerLine::Connected() const { return socket_ != INVALID_SOCKET; }

bool PeerLine::Send(const std::vector<uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int n =
        send(static_cast<SOCKET>(socket_), reinterpret_cast<const char*>(bytes.data() + sent),
             static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::vector<uint8_t> PeerLine::Receive(std::size_t count, std::chrono::milliseconds limit) {
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::vector<char> chunk(65536);
  while (got.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket_), &readable);
    timeval wait{static_cast<long>(left.count() / 1000000),
                 static_cast<long>(left.count() % 1000000)};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) break;
    const int want = static_cast<int>(std::min(chunk.size(), count - got.size()));
    const int n = recv(static_cast<SOCKET>(socket_), chunk.data(), want, 0);
    if (n <= 0) {
      hungUp_ = true;
      break;
    }
    got.insert(got.end(), chunk.begin(), chunk.begin() + n);
  }
  return got;
}

void PeerLine::Close() {
  if (socket_ == INVALID_SOCKET) return;
  closesocket(static_cast<SOCKET>(socket_));
  socket_ = INVALID_SOCKET;
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
