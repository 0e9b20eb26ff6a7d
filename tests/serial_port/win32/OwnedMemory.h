// Which heap memory the program still owns. The test program that links
// OwnedMemory.cpp replaces operator new and delete: every block is recorded,
// and a deleted block is kept (never handed out again) and marked freed, so
// that a late write by the driver double can be checked before it is made.
//
// Threads: any.
#pragma once

#include <cstddef>

// Whether [address, address + length) lies inside one block that operator
// new handed out and nobody has deleted yet. False for memory that never came
// from operator new (the stack, static data).
bool IsOwnedHeapMemory(const void* address, std::size_t length);
