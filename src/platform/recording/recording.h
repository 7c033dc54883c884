// Recordings as input: any file libsndfile reads, mixed to mono and
// resampled to the capture rate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Decodes `path` into 16-bit mono samples at `rate` Hz (channels averaged,
// resampled with a sinc converter, clipped). False with a reason on failure.
bool LoadRecording(const std::string& path, int rate, std::vector<std::int16_t>* samples,
                   std::string* error);
