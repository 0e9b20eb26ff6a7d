// The "COM<n>" name under which the tool's port list shows the simulator: a
// symbolic link in the port link folder that points at the pseudo-terminal.
//
// The folder is the serial layer's PortLinkFolder() and the numbers its
// kFirstLinkPortNumber..kLastLinkPortNumber (PortList.h), so the port list
// finds the link; missing folders are created with mode 0700.
//
// Threads: any; the link itself is shared with other processes, so creation
// tries the numbers in turn and takes the first it can create.
#pragma once

#include <string>

namespace stbsim {

struct PortLink {
  std::string name;  // "COM31"
  std::string path;  // the link's full path
};

// Creates the link "COM<n>" to `target` with the lowest free n in 31..50 (a
// link whose target is gone counts as free and is replaced). Returns an empty
// PortLink when the folder cannot be made or every number is taken.
PortLink CreatePortLink(const std::string& target, const std::string& folder);

// Removes the link when it still points at `target`.
void RemovePortLink(const PortLink& link, const std::string& target);

}  // namespace stbsim
