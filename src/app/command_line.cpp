// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* programName = "cradlecom";
constexpr int descriptionColumn = 24;

// Qt's own options that the program passes on; each takes a value.
constexpr const char* qtValueOptions[] = {"platform"};

std::string Local(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

void PrintLine(const std::string& left, const char* description)
{
    std::string line = "  " + left;
    const char* rest = description;
    bool first = true;
    while (rest != nullptr && *rest != '\0') {
        const char* end = std::strchr(rest, '\n');
        std::size_t length =
            end != nullptr ? static_cast<std::size_t>(end - rest) : std::strlen(rest);
        if (!first || line.size() + 2 > descriptionColumn) {
            std::printf("%s\n", line.c_str());
            line.clear();
        }
        line.resize(descriptionColumn, ' ');
        line.append(rest, length);
        first = false;
        rest = end != nullptr ? end + 1 : nullptr;
    }
    std::printf("%s\n", line.c_str());
}

void PrintHelp(const ProgramOption* options, int optionCount)
{
    std::printf("Usage: %s [OPTION]...\n"
                "Listens in the room and calls the stored number when the child cries.\n"
                "\n",
                programName);
    for (int i = 0; i < optionCount; ++i) {
        std::string left = std::string("    --") + options[i].name;
        if (options[i].optionalValue)
            left += std::string("[=") + options[i].valueName + "]";
        else if (options[i].valueName != nullptr)
            left += std::string(" ") + options[i].valueName;
        PrintLine(left, options[i].help);
    }
    PrintLine("    -platform NAME", "Qt's window platform; offscreen runs without a display");
    PrintLine("-h, --help", "print this help and exit");
    PrintLine("-v, --version", "print the version and exit");
    std::printf("\n"
                "Report bugs to: info@veltrano.de\n"
                "Cradlecom home page: <https://www.veltrano.de/cradlecom/>\n");
}

void PrintVersion()
{
    std::printf("%s %s\n"
                "Copyright (C) 2026 Veltrano\n"
                "License GPL-3.0-or-later <https://gnu.org/licenses/gpl.html>.\n"
                "This is free software: you are free to change and redistribute it.\n"
                "There is NO WARRANTY, to the extent permitted by law.\n",
                programName, CRADLECOM_VERSION);
}

int UsageError(const std::string& problem)
{
    std::fprintf(stderr,
                 "%s: %s\n"
                 "Try '%s --help' for more information.\n",
                 programName, problem.c_str(), programName);
    return 2;
}

bool IsQtValueOption(const QString& argument)
{
    for (const char* name : qtValueOptions) {
        QString single = QStringLiteral("-") + QLatin1String(name);
        if (argument == single || argument == QStringLiteral("-") + single)
            return true;
    }
    return false;
}

// The option an argument names ("--input=x" names "--input"), as typed.
QString OptionWritten(const QString& argument)
{
    int equals = argument.indexOf(QLatin1Char('='));
    return equals < 0 ? argument : argument.left(equals);
}

// The parser says only that a value is missing somewhere: it is the last
// option before the end (or before "--") that takes one, written without "=".
QString OptionMissingValue(const QStringList& arguments, const ProgramOption* options,
                           int optionCount)
{
    int end = static_cast<int>(arguments.indexOf(QStringLiteral("--")));
    if (end < 0)
        end = static_cast<int>(arguments.size());
    if (end < 2)
        return {};
    const QString& last = arguments.at(end - 1);
    for (int i = 0; i < optionCount; ++i) {
        if (options[i].valueName != nullptr && last == QStringLiteral("--") + options[i].name)
            return last;
    }
    return {};
}

// A switch written with a value ("--help=yes"), as typed; empty when none.
QString SwitchWithValue(const QStringList& arguments, const ProgramOption* options, int optionCount)
{
    QStringList switches{QStringLiteral("--help"), QStringLiteral("--version")};
    for (int i = 0; i < optionCount; ++i) {
        if (options[i].valueName == nullptr)
            switches << QStringLiteral("--") + QLatin1String(options[i].name);
    }
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--"))
            break;
        if (argument.contains(QLatin1Char('=')) && switches.contains(OptionWritten(argument)))
            return OptionWritten(argument);
    }
    return {};
}

} // namespace

