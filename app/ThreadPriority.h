#pragma once
// The loader's threads run below the UI thread: on Linux a thread priority
// given to QThread has no effect, so the thread's nice value is raised.
//
// Threads: called by the thread whose priority is lowered.

// The nice value the loader's threads run at.
constexpr int kLoaderNice = 10;

// Raises the calling thread's nice value to kLoaderNice (never lowers it).
void LowerThreadPriority();
// The calling thread's nice value.
int ThreadNice();
