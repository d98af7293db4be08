#pragma once

#include <cstdio>

/// True when the stream shows on a terminal, where a line can be redrawn in place.
bool isTerminal(std::FILE *stream);