int ReadCommandLine(int argc, char** argv, const ProgramOption* options, int optionCount,
                    std::vector<std::string>* qtArguments)
{
    qtArguments->assign(1, argc > 0 ? std::string(argv[0]) : std::string(programName));
    QStringList arguments{QString::fromLocal8Bit(programName)};
    for (int i = 1; i < argc; ++i) {
        QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QStringLiteral("--")) {
            for (; i < argc; ++i)
                arguments << QString::fromLocal8Bit(argv[i]);
            break;
        }
        if (IsQtValueOption(argument)) {
            if (i + 1 >= argc)
                return UsageError("missing value for option '" + std::string(argv[i]) + "'");
            qtArguments->push_back(argv[i]);
            qtArguments->push_back(argv[++i]);
            continue;
        }
        arguments << argument;
    }
    // An option whose value may be left out: alone, it has an empty one.
    for (QString& argument : arguments) {
        if (argument == QStringLiteral("--"))
            break;
        for (int o = 0; o < optionCount; ++o) {
            if (options[o].optionalValue && argument == QStringLiteral("--") + options[o].name)
                argument += QLatin1Char('=');
        }
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    for (int i = 0; i < optionCount; ++i) {
        QCommandLineOption option(QString::fromLatin1(options[i].name));
        if (options[i].valueName != nullptr)
            option.setValueName(QString::fromLatin1(options[i].valueName));
        parser.addOption(option);
    }

    if (!parser.parse(arguments)) {
        QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            // Report it as typed: the first argument that names it.
            QString name = unknown.first();
            QString written =
                (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            for (const QString& argument : arguments.mid(1)) {
                bool single = !argument.startsWith(QStringLiteral("--")) &&
                              argument.startsWith(QLatin1Char('-'));
                // "-style" is read as -s -t -y -l -e: name the word.
                if (OptionWritten(argument) == QStringLiteral("--") + name ||
                    (single && name.size() == 1 && argument.contains(name))) {
                    written = OptionWritten(argument);
                    break;
                }
            }
            return UsageError("unknown option '" + Local(written) + "'");
        }
        QString missing = OptionMissingValue(arguments, options, optionCount);
        if (!missing.isEmpty())
            return UsageError("missing value for option '" + Local(missing) + "'");
        QString switchName = SwitchWithValue(arguments, options, optionCount);
        if (!switchName.isEmpty())
            return UsageError("option '" + Local(switchName) + "' takes no value");
        return UsageError(Local(parser.errorText()));
    }
    if (!parser.positionalArguments().isEmpty())
        return UsageError("unexpected argument '" + Local(parser.positionalArguments().first()) +
                          "'");
    if (parser.isSet(help)) {
        PrintHelp(options, optionCount);
        return 0;
    }
    if (parser.isSet(version)) {
        PrintVersion();
        return 0;
    }
    for (int i = 0; i < optionCount; ++i) {
        QString name = QString::fromLatin1(options[i].name);
        QStringList values = options[i].valueName != nullptr ? parser.values(name) : QStringList();
        if (options[i].valueName == nullptr && parser.isSet(name))
            values << QString();
        for (const QString& value : values) {
            std::string error;
            if (!options[i].take(Local(value), &error))
                return UsageError(error);
        }
    }
    return -1;
}

bool DisplayAvailable(const std::vector<std::string>& qtArguments)
{
    std::string platform;
    for (std::size_t i = 1; i + 1 < qtArguments.size(); ++i) {
        if (qtArguments[i] == "-platform" || qtArguments[i] == "--platform")
            platform = qtArguments[i + 1];
    }
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (platform.empty() && chosen != nullptr)
        platform = chosen;
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    bool x11 = set("DISPLAY");
    bool wayland = set("WAYLAND_DISPLAY");
    // Qt tries the platforms of a list in turn; one that can start will do.
    std::string missing;
    std::size_t begin = 0;
    do {
        std::size_t end = platform.find(';', begin);
        std::string entry = platform.substr(begin, end - begin);
        entry = entry.substr(0, entry.find(':'));
        begin = end == std::string::npos ? end : end + 1;
        if (entry.empty() && !x11 && !wayland)
            missing = "neither DISPLAY nor WAYLAND_DISPLAY is set";
        else if (entry == "xcb" && !x11)
            missing = "DISPLAY is not set";
        else if (entry.rfind("wayland", 0) == 0 && !wayland)
            missing = "WAYLAND_DISPLAY is not set";
        else
            return true;
    } while (begin != std::string::npos);
    std::fprintf(stderr,
                 "%s: no display to show the window on (%s); to run without one: "
                 "%s -platform offscreen\n",
                 programName, missing.c_str(), programName);
    return false;
}
