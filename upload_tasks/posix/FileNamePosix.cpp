// The file name of a path on Linux: what follows its last '/'.
#include "YmodemBlocks.h"

namespace ymodem {

std::string_view NameWithoutDirectory(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace ymodem
