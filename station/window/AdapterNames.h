// The names of the adapters behind the station's ports ("FT232R USB UART"),
// as the system lists its ports; "" for a port it does not list.
// Looks at the system afresh; any thread.
#pragma once

#include <QString>
#include <string>
#include <vector>

std::vector<QString> AdapterNames(const std::vector<std::string>& ports);
