// The program's entry: brings up the application with its title, creates the
// main window Form1, runs the event loop until the window has closed, and
// returns 0. A failure that escapes the start-up or the loop is shown by the
// exception display before the entry returns 0 all the same.
//
// Threads: the process's main thread, which becomes the GUI thread.
#pragma once

// The tool takes no command-line arguments; `argv0` only names the program.
int RunApplication(char* argv0);
