#include "tools/ftp/command_source.h"

#include "tools/ftp/console_input.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

bool readScriptLines(const std::string &path, std::vector<std::string> *lines, std::string *error)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        *error = "Error opening script file " + path + ": it is a directory.";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "Error opening script file " + path + ": " + std::strerror(errno) + ".";
        return false;
    }
    std::vector<std::string> result;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        result.push_back(line);
    }
    if (file.bad()) {
        *error = "Error reading script file " + path + ": " + std::strerror(errno) + ".";
        return false;
    }
    *lines = std::move(result);
    return true;
}

CommandSource::CommandSource(std::vector<std::string> scriptLines)
    : m_scriptLines(std::move(scriptLines))
{
}

std::optional<InputLine> CommandSource::next(bool hidden)
{
    if (m_next < m_scriptLines.size())
        return InputLine{m_scriptLines[m_next++], true};
    std::string text;
    if (!readInputLine(&text, hidden))
        return std::nullopt;
    return InputLine{text, false};
}
