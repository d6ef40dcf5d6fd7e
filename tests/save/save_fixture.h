// What the tests of saving share: a test folder and the conversion library of
// any age to save through, and the files the program wrote before.
#pragma once

#include "gui/pictureimage.h"
#include "save/jpeglibrary.h"
#include "save/save.h"
#include "tests/support/buildlibrary.h"
#include "tests/support/support.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

namespace velmora {

// The tests make their pictures as QImages; the save takes plain pictures
// and names.
inline imageio::Picture Pic(const QImage& image) {
    return gui::pictureOfImage(image);
}
inline QImage Img(const imageio::Picture& picture) {
    return gui::imageOfPicture(picture);
}
inline std::string Bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
inline bool Contains(const std::string& text, const QString& piece) {
    return text.find(piece.toStdString()) != std::string::npos;
}

// The conversion library a save goes through: this build's, an earlier one
// (this folder's CMakeLists.txt builds them), or none at all.
enum class Library { Current, Previous, First, None };

// The folder of that library.
QString libraryFolder(Library library);

// The whole result as the window computes it into Display: narrow bands,
// blended pixels opaque; the source itself at ratio 0.
QImage WholeResult(const QImage& source, double ratio);

class Saving : public SettingsFileTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    void useLibrary(Library library) {
        this->library = JpegLibrary(Bytes(libraryFolder(library)), false);
    }
    // saveRecipe through the library in use.
    SaveResult save(const Recipe& recipe, const QString& path, SaveKind kind,
                    SaveOptions options = {}) {
        return SaveThrough(recipe, Bytes(path), kind, std::move(options), &library);
    }

    // The file the program wrote before for the whole picture: the bitmap
    // writer's, or the library's from the picture in memory.
    QByteArray todaysFile(const QImage& whole, SaveKind kind);

    // The files in the test's folder.
    QStringList files() const;

    JpegLibrary library;
};

} // namespace velmora
