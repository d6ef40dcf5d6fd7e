// Qt's own texts (the file dialog's labels, the buttons of message boxes, the
// overwrite question) in Japanese, like every other word of the program.
#pragma once

class QTranslator;

namespace velmora::gui {

// Loads Qt's Japanese translation (qtbase_ja) from the folder Qt reports for its
// translations and installs it into the application, whatever the locale: the
// whole interface is Japanese. Returns the installed translator, owned by the
// application, or nullptr when the translation is not installed (the texts then
// stay English).
QTranslator* installQtTranslation();

} // namespace velmora::gui
