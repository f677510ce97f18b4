// SPDX-License-Identifier: GPL-3.0-or-later
// Opaque PNG pictures written with libpng, tuned for route pictures.
#pragma once

#include <QImage>

#include <vector>

class QIODevice;

namespace zelt::shell {

/// Rows of a picture written as one PNG from several images (parts painted apart):
/// writeFastPng joins the bands top to bottom.
class PngBand {
public:
    /// The rows [firstRow, endRow) of `image` (opaque; alpha is dropped), filtered and
    /// compressed when the bands are written. The image is shared, not copied, unless it has to
    /// be converted. `last` for the band at the bottom of the picture.
    static PngBand compress(const QImage& image, int firstRow, int endRow, bool last);

    bool ok() const { return m_ok; }
    int width() const { return m_image.width(); }
    int rows() const { return m_endRow - m_firstRow; }

private:
    friend bool writeFastPng(const std::vector<PngBand>& bands, QIODevice& device);
    QImage m_image;   ///< Format_RGB32 or Format_ARGB32
    int m_firstRow = 0;
    int m_endRow = 0;
    bool m_last = false;
    bool m_ok = false;
};

/// Writes the bands, top to bottom, as one 8-bit RGB PNG. False when a band failed, the widths
/// differ, the last band is not marked last, or the device refuses the bytes.
bool writeFastPng(const std::vector<PngBand>& bands, QIODevice& device);

/// Writes `image` as an 8-bit RGB PNG (alpha is dropped), each row with the Sub filter and
/// compressed with zlib's fastest run-length strategy. Pictures of routes are mostly flat
/// background crossed by thin lines, which this encodes several times faster than a writer
/// that tries every filter on every row, at a similar size. False when the device refuses the
/// bytes or the image is empty.
bool writeFastPng(const QImage& image, QIODevice& device);

}  // namespace zelt::shell
