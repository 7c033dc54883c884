// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common/bitmap.h"

#include <utility>

#include "platform/resource.h"

namespace {

// Larger pictures than this are taken for damaged data.
constexpr std::int64_t maxSide = 4096;

std::uint32_t ReadU16(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

std::uint32_t ReadU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t ReadS32(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(ReadU32(p));
}

std::int64_t RowBytes(std::int64_t width, std::int64_t bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// A device-independent bitmap: its info header and what follows it, as it
// sits in a BMP file or an icon image.
struct DibView {
    const std::uint8_t* begin; // the info header
    std::int64_t available;    // bytes from the info header to the end of the data
    std::int64_t bitsOffset;   // colour bits, from the info header
    bool icon;                 // height counts colour bits and mask; a mask follows
};

bool DecodeDib(const DibView& dib, int* width, int* height, std::vector<std::uint32_t>* pixels)
{
    if (dib.available < 40) {
        return false;
    }
    const std::uint8_t* header = dib.begin;
    const std::int64_t headerSize = ReadU32(header);
    const std::int64_t w = ReadS32(header + 4);
    std::int64_t h = ReadS32(header + 8);
    const std::uint32_t bitsPerPixel = ReadU16(header + 14);
    const std::uint32_t compression = ReadU32(header + 16);
    const std::int64_t coloursUsed = ReadU32(header + 32);
    if (headerSize < 40 || headerSize > dib.available || compression != 0) {
        return false;
    }
    bool topDown = false;
    if (dib.icon) {
        h /= 2;
    } else if (h < 0) {
        topDown = true;
        h = -h;
    }
    if (w <= 0 || h <= 0 || w > maxSide || h > maxSide) {
        return false;
    }
    if (bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        return false;
    }
    if (!dib.icon && bitsPerPixel != 24 && bitsPerPixel != 32) {
        return false;
    }

    const std::uint8_t* palette = header + headerSize;
    std::int64_t paletteCount = 0;
    if (bitsPerPixel <= 8) {
        paletteCount = coloursUsed != 0 ? coloursUsed : (std::int64_t{1} << bitsPerPixel);
        if (paletteCount > (std::int64_t{1} << bitsPerPixel)) {
            return false;
        }
    }
    std::int64_t bitsOffset = dib.bitsOffset;
    if (dib.icon) {
        bitsOffset = headerSize + paletteCount * 4;
    } else if (headerSize + paletteCount * 4 > bitsOffset) {
        return false;
    }
    const std::int64_t colourRow = RowBytes(w, bitsPerPixel);
    const std::int64_t maskRow = dib.icon ? RowBytes(w, 1) : 0;
    const std::int64_t maskOffset = bitsOffset + colourRow * h;
    if (bitsOffset < 0 || maskOffset + maskRow * h > dib.available) {
        return false;
    }

    std::vector<std::uint32_t> result(static_cast<std::size_t>(w * h));
    for (std::int64_t row = 0; row < h; ++row) {
        const std::int64_t stored = topDown ? row : h - 1 - row;
        const std::uint8_t* bits = header + bitsOffset + stored * colourRow;
        const std::uint8_t* mask = header + maskOffset + stored * maskRow;
        for (std::int64_t x = 0; x < w; ++x) {
            std::uint32_t argb = 0;
            if (bitsPerPixel == 24 || bitsPerPixel == 32) {
                const std::uint8_t* p = bits + x * (bitsPerPixel / 8);
                argb = (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
                if (bitsPerPixel == 32 && dib.icon) {
                    argb |= static_cast<std::uint32_t>(p[3]) << 24;
                }
            } else {
                std::uint32_t index = 0;
                if (bitsPerPixel == 8) {
                    index = bits[x];
                } else {
                    index = (x % 2 == 0) ? (bits[x / 2] >> 4) : (bits[x / 2] & 0x0F);
                }
                if (index >= paletteCount) {
                    return false;
                }
                const std::uint8_t* p = palette + index * 4;
                argb = (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
            }
            if (dib.icon && bitsPerPixel != 32) {
                const bool transparent = (mask[x / 8] >> (7 - x % 8)) & 1;
                argb = transparent ? 0 : (argb | 0xFF000000u);
            }
            result[static_cast<std::size_t>(row * w + x)] = argb;
        }
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    *pixels = std::move(result);
    return true;
}

bool FindData(UINT id, UINT type, const void** data, std::size_t* size)
{
    HRSRC resource = FindResourceW(nullptr, id, type);
    if (resource == nullptr) {
        return false;
    }
    *data = LoadResource(nullptr, resource);
    *size = SizeofResource(nullptr, resource);
    return *data != nullptr;
}

} // namespace

bool DecodeBitmapBytes(const void* data, std::size_t size, int* width, int* height,
                       std::vector<std::uint32_t>* pixels)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr || size < 14 + 40 || bytes[0] != 'B' || bytes[1] != 'M') {
        return false;
    }
    const std::int64_t bitsOffset = ReadU32(bytes + 10);
    if (bitsOffset < 14) {
        return false;
    }
    const DibView dib{bytes + 14, static_cast<std::int64_t>(size) - 14, bitsOffset - 14, false};
    return DecodeDib(dib, width, height, pixels);
}

bool DecodeBitmapResource(UINT id, int* width, int* height, std::vector<std::uint32_t>* pixels)
{
    const void* data = nullptr;
    std::size_t size = 0;
    return FindData(id, RT_BITMAP, &data, &size) &&
           DecodeBitmapBytes(data, size, width, height, pixels);
}

bool DecodeIconBytes(const void* data, std::size_t dataSize, int size, int* width, int* height,
                     std::vector<std::uint32_t>* pixels)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr || dataSize < 6 || ReadU16(bytes) != 0 || ReadU16(bytes + 2) != 1) {
        return false;
    }
    const std::size_t count = ReadU16(bytes + 4);
    if (count == 0 || 6 + count * 16 > dataSize) {
        return false;
    }
    // The entry of the wanted width with the most bits, else the largest.
    int best = -1;
    int bestWidth = 0;
    int bestBits = 0;
    bool bestMatches = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = bytes + 6 + i * 16;
        const int entryWidth = entry[0] == 0 ? 256 : entry[0];
        const int bits = static_cast<int>(ReadU16(entry + 6));
        const bool matches = entryWidth == size;
        bool better = false;
        if (best < 0) {
            better = true;
        } else if (matches != bestMatches) {
            better = matches;
        } else if (entryWidth != bestWidth) {
            better = entryWidth > bestWidth;
        } else {
            better = bits > bestBits;
        }
        if (better) {
            best = static_cast<int>(i);
            bestWidth = entryWidth;
            bestBits = bits;
            bestMatches = matches;
        }
    }
    const std::uint8_t* entry = bytes + 6 + static_cast<std::size_t>(best) * 16;
    const std::int64_t imageSize = ReadU32(entry + 8);
    const std::int64_t imageOffset = ReadU32(entry + 12);
    if (imageOffset + imageSize > static_cast<std::int64_t>(dataSize)) {
        return false;
    }
    const DibView dib{bytes + imageOffset, imageSize, 0, true};
    return DecodeDib(dib, width, height, pixels);
}

bool DecodeIconResource(UINT id, int size, int* width, int* height,
                        std::vector<std::uint32_t>* pixels)
{
    const void* data = nullptr;
    std::size_t dataSize = 0;
    return FindData(id, RT_GROUP_ICON, &data, &dataSize) &&
           DecodeIconBytes(data, dataSize, size, width, height, pixels);
}
