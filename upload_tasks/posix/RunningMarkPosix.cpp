// Linux replaces a running program's files safely: no mark is needed.
#include "../RunningMark.h"

bool MarkProgramRunning() { return true; }
