// SPDX-License-Identifier: GPL-3.0-or-later
// PNG: signature, IHDR, IDAT chunks of the deflated filtered rows, IEND; each chunk with its CRC.
#include "shell/png_writer.h"

#include <QIODevice>
#include <QImage>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <future>
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

// One band of rows, filtered and deflated as raw deflate data: the first band ends on a byte
// boundary without a final block so that the next band's data can follow it; the last band
// ends the stream. `adler` gets the checksum of the band's filtered bytes.
struct Band {
    std::vector<unsigned char> deflated;
    uLong adler = 1;
    uLong length = 0;
    bool ok = false;
};

Band deflateRows(const QImage& image, int firstRow, int endRow, bool last)
{
    Band band;
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return band;
    const int w = image.width();
    std::vector<unsigned char> row(std::size_t(w) * 3 + 1);
    std::vector<unsigned char> out(1 << 16);
    bool ok = true;
    auto run = [&](int flush) {
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            if (deflate(&z, flush) == Z_STREAM_ERROR)
                return false;
            band.deflated.insert(band.deflated.end(), out.data(), out.data() + (out.size() - z.avail_out));
        } while (z.avail_out == 0);
        return true;
    };
    for (int y = firstRow; y < endRow && ok; ++y) {
        // Filter 1 (Sub): each byte minus the same byte of the pixel before it, so a flat run
        // becomes zeros.
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        row[0] = 1;
        unsigned char pr = 0, pg = 0, pb = 0;
        for (int x = 0; x < w; ++x) {
            const auto r = static_cast<unsigned char>(qRed(line[x])), g = static_cast<unsigned char>(qGreen(line[x])),
                       b = static_cast<unsigned char>(qBlue(line[x]));
            unsigned char* px = &row[1 + std::size_t(x) * 3];
            px[0] = static_cast<unsigned char>(r - pr);
            px[1] = static_cast<unsigned char>(g - pg);
            px[2] = static_cast<unsigned char>(b - pb);
            pr = r;
            pg = g;
            pb = b;
        }
        band.adler = adler32(band.adler, row.data(), static_cast<uInt>(row.size()));
        band.length += static_cast<uLong>(row.size());
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        ok = run(Z_NO_FLUSH);
    }
    band.ok = ok && run(last ? Z_FINISH : Z_FULL_FLUSH);
    deflateEnd(&z);
    return band;
}

}  // namespace

bool writeFastPng(const QImage& source, QIODevice& device)
{
    if (source.isNull())
        return false;
    const QImage image = source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();

    // A large picture is compressed as two bands at once, joined into one stream.
    const int split = qint64(w) * h >= 500000 ? h / 2 : h;
    std::future<Band> lower;
    if (split < h)
        lower = std::async(std::launch::async, [&image, split, h] { return deflateRows(image, split, h, true); });
    const Band upper = deflateRows(image, 0, split, split == h);
    const Band rest = lower.valid() ? lower.get() : Band{{}, 1, 0, true};
    if (!upper.ok || !rest.ok)
        return false;

    static const std::array<unsigned char, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (device.write(reinterpret_cast<const char*>(kSignature.data()), 8) != 8)
        return false;
    std::vector<unsigned char> header;
    putBigEndian(header, std::uint32_t(w));
    putBigEndian(header, std::uint32_t(h));
    header.insert(header.end(), {8, 2, 0, 0, 0});   // 8 bits, RGB, deflate, adaptive filters, no interlace
    if (!writeChunk(device, "IHDR", header.data(), header.size()))
        return false;

    // The zlib stream: its header (deflate, 32 KiB window, fastest), the bands, the checksum.
    std::vector<unsigned char> data{0x78, 0x01};
    data.reserve(upper.deflated.size() + rest.deflated.size() + 6);
    data.insert(data.end(), upper.deflated.begin(), upper.deflated.end());
    data.insert(data.end(), rest.deflated.begin(), rest.deflated.end());
    putBigEndian(data, static_cast<std::uint32_t>(adler32_combine(upper.adler, rest.adler, static_cast<z_off_t>(rest.length))));
    constexpr std::size_t kChunk = 1 << 18;
    for (std::size_t at = 0; at < data.size(); at += kChunk)
        if (!writeChunk(device, "IDAT", data.data() + at, std::min(kChunk, data.size() - at)))
            return false;
    return writeChunk(device, "IEND", nullptr, 0);
}

}  // namespace zelt::shell
