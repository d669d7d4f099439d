#pragma once
// The options every tool answers the same way: --help (or -h) prints the
// usage on standard output and ends with 0; any other argument that starts
// with "-" is an unknown option (usage on standard error, 2), so that no
// option is ever taken for a folder or file name.
#include <cstdio>
#include <cstring>

// -1: go on with the arguments; otherwise the exit status to end with.
inline int AnswerToolOptions(int argc, char** argv, const char* usage)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0' && !(argv[i][1] >= '0' && argv[i][1] <= '9')) {
            std::fprintf(stderr, "unknown option %s\n%s", argv[i], usage);
            return 2;
        }
    }
    return -1;
}
