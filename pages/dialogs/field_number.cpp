#include "pages/dialogs/field_number.h"

#include <climits>

int ReadFieldNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype pos = 0;
    bool negative = false;
    if (pos < trimmed.size() && (trimmed[pos] == u'-' || trimmed[pos] == u'+')) {
        negative = trimmed[pos] == u'-';
        ++pos;
    }
    long long value = 0;
    for (; pos < trimmed.size(); ++pos) {
        const char16_t c = trimmed[pos].unicode();
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}
