// The name of this computer, for the upload record (which bench flashed the
// unit). The backend file is chosen by CMake per operating system.
//
// Safe from any thread.
#pragma once

#include <string>

// The host name in UTF-8; "" when the system does not say.
std::string ThisHostName();
