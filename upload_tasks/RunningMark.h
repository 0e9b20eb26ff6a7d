// A mark that this suite's programs hold while they run, so that the Windows
// installer and uninstaller can tell that a copy is running before they
// replace or remove its files (which Windows would refuse half-way, leaving
// a mixed installation). On other systems files in use can be replaced and
// nothing is marked.
//
// Threads: call once from the main thread at start; the mark lasts until the
// process ends.
#pragma once

// The name of the mark on Windows: a named mutex in the global namespace, so
// that a copy in another user's session counts too. The installer script
// (packaging/windows/installer.nsi) names it the same way.
inline constexpr wchar_t kRunningMarkName[] = L"Global\\ZARN-Multi-Loader-running";

// Sets the mark for the rest of the process's life. Returns false when the
// system refused (the program runs on all the same).
bool MarkProgramRunning();
