#include "../LocalTime.h"

bool ToLocalTime(std::time_t when, std::tm& local) { return localtime_r(&when, &local) != nullptr; }
