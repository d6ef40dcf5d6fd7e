#include "controls/buttonlayout.h"

#include "controls/command.h"
#include "controls/controlresources.h"

#include <QFile>
#include <QFont>
#include <QStringConverter>

namespace velmora {

namespace {

const QString kFontKey = QStringLiteral("font");

bool isComment(const QString& line) {
    return line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#');
}

std::optional<QFont> parseLayoutFont(const QString& text) {
    QStringList parts = text.split(u',');
    for (QString& p : parts)
        p = p.trimmed();
    if (parts.size() < 4 || parts[0].isEmpty())
        return std::nullopt;
    bool sizeOk = false, weightOk = false, charsetOk = false;
    const double size = parts[1].toDouble(&sizeOk);
    const int weight = parts[2].toInt(&weightOk);
    const int charset = parts[3].toInt(&charsetOk);
    if (!sizeOk || size <= 0 || !weightOk || weight < 1 || weight > 1000 || !charsetOk ||
        charset < 0 || charset > 255)
        return std::nullopt;
    QFont font(parts[0]);
    font.setPointSizeF(size);
    font.setWeight(static_cast<QFont::Weight>(weight));
    for (qsizetype i = 4; i < parts.size(); ++i) {
        const QString flag = parts[i].toLower();
        if (flag == u"italic")
            font.setItalic(true);
        else if (flag == u"underline")
            font.setUnderline(true);
        else if (flag == u"strikeout")
            font.setStrikeOut(true);
        else
            return std::nullopt;
    }
    return font;
}

} // namespace

std::optional<PropertyBag> readLayoutSection(const QString& layoutText, const QString& buttonName) {
    PropertyBag bag;
    bool inSection = false, found = false;
    for (const QString& raw : layoutText.split(u'\n')) {
        const QString line = raw.trimmed();
        if (isComment(line))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return std::nullopt;
            const QString name = line.mid(1, line.size() - 2).trimmed();
            inSection = name.compare(buttonName, Qt::CaseInsensitive) == 0;
            found = found || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return std::nullopt;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key.compare(kFontKey, Qt::CaseInsensitive) == 0) {
            const auto font = parseLayoutFont(value);
            if (!font)
                return std::nullopt;
            bag.writeProperty(key, *font);
        } else {
            bag.writeProperty(key, value);
        }
    }
    if (!found)
        return std::nullopt;
    return bag;
}

bool loadButtonLayout(Command* button, const QString& layoutResource, const QString& buttonName) {
    initControlResources();
    if (button == nullptr)
        return false;
    QFile file(layoutResource);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    const auto bag = readLayoutSection(text, buttonName);
    if (!bag)
        return false;
    button->readProperties(*bag);
    return true;
}

} // namespace velmora
