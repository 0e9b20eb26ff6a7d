// Gives the calling thread a name that debuggers and `ps -L` show. Each
// operating system has its own facility; the backend file is chosen by CMake.
#pragma once

#include <string>

// Names the calling thread. Returns false when the system refused; callers
// ignore that, since a name only helps debugging.
bool NameCurrentThread(const std::string& name);

// The calling thread's name as the system reports it, "" when unknown.
std::string CurrentThreadName();
