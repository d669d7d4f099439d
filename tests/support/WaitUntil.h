#pragma once
// Serves the UI thread's event loop (and so the workers' synchronised
// calls) until done() holds; false when ms milliseconds passed first.
#include <functional>

bool WaitUntil(const std::function<bool()>& done, int ms = 20000);
