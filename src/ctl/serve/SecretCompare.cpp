#include "SecretCompare.h"

bool constantTimeEquals(QByteArrayView typed, QByteArrayView secret)
{
    // Walk the whole typed text whatever the secret's length, reading the secret cyclically, and
    // fold every difference (the length too) into one value that is tested once at the end.
    unsigned difference = typed.size() == secret.size() ? 0u : 1u;
    const qsizetype secretSize = secret.size();
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const auto expected = secretSize > 0 ? static_cast<unsigned char>(secret[i % secretSize]) : 0u;
        difference |= static_cast<unsigned char>(typed[i]) ^ expected;
    }
    return difference == 0;
}
