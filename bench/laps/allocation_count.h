#pragma once
// Counts the program's allocations: the global operator new is replaced in
// allocation_count.cpp, a file of its own so that no caller sees its body.
long allocationCount();
