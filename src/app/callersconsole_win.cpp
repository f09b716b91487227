#include "callersconsole.h"

#include <qt_windows.h>

#include <cstdio>

void answerInCallersConsole()
{
    if (!GetStdHandle(STD_OUTPUT_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}
