#include "../LocalTime.h"

// The C runtime's localtime_s: arguments in the other order from C11's, and a
// zero return on success.
bool ToLocalTime(std::time_t when, std::tm& local) { return localtime_s(&local, &when) == 0; }
