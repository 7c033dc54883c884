// SPDX-License-Identifier: GPL-3.0-or-later
// A short polyphase low-pass filter that brings a recording made at twice
// the output rate or more (a phone's 44.1 or 48 kHz) down to it, for a peak
// measure: within 0.5 dB up to 0.35 of the output rate, half amplitude at
// 0.45, at least 50 dB down from 0.6 on. Its work, a dozen multiplications
// per input sample, costs about half of what decoding and mixing do.
#pragma once

struct Decimator;

// Null when `outputRate` is not at most half of `inputRate`, or when their
// ratio does not reduce to a few hundred phases (odd rates, such as 44 056
// Hz): such a recording needs another converter.
Decimator* NewDecimator(int inputRate, int outputRate);
void DeleteDecimator(Decimator* decimator);

// Back to the state of a new one: no input yet.
void ResetDecimator(Decimator* decimator);

// The next `count` input samples.
void PushDecimator(Decimator* decimator, const float* samples, long count);

// The input has ended: the outputs up to its end can now be made.
void EndDecimator(Decimator* decimator);

// Up to `frames` outputs, as many as the input so far allows. Output j lies
// at the time of input j * inputRate / outputRate; after the end, the last
// one made is the last before the time of input `count of inputs`.
long PullDecimator(Decimator* decimator, float* out, long frames);
