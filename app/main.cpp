// velmora: enlarges a BMP or JPEG image with anti-aliasing.
#include "app/commandline.h"
#include "app/velmora_m.h"
#include "gui/fonts.h"
#include "gui/translation.h"
#include "platform/filenames.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    // --help and --version need no window, hence no display.
    if (const auto answer = velmora::informationRequested(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    // Without a display Qt would abort with a terse message; say what to do instead.
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    const bool wantsX = platformName == nullptr || std::string(platformName).rfind("xcb", 0) == 0;
    if (wantsX && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::fprintf(stderr, "velmora: no display is available (DISPLAY is not set).\n"
                             "Run it on a desktop, or under a virtual display:\n"
                             "    xvfb-run -a -s '-screen 0 1280x1024x24' build/bin/velmora\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    velmora::gui::installQtTranslation();
    velmora::gui::installFontSubstitutes();
    QApplication::setFont(velmora::gui::captionFont());

    velmora::velmora_m window;
    window.show();
    // "velmora FILE", as the desktop entry runs it for a file opened with the
    // program, opens FILE as a choice in the image selection dialog would.
    // The name is taken from argv's bytes (QApplication has removed its own
    // options from argv): QApplication::arguments() would turn bytes that are
    // not UTF-8 into U+FFFD, which names another file.
    if (argc > 1)
        window.openImage(
            velmora::platform::absoluteName(velmora::platform::nameFromBytes(argv[1])));
    return QApplication::exec();
}
