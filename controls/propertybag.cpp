#include "controls/propertybag.h"

#include <algorithm>

namespace velmora {

namespace {

bool equalsDefault(const QVariant& value, const QVariant& defaultValue) {
    if (!value.isValid() || !defaultValue.isValid())
        return value.isValid() == defaultValue.isValid();
    QVariant converted = defaultValue;
    if (converted.metaType() != value.metaType() && !converted.convert(value.metaType()))
        return false;
    return converted == value;
}

} // namespace

qsizetype PropertyBag::indexOf(const QString& name) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    return it == entries_.end() ? -1 : it - entries_.begin();
}

QVariant PropertyBag::readProperty(const QString& name, const QVariant& defaultValue) const {
    const qsizetype i = indexOf(name);
    return i < 0 ? defaultValue : entries_[i].value;
}

void PropertyBag::writeProperty(const QString& name, const QVariant& value,
                                const QVariant& defaultValue) {
    const qsizetype i = indexOf(name);
    if (equalsDefault(value, defaultValue)) {
        if (i >= 0)
            entries_.erase(entries_.begin() + i);
        return;
    }
    if (i >= 0)
        entries_[i].value = value;
    else
        entries_.push_back({name, value});
}

QStringList PropertyBag::names() const {
    QStringList names;
    for (const Entry& e : entries_)
        names << e.name;
    return names;
}

} // namespace velmora
