#pragma once

#include <QByteArrayView>

// True when both byte strings are equal. The time taken depends only on the length of the
// secret typed, never on where the first difference lies, so a stranger cannot find the
// password byte by byte by timing the answers. Two empty strings are equal.
bool constantTimeEquals(QByteArrayView typed, QByteArrayView secret);
