// Which serial devices the port numbers name, and which of them exist. The
// mapping is the operating system's; the backend file is chosen by CMake.
//
// Port numbers on Windows: COM1..COM256 as Windows numbers them, the device
// "\\.\COMn"; a port exists when Windows knows its name (the SERIALCOMM
// device map or a DOS device name), held ports included. No port is opened
// to list it.
//
// Port numbers on Linux:
//   COM1..COM10   /dev/ttyS0..ttyS9 that have a UART behind them (a driver in
//                 sysfs and a known UART type); the phantom ttyS nodes that
//                 every PC has are skipped
//   COM11..COM20  /dev/ttyUSB0..ttyUSB9 (USB serial adapters)
//   COM21..COM30  /dev/ttyACM0..ttyACM9 (USB modems and CDC-ACM boards)
//   COM31..COM50  symbolic links named "COM31".."COM50" in the port link folder;
//                 they point at pseudo-terminals, so that a simulated STB can
//                 be chosen like a real port
// Port link folder: $ZARN_PORT_DIR when set; else
// $XDG_RUNTIME_DIR/zarn-loader/ports when XDG_RUNTIME_DIR is set; else
// /tmp/zarn-loader-<uid>/ports.
//
// Threads: every function may be called from any thread; each looks at the
// system afresh.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TPortInfo {
  uint16_t number;          // the COM number
  std::string path;         // the device (or link) path
  std::string description;  // "FT232R USB UART", "pseudo-terminal", "serial port", ...
};

// The highest port number the system's mapping knows: 50 on Linux, 256 on
// Windows (USB adapters often get numbers above 50 there).
uint16_t HighestPortNumber();

// COM31..COM50: the numbers that name links in the port link folder. The
// simulated STB makes its link with one of them.
inline constexpr uint16_t kFirstLinkPortNumber = 31;
inline constexpr uint16_t kLastLinkPortNumber = 50;

// The ports 1..HighestPortNumber() for which IsPortAvailable is true, in
// number order.
std::vector<TPortInfo> ListPorts();
// The device path that port `n` names, or "" when the number names none.
std::string DeviceForComNumber(uint16_t n);
// Port `n` exists, held ports included.
// - Windows: Windows knows the name "COMn" (the SERIALCOMM device map or a
//   DOS device name); nothing is opened.
// - Linux: the device node (or link) exists and is a terminal that is free,
//   held by another program or closed to this user; a free device is opened
//   briefly (without changing its settings) to find that out.
bool IsPortAvailable(uint16_t n);
// The port number that names `path` (a device or one of the links), if any.
std::optional<uint16_t> ComNumberForDevice(const std::string& path);
// The folder of COM31..COM50 links (not created here); "" on Windows, which
// has no such links.
std::string PortLinkFolder();
