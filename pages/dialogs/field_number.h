// Reading a number typed into a digits-only field.
#pragma once

#include <QString>

// The leading signed decimal number of `text`; 0 when there is none. A number too large
// for an int reads as the nearest int limit, so that an overlong port is rejected as out of
// range instead of wrapping into a valid one.
int ReadFieldNumber(const QString& text);
