#pragma once
#include <QString>

namespace quillon {

// The text with every character XML 1.0 cannot carry made visible: a control
// character becomes its Unicode control picture (U+0001 gives U+2401 "␁"), a
// non-character (U+FFFE, U+FFFF) or an unpaired surrogate becomes U+FFFD. Tab,
// line feed and carriage return stay. Any other text comes back unchanged.
QString xmlSafeText(const QString &text);

} // namespace quillon
