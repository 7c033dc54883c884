// SPDX-License-Identifier: GPL-3.0-or-later
// The store's file form, shared by the store and its tests.
//
// One text file, UTF-8, read and written whole:
//   [Software\Veltrano\CradleCom\Settings]
//   VolSensi = sz:50
//   Odd = hex(1):35 00 30
// A REG_SZ value that ends in exactly one null unit, at an even size, is
// written as `sz:` followed by its text without the null; every other value
// as `hex(type):` and its bytes. In key paths, names and texts a percent
// sign, control characters, unpaired surrogates (as their three-byte form)
// and anything that would change how the line is split are written as %XX
// per byte. Lines that cannot be parsed are skipped: their keys or values
// read as absent, and the next commit drops them. Every line ends in a line
// feed: a last line without one was cut short (a number cut to its first
// digits would still parse), so such a file is refused whole.
#pragma once

#include <map>
#include <string>

#include "platform/common/registry_keys.h"

using StoreKeys = std::map<std::u16string, StoreValues>;

StoreKeys ParseStoreText(const std::string& text);
// True when the text's last line has no line end.
bool IsCutShort(const std::string& text);
std::string FormatStoreText(const StoreKeys& keys);

// The file as the environment names it now: $XDG_CONFIG_HOME/cradlecom/registry,
// else ~/.config/cradlecom/registry.
std::string StoreFilePath();

// For a run that must change nothing (the screenshots): the store is read
// as ever, but creating a key and committing writes fail with
// ERROR_WRITE_PROTECT, as on read-only storage, and touch no file.
void StoreSetReadOnly(bool readOnly);

// For tests: called during a commit once the new content is durable in the
// temporary file and before it replaces the store. Null removes the hook.
void StoreSetCommitHook(void (*hook)(const char* temporaryPath));
