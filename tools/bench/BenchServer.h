#pragma once
// The arguments the worker benchmarks share: PORT USER PASSWORD ROOT (and,
// for some, one more) after the program's name. The server is 127.0.0.1 in
// passive mode, over the settings the program reads (CALDRIS_INI names the
// file, e.g. "Connections" in "FTP").
#include "TCatalogue.h"
#include "TProfile.h"
#include "ToolOptions.h"

#include <cstdio>
#include <cstdlib>

// -1 to go on with catalogue set up; else the exit status (help, version, usage).
inline int ReadServerArguments(int argc, char** argv, int count, const char* usage, TCatalogue& catalogue)
{
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    if (argc != count) {
        std::fputs(usage, stderr);
        return 2;
    }
    catalogue.Settings.ReadFrom(TProfile::Default());
    catalogue.Settings.Host = "127.0.0.1";
    catalogue.Settings.Port = std::atoi(argv[1]);
    catalogue.Settings.Passive = true;
    catalogue.Settings.User = argv[2];
    catalogue.Settings.Password = argv[3];
    catalogue.RootFolder = argv[4];
    return -1;
}
