// Port links on Windows: none. A COM port there is Windows' own name, and
// the simulator plays on one (--com) instead of on a pseudo-terminal that a
// link would have to name.
#include "PortLink.h"

namespace stbsim {

PortLink CreatePortLink(const std::string&, const std::string&) { return {}; }

void RemovePortLink(const PortLink&, const std::string&) {}

}  // namespace stbsim
