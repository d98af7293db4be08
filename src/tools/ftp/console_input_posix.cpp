#include "tools/ftp/console_input.h"

#include <iostream>
#include <termios.h>
#include <unistd.h>

bool standardInputIsTerminal()
{
    return isatty(STDIN_FILENO) == 1;
}

bool readInputLine(std::string *line, bool hidden)
{
    termios saved{};
    const bool masking =
        hidden && standardInputIsTerminal() && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (masking) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool read = static_cast<bool>(std::getline(std::cin, *line));
    if (masking) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        // The Enter key was not echoed either.
        std::cout << '\n';
    }
    if (read && !line->empty() && line->back() == '\r')
        line->pop_back();
    return read;
}
