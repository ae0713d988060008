#include "core/XmlText.h"

namespace quillon {

QString xmlSafeText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            out.append(text.at(i));
            out.append(text.at(++i));
        } else if (u == 0x9 || u == 0xA || u == 0xD) {
            out.append(QChar(u));
        } else if (u < 0x20) {
            out.append(QChar(char16_t(0x2400 + u)));
        } else if (u == 0xFFFE || u == 0xFFFF || QChar::isSurrogate(u)) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else {
            out.append(QChar(u));
        }
    }
    return out;
}

} // namespace quillon
