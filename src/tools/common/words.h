#pragma once

#include <string>
#include <vector>

/// Splits a command line into words at blanks and tabs; double quotes group words (a blank inside
/// them is part of the word) and are removed. `""` gives an empty word.
std::vector<std::string> splitWords(const std::string &line);
