// SPDX-License-Identifier: GPL-3.0-or-later
// A fast writer of opaque PNG pictures.
#pragma once

#include <QtGlobal>

#include <vector>

class QIODevice;
class QImage;

namespace zelt::shell {

/// Rows of a picture, filtered and compressed on their own, so that bands of one picture can
/// be compressed at once on several threads (or as soon as each is painted) and joined.
class PngBand {
public:
    /// Compresses the rows [firstRow, endRow) of `image` (opaque; alpha is dropped). `last`
    /// for the band at the bottom of the picture.
    static PngBand compress(const QImage& image, int firstRow, int endRow, bool last);

    bool ok() const { return m_ok; }
    int width() const { return m_width; }
    int rows() const { return m_rows; }

private:
    friend bool writeFastPng(const std::vector<PngBand>& bands, QIODevice& device);
    std::vector<unsigned char> m_deflated;   ///< raw deflate data
    unsigned long m_adler = 1;               ///< checksum of the band's filtered bytes
    unsigned long m_length = 0;              ///< filtered bytes
    int m_width = 0;
    int m_rows = 0;
    bool m_last = false;
    bool m_ok = false;
};

/// Writes the bands, top to bottom, as one 8-bit RGB PNG. False when a band failed, the widths
/// differ, the last band is not marked last, or the device refuses the bytes.
bool writeFastPng(const std::vector<PngBand>& bands, QIODevice& device);

/// Writes `image` as an 8-bit RGB PNG (alpha is dropped), each row with the Sub filter and
/// compressed with zlib's fastest run-length strategy (a large picture as two bands at once).
/// Pictures of routes are mostly flat background crossed by thin lines, which this encodes
/// several times faster than a general writer that tries every filter on every row, at a
/// similar size. False when the device refuses the bytes or the image is empty.
bool writeFastPng(const QImage& image, QIODevice& device);

}  // namespace zelt::shell
