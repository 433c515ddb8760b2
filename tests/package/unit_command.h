// What systemd would run for an instance of a template unit: its ExecStart command line and the
// environment from its EnvironmentFile, worked out from the unit file as systemd reads them, so that a test
// starts an instance the way the installed unit would.
#pragma once

#include <map>
#include <string>
#include <vector>

using Environment = std::map<std::string, std::string>;

// The values of `key` in the [Service] section of `unit`, in order, with %i (the instance) and %% replaced.
// A specifier other than those fails the test that asks.
std::vector<std::string> serviceValues(const std::string& unit, const std::string& key,
                                       const std::string& instance);

// The variables of an environment file: VAR=value lines, '#' and ';' comments, values in single or double
// quotes.
Environment readEnvironmentFile(const std::string& content);

// The words of an ExecStart value: its prefixes ('-', '@', ':', '+', '!') dropped, double-quoted words kept
// whole, "${VAR}" replaced by the variable as one word and "$VAR" split at blanks, as systemd.service(5)
// describes.
std::vector<std::string> commandLine(const std::string& execStart, const Environment& environment);
