// SPDX-License-Identifier: GPL-3.0-or-later
// PNG through libpng: 8-bit RGB, every row with the Sub filter, zlib level 1 with the run-length
// strategy. The 32-bit pixels of the images are handed over as they are; libpng drops the
// fourth byte and puts red first.
#include "shell/paint/png_writer.h"

#include <QIODevice>

#include <png.h>
#include <zlib.h>

#include <cstddef>

namespace zelt::shell {

namespace {

void writeToDevice(png_structp png, png_bytep data, png_size_t length)
{
    auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
    if (device->write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length))
        png_error(png, "the device refused the bytes");
}

void flushDevice(png_structp) {}

// Messages are not shown: a failure is the false returned.
void ignoreMessage(png_structp, png_const_charp) {}
[[noreturn]] void stopOnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// libpng leaves this function by longjmp on an error, so nothing in its frame may need a
// destructor: it works on plain pointers only.
bool encode(png_structp png, png_infop info, const png_const_bytep* rows, int width, int height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Filter 1 (Sub) turns the flat runs of a route picture into zeros, which the run-length
    // strategy at the fastest level encodes in one pass.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
    png_set_compression_mem_level(png, 8);
    png_set_compression_window_bits(png, 15);
    png_set_compression_buffer_size(png, 1 << 18);   // IDAT chunks of 256 KiB
    png_write_info(png, info);
    // A QRgb is 0xAARRGGBB in the machine's byte order.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
#else
    png_set_filler(png, 0, PNG_FILLER_BEFORE);
#endif
    for (int y = 0; y < height; ++y)
        png_write_row(png, rows[y]);
    png_write_end(png, info);
    return true;
}

}  // namespace

PngBand PngBand::compress(const QImage& source, int firstRow, int endRow, bool last)
{
    PngBand band;
    band.m_last = last;
    if (source.isNull() || firstRow < 0 || endRow > source.height() || firstRow > endRow)
        return band;
    band.m_image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                       ? source
                       : source.convertToFormat(QImage::Format_RGB32);
    band.m_firstRow = firstRow;
    band.m_endRow = endRow;
    band.m_ok = true;
    return band;
}

bool writeFastPng(const std::vector<PngBand>& bands, QIODevice& device)
{
    if (bands.empty() || !bands.back().m_last)
        return false;
    std::vector<png_const_bytep> rows;
    const int width = bands.front().width();
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const PngBand& b = bands[i];
        if (!b.m_ok || b.width() != width || width <= 0 || (b.m_last && i + 1 < bands.size()))
            return false;
        for (int y = b.m_firstRow; y < b.m_endRow; ++y)
            rows.push_back(b.m_image.constScanLine(y));
    }
    if (rows.empty())
        return false;

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, stopOnError, ignoreMessage);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (info) {
        png_set_write_fn(png, &device, writeToDevice, flushDevice);
        ok = encode(png, info, rows.data(), width, int(rows.size()));
    }
    png_destroy_write_struct(&png, &info);
    return ok;
}

bool writeFastPng(const QImage& image, QIODevice& device)
{
    if (image.isNull())
        return false;
    return writeFastPng({PngBand::compress(image, 0, image.height(), true)}, device);
}

}  // namespace zelt::shell
