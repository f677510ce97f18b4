// SPDX-License-Identifier: GPL-3.0-or-later
// PNG: signature, IHDR, IDAT chunks of the deflated filtered rows, IEND; each chunk with its CRC.
#include "shell/png_writer.h"

#include <QIODevice>
#include <QImage>

#include <zlib.h>

#include <array>
#include <cstdint>
#include <vector>

namespace zelt::shell {

namespace {

void putBigEndian(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(v >> shift));
}

bool writeChunk(QIODevice& device, const char (&type)[5], const unsigned char* data, std::size_t size)
{
    std::vector<unsigned char> head;
    putBigEndian(head, static_cast<std::uint32_t>(size));
    head.insert(head.end(), type, type + 4);
    uLong crc = crc32(0L, head.data() + 4, 4);
    if (size > 0)
        crc = crc32(crc, data, static_cast<uInt>(size));
    std::vector<unsigned char> tail;
    putBigEndian(tail, static_cast<std::uint32_t>(crc));
    return device.write(reinterpret_cast<const char*>(head.data()), qint64(head.size())) == qint64(head.size()) &&
           (size == 0 || device.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size)) &&
           device.write(reinterpret_cast<const char*>(tail.data()), 4) == 4;
}

}  // namespace

bool writeFastPng(const QImage& source, QIODevice& device)
{
    if (source.isNull())
        return false;
    const QImage image = source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();

    static const std::array<unsigned char, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (device.write(reinterpret_cast<const char*>(kSignature.data()), 8) != 8)
        return false;
    std::vector<unsigned char> header;
    putBigEndian(header, std::uint32_t(w));
    putBigEndian(header, std::uint32_t(h));
    header.insert(header.end(), {8, 2, 0, 0, 0});   // 8 bits, RGB, deflate, adaptive filters, no interlace
    if (!writeChunk(device, "IHDR", header.data(), header.size()))
        return false;

    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        return false;
    std::vector<unsigned char> row(std::size_t(w) * 3 + 1);
    std::vector<unsigned char> packed(1 << 18);
    bool ok = true;
    auto drain = [&](int flush) {
        do {
            z.next_out = packed.data();
            z.avail_out = static_cast<uInt>(packed.size());
            if (deflate(&z, flush) == Z_STREAM_ERROR)
                return false;
            const std::size_t made = packed.size() - z.avail_out;
            if (made > 0 && !writeChunk(device, "IDAT", packed.data(), made))
                return false;
        } while (z.avail_out == 0);
        return true;
    };
    for (int y = 0; y < h && ok; ++y) {
        // Filter 1 (Sub): each byte minus the same byte of the pixel before it, so a flat run
        // becomes zeros.
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        row[0] = 1;
        unsigned char pr = 0, pg = 0, pb = 0;
        for (int x = 0; x < w; ++x) {
            const auto r = static_cast<unsigned char>(qRed(line[x])), g = static_cast<unsigned char>(qGreen(line[x])),
                       b = static_cast<unsigned char>(qBlue(line[x]));
            unsigned char* out = &row[1 + std::size_t(x) * 3];
            out[0] = static_cast<unsigned char>(r - pr);
            out[1] = static_cast<unsigned char>(g - pg);
            out[2] = static_cast<unsigned char>(b - pb);
            pr = r;
            pg = g;
            pb = b;
        }
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        ok = drain(Z_NO_FLUSH);
    }
    ok = ok && drain(Z_FINISH);
    deflateEnd(&z);
    return ok && writeChunk(device, "IEND", nullptr, 0);
}

}  // namespace zelt::shell
