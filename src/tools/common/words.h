#pragma once

#include <string>
#include <vector>

/// Splits a command line into words the way psftp splits the lines of its batch files, so that
/// one way of writing a value serves every client that reads our generated files:
/// - blanks and tabs separate words, except between double quotes;
/// - a lone double quote starts or ends a quoted stretch and is removed; a stretch still open at
///   the end of the line runs to the end;
/// - two double quotes in a row stand for one literal double quote, inside or outside a quoted
///   stretch, and are always read as a pair from the left: `""""` is two quotes, not a quoted one;
/// - a backslash is an ordinary character.
/// A value V is thus written as `"` + V with each `"` doubled + `"`, except a value made of
/// nothing but double quotes, which is written as its doubled quotes alone. Only a lone double
/// quote at the very end of a line gives an empty word.
std::vector<std::string> splitWords(const std::string &line);
