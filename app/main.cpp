// velmora: enlarges a BMP or JPEG image with anti-aliasing.
#include "app/commandline.h"
#include "app/velmora_m.h"
#include "gui/filenames.h"
#include "gui/fonts.h"
#include "gui/translation.h"
#include "platform/filenames.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    // --help and --version need no window, hence no display; nor does an
    // unknown option.
    if (const auto answer = velmora::answerWithoutWindow(argc, argv)) {
        std::fputs(answer->text.c_str(), answer->exitCode == 0 ? stdout : stderr);
        return answer->exitCode;
    }
    // Without a display Qt would abort with a terse message; say what to do instead.
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    const bool wantsX = platformName == nullptr || std::string(platformName).rfind("xcb", 0) == 0;
    if (wantsX && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        // The command as it was run: "velmora" installed, build/bin/velmora in
        // the build tree.
        std::fprintf(stderr,
                     "velmora: no display is available (DISPLAY is not set).\n"
                     "Run it on a desktop, or under a virtual display:\n"
                     "    xvfb-run -a -s '-screen 0 1280x1024x24' %s\n",
                     argv[0]);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    velmora::gui::installQtTranslation();
    velmora::gui::installFontSubstitutes();
    QApplication::setFont(velmora::gui::captionFont());

    // What is left once Qt has taken its own options.
    std::string unknown;
    const std::string file = velmora::fileToOpen(argc, argv, &unknown);
    if (!unknown.empty()) {
        std::fputs(unknown.c_str(), stderr);
        return 2;
    }
    velmora::velmora_m window;
    window.show();
    // "velmora FILE", as the desktop entry runs it for a file opened with the
    // program, opens FILE as a choice in the image selection dialog would.
    // The name is taken from argv's bytes (QApplication has removed its own
    // options from argv): QApplication::arguments() would turn bytes that are
    // not UTF-8 into U+FFFD, which names another file.
    if (!file.empty())
        window.openImage(velmora::gui::nameFromBytes(velmora::platform::absoluteName(file)));
    return QApplication::exec();
}
