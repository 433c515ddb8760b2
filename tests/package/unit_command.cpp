#include "package/unit_command.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

namespace {

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string withSpecifiers(const std::string& value, const std::string& instance) {
  std::string result;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%' || i + 1 == value.size()) {
      result += value[i];
      continue;
    }
    const char specifier = value[++i];
    if (specifier == 'i' || specifier == 'I')
      result += instance;
    else if (specifier == '%')
      result += '%';
    else
      ADD_FAILURE() << "the test knows no specifier %" << specifier << " in " << value;
  }
  return result;
}

bool isNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

}  // namespace

std::vector<std::string> serviceValues(const std::string& unit, const std::string& key,
                                       const std::string& instance) {
  std::vector<std::string> values;
  std::istringstream lines(unit);
  bool inService = false;
  for (std::string line; std::getline(lines, line);) {
    line = trimmed(line);
    if (line.empty() || line[0] == '#' || line[0] == ';')
      continue;
    if (line[0] == '[') {
      inService = line == "[Service]";
      continue;
    }
    const auto equals = line.find('=');
    if (inService && equals != std::string::npos && trimmed(line.substr(0, equals)) == key)
      values.push_back(withSpecifiers(trimmed(line.substr(equals + 1)), instance));
  }
  return values;
}

Environment readEnvironmentFile(const std::string& content) {
  Environment variables;
  std::istringstream lines(content);
  for (std::string line; std::getline(lines, line);) {
    line = trimmed(line);
    const auto equals = line.find('=');
    if (line.empty() || line[0] == '#' || line[0] == ';' || equals == std::string::npos)
      continue;
    std::string value = trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    variables[trimmed(line.substr(0, equals))] = value;
  }
  return variables;
}

std::vector<std::string> commandLine(const std::string& execStart, const Environment& environment) {
  std::size_t start = 0;
  while (start < execStart.size() && std::string("-@:+!").find(execStart[start]) != std::string::npos)
    ++start;
  const auto lookUp = [&environment](const std::string& name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::string() : found->second;
  };
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = start; i < execStart.size(); ++i) {
    const char c = execStart[i];
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord)
        words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '$' && i + 1 < execStart.size() && execStart[i + 1] == '{') {
      const auto end = execStart.find('}', i);
      word += lookUp(execStart.substr(i + 2, end - i - 2));
      inWord = true;
      i = end;
    } else if (c == '$' && !inWord && !quoted) {
      std::size_t end = i + 1;
      while (end < execStart.size() && isNameCharacter(execStart[end]))
        ++end;
      std::istringstream pieces(lookUp(execStart.substr(i + 1, end - i - 1)));
      for (std::string piece; pieces >> piece;)
        words.push_back(piece);
      i = end - 1;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord)
    words.push_back(word);
  return words;
}
