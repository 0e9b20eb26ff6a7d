// A console's input cannot be watched by the event loop's socket notifier on
// Windows; reading it needs a thread of its own (ReadConsoleW, cancelled at
// the end). Until that is written the console station on Windows takes no
// operator input: loop mode re-arms by the quiet line alone.
#include "../OperatorInput.h"

struct OperatorInput::Reader {};

OperatorInput::OperatorInput(std::function<void(const std::string& line)>) {}

OperatorInput::~OperatorInput() = default;
