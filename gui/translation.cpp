#include "gui/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace velmora::gui {

QTranslator* installQtTranslation() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    // Debian ships it in qt6-translations-l10n.
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

} // namespace velmora::gui
