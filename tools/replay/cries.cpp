// SPDX-License-Identifier: GPL-3.0-or-later
// The cries a parent noted, and how well a run's calls answered them.
#include <cstdlib>
#include <sstream>
#include <unistd.h>

#include "platform/common/regular_file.h"
#include "replay.h"

namespace {

// Far more than a night's notes; a larger file is no list of cries.
constexpr std::size_t criesMostBytes = 1 << 20;

bool ParseSeconds(const std::string& text, double* value)
{
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t\r");
    if (first == std::string::npos)
        return false;
    std::string trimmed = text.substr(first, last - first + 1);
    char* end = nullptr;
    *value = std::strtod(trimmed.c_str(), &end);
    return end != trimmed.c_str() && *end == '\0' && *value >= 0.0 && *value < 1e9;
}

} // namespace

bool ReadCries(const std::string& path, std::vector<Cry>* cries, std::string* error)
{
    int fd = OpenRegularFile(path, error);
    if (fd < 0)
        return false;
    std::string bytes;
    bool read = ReadAtMost(fd, criesMostBytes + 1, &bytes);
    close(fd);
    if (!read || bytes.size() > criesMostBytes) {
        *error = path + (read ? ": larger than 1 MiB, not a list of cries" : ": cannot be read");
        return false;
    }
    std::istringstream file(bytes);
    cries->clear();
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#')
            continue;
        std::size_t comma = line.find(',');
        Cry cry{};
        bool parsed = comma != std::string::npos &&
                      ParseSeconds(line.substr(0, comma), &cry.start) &&
                      ParseSeconds(line.substr(comma + 1), &cry.end);
        if (!parsed && number == 1)
            continue; // a header
        if (!parsed || cry.end < cry.start) {
            *error = path + ":" + std::to_string(number) +
                     ": expected start,end in seconds with end not before start";
            return false;
        }
        cries->push_back(cry);
    }
    return true;
}

CryScore ScoreCalls(const std::vector<Cry>& cries, const std::vector<RunCall>& calls)
{
    CryScore score;
    double delays = 0.0;
    for (const Cry& cry : cries) {
        for (const RunCall& call : calls) {
            if (call.seconds >= cry.start && call.seconds <= cry.end + answerGraceSeconds) {
                ++score.answered;
                delays += call.seconds - cry.start;
                break; // calls come in time order: the first one answers
            }
        }
    }
    for (const RunCall& call : calls) {
        bool answers = false;
        for (const Cry& cry : cries)
            answers = answers ||
                      (call.seconds >= cry.start && call.seconds <= cry.end + answerGraceSeconds);
        if (!answers)
            ++score.falseAlarms;
    }
    if (score.answered > 0)
        score.meanDelay = delays / score.answered;
    return score;
}
