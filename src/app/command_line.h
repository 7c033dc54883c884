// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry: the command line, --set/--get and the screenshots.
//
// The program's command line, read GNU style before anything needs a
// display: `--opt VALUE` and `--opt=VALUE`, `-h`/`--help`, `-v`/`--version`,
// and Qt's own `-platform NAME`, which is handed on to Qt untouched.
#pragma once

#include <string>
#include <vector>

// One option of the program. The table of them is the whole command line;
// --help lists them in table order.
struct ProgramOption {
    const char* name;      // the long name, without its dashes
    const char* valueName; // what the value is called in --help; null for a switch
    const char* help;      // the description for --help; '\n' starts another line
    // Takes one occurrence (an empty value for a switch); an option given
    // more than once is taken once per occurrence, in order. False with a
    // reason in *error refuses the command line.
    bool (*take)(const std::string& value, std::string* error);
    // The value may be left out: --name alone, or --name=VALUE (never
    // --name VALUE); take() then gets an empty value.
    bool optionalValue = false;
};

// Reads argv against `options`. Qt's own options go to *qtArguments, after
// the program's name, in the form QApplication takes them. Returns -1 when
// the program should go on, otherwise the status to exit with at once:
// 0 after --help or --version (printed on standard output), 2 for wrong
// usage (one line on standard error saying what is wrong, and a hint).
int ReadCommandLine(int argc, char** argv, const ProgramOption* options, int optionCount,
                    std::vector<std::string>* qtArguments);

// Whether the window platform that Qt will take (from -platform, else
// QT_QPA_PLATFORM, else what the session offers) has a display to show on.
// When not, says so in one line on standard error with how to run without
// one, and returns false; Qt would otherwise abort.
bool DisplayAvailable(const std::vector<std::string>& qtArguments);
