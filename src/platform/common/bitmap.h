// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of the program's picture resources into plain pixel arrays, for
// any platform that has to put them on a screen.
//
// Pixels come out top-down, row by row, width * height of them.
// - Bitmaps (RT_BITMAP, uncompressed BMP files of 24 or 32 bits per pixel):
//   0x00RRGGBB each.
// - Icons (RT_GROUP_ICON, .ico files with BMP images of 4, 8, 24 or 32 bits
//   per pixel and their AND masks): 0xAARRGGBB each; alpha 0 where the
//   icon is transparent, 0xFF where it is opaque (32-bit images keep their
//   own alpha).
// On failure the functions return false and leave their outputs untouched.
// They keep no state and may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/types.h"

// Decodes the bytes of a BMP file.
bool DecodeBitmapBytes(const void* data, std::size_t size, int* width, int* height,
                       std::vector<std::uint32_t>* pixels);

// Decodes bitmap resource `id`.
bool DecodeBitmapResource(UINT id, int* width, int* height, std::vector<std::uint32_t>* pixels);

// Decodes the image of an .ico file whose width is `size`; when there are
// several, the one with the most colours. Without an image of that width it
// takes the largest image. `width` and `height` tell what was decoded.
bool DecodeIconBytes(const void* data, std::size_t dataSize, int size, int* width, int* height,
                     std::vector<std::uint32_t>* pixels);

// Decodes the image of icon resource `id` as DecodeIconBytes does.
bool DecodeIconResource(UINT id, int size, int* width, int* height,
                        std::vector<std::uint32_t>* pixels);
