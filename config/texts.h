#pragma once
// The program speaks English or Polish, picked by its language flag.

#include <QString>

namespace vorkal {

// `english` or `polishText` (both UTF-8), as the language flag says.
inline QString Tr(bool polish, const char* english, const char* polishText) {
    return polish ? QString::fromUtf8(polishText) : QString::fromUtf8(english);
}

}  // namespace vorkal
