#pragma once
#include <QString>
#include <QVariant>

namespace quillon {

// Reads a whole number the forgiving way stored values and typed text are read:
// leading blanks skipped, an optional sign, the digits that follow; anything
// from the first other character on is ignored; no digits gives 0. Saturates
// at the int range instead of overflowing.
int leadingInt(const QString &text);

// The integer / boolean value of a stored object: numbers as they are, texts
// read with leadingInt (booleans: "YES", "true", or a non-zero number).
int intValueOf(const QVariant &value);
bool boolValueOf(const QVariant &value);

} // namespace quillon
