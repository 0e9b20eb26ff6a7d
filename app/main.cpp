#include "RunApplication.h"

int main(int /*argc*/, char** argv) { return RunApplication(argv[0]); }
