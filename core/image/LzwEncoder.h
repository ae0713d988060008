#pragma once
#include <QtGlobal>

#include <cstddef>
#include <vector>

namespace quillon::image {

// Codes one strip as TIFF LZW (Compression 5): a Clear code first, EOI last,
// codes packed high bit first with the code width growing one code early, as
// libtiff's decoder reads them. The data is coded as given (apply a predictor
// before). Appends to *out. Thread-safe: each thread codes with tables of its own.
void lzwEncode(const quint8 *data, std::size_t size, std::vector<quint8> *out);

} // namespace quillon::image
