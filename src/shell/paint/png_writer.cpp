// SPDX-License-Identifier: GPL-3.0-or-later
// PNG: signature, IHDR, IDAT chunks of the deflated filtered rows, IEND; each chunk with its CRC.
// Bands are raw deflate data: every band but the last ends on a byte boundary without a final
// block, so the next band's data can follow it in the one zlib stream of the picture.
#include "shell/paint/png_writer.h"

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

}  // namespace

PngBand PngBand::compress(const QImage& source, int firstRow, int endRow, bool last)
{
    PngBand band;
    band.m_width = source.width();
    band.m_last = last;
    if (source.isNull() || firstRow < 0 || endRow > source.height() || firstRow > endRow)
        return band;
    const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    band.m_rows = endRow - firstRow;
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return band;
    const int w = image.width();
    std::vector<unsigned char> row(std::size_t(w) * 3 + 1);
    std::vector<unsigned char> out(1 << 16);
    auto run = [&](int flush) {
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            if (deflate(&z, flush) == Z_STREAM_ERROR)
                return false;
            band.m_deflated.insert(band.m_deflated.end(), out.data(), out.data() + (out.size() - z.avail_out));
        } while (z.avail_out == 0);
        return true;
    };
    bool ok = true;
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
        band.m_adler = adler32(band.m_adler, row.data(), static_cast<uInt>(row.size()));
        band.m_length += static_cast<uLong>(row.size());
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        ok = run(Z_NO_FLUSH);
    }
    band.m_ok = ok && run(last ? Z_FINISH : Z_FULL_FLUSH);
    deflateEnd(&z);
    return band;
}

bool writeFastPng(const std::vector<PngBand>& bands, QIODevice& device)
{
    if (bands.empty() || !bands.back().m_last)
        return false;
    int height = 0;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const PngBand& b = bands[i];
        if (!b.m_ok || b.m_width != bands.front().m_width || b.m_width <= 0 || (b.m_last && i + 1 < bands.size()))
            return false;
        height += b.m_rows;
    }
    if (height <= 0)
        return false;

    static const std::array<unsigned char, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (device.write(reinterpret_cast<const char*>(kSignature.data()), 8) != 8)
        return false;
    std::vector<unsigned char> header;
    putBigEndian(header, std::uint32_t(bands.front().m_width));
    putBigEndian(header, std::uint32_t(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});   // 8 bits, RGB, deflate, adaptive filters, no interlace
    if (!writeChunk(device, "IHDR", header.data(), header.size()))
        return false;

    // The zlib stream: its header (deflate, 32 KiB window, fastest), the bands, the checksum.
    std::vector<unsigned char> data{0x78, 0x01};
    uLong adler = 1;
    for (const PngBand& b : bands) {
        data.insert(data.end(), b.m_deflated.begin(), b.m_deflated.end());
        adler = adler32_combine(adler, b.m_adler, static_cast<z_off_t>(b.m_length));
    }
    putBigEndian(data, static_cast<std::uint32_t>(adler));
    constexpr std::size_t kChunk = 1 << 18;
    for (std::size_t at = 0; at < data.size(); at += kChunk)
        if (!writeChunk(device, "IDAT", data.data() + at, std::min(kChunk, data.size() - at)))
            return false;
    return writeChunk(device, "IEND", nullptr, 0);
}

bool writeFastPng(const QImage& image, QIODevice& device)
{
    if (image.isNull())
        return false;
    const int h = image.height();
    // A large picture is compressed as two bands at once.
    const int split = qint64(image.width()) * h >= 500000 ? h / 2 : h;
    std::future<PngBand> lower;
    if (split < h)
        lower = std::async(std::launch::async, [&image, split, h] { return PngBand::compress(image, split, h, true); });
    std::vector<PngBand> bands;
    bands.push_back(PngBand::compress(image, 0, split, split == h));
    if (lower.valid())
        bands.push_back(lower.get());
    return writeFastPng(bands, device);
}

}  // namespace zelt::shell
