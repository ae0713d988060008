#pragma once
#include <QByteArray>
#include <QString>

#include <limits>
#include <optional>

namespace quillon::net {

// Body encodings of HTTP: "gzip" (RFC 1952) and "deflate" (a zlib stream, RFC 1950).
// Raw deflate (RFC 1951) is what some servers wrongly send as "deflate"; it is
// accepted when decoding "deflate".
enum class Compression { Gzip, Deflate };

// Compresses data with zlib. Never fails for in-memory input short of running out
// of memory, in which case the result is empty and error says why.
QByteArray compress(const QByteArray &data, Compression format, QString *error = nullptr);

// Decompresses a gzip stream (concatenated members included) or a deflate stream.
// Answers nothing, with a reason in error, for damaged or truncated input and when
// the output would exceed maxSize bytes (a guard against decompression bombs).
std::optional<QByteArray> decompress(const QByteArray &data, Compression format,
                                     qint64 maxSize = std::numeric_limits<qint64>::max(),
                                     QString *error = nullptr);

} // namespace quillon::net
