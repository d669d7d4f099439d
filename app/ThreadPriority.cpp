#include "ThreadPriority.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// On Linux the nice value belongs to the thread, named by its id.
id_t ThreadId() { return id_t(::syscall(SYS_gettid)); }
} // namespace

int ThreadNice()
{
    errno = 0;
    return ::getpriority(PRIO_PROCESS, ThreadId());
}

void LowerThreadPriority()
{
    if (ThreadNice() < kLoaderNice)
        ::setpriority(PRIO_PROCESS, ThreadId(), kLoaderNice);
}
