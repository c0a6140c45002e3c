#include "platform/Terminal.h"

#include <windows.h>

namespace Terminal {

namespace {

HANDLE handle(Stream stream)
{
    return ::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

} // namespace

bool isTerminal(Stream stream)
{
    DWORD mode = 0;
    return ::GetConsoleMode(handle(stream), &mode) != 0;
}

int width(Stream stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(handle(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool errorIsJournal()
{
    return false;
}

} // namespace Terminal
