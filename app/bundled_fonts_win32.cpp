#include "bundled_fonts.h"

#include <QFontDatabase>

namespace vorkal {

// The controls are laid out for Arial's metrics (Liberation Sans has the same). Windows
// has Arial but not every system has Arial Narrow, and Wine has neither, so the
// program carries the Liberation faces it asks for first.
void LoadBundledFonts() {
    for (const char* face : {"LiberationSans-Regular", "LiberationSans-Bold", "LiberationSansNarrow-Regular",
                             "LiberationSansNarrow-Bold"})
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/%1.ttf").arg(QLatin1String(face)));
}

}  // namespace vorkal
