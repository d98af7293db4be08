#pragma once

#include <string>

/// True when standard input is a terminal, where the user's typing is echoed already.
bool standardInputIsTerminal();

/// Reads one line from standard input without the line end; a terminal does not show what is
/// typed when `hidden` is set. False at end of input.
bool readInputLine(std::string *line, bool hidden);
