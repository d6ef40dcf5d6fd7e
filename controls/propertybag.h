// The per-instance property store a dialog layout keeps for each placed
// button: named values, read with a default and written with a default.
#pragma once

#include <QString>
#include <QVariant>

#include <vector>

namespace velmora {

class PropertyBag {
  public:
    // The stored value of `name`, or `defaultValue` when none is stored.
    // Names are matched without regard to case.
    QVariant readProperty(const QString& name, const QVariant& defaultValue = {}) const;

    // Stores `value` under `name`, unless it equals `defaultValue`: a value at
    // its default is not kept (and an earlier entry of that name is dropped),
    // so that reading it back with the same default gives the same value.
    // The comparison converts the default to the value's type first, so the
    // text "1" equals the number 1.
    void writeProperty(const QString& name, const QVariant& value,
                       const QVariant& defaultValue = {});

    // The stored names, in the order they were first written.
    QStringList names() const;
    bool isEmpty() const { return entries_.empty(); }

  private:
    struct Entry {
        QString name;
        QVariant value;
    };
    // Index of the entry called `name`, or -1.
    qsizetype indexOf(const QString& name) const;

    std::vector<Entry> entries_;
};

} // namespace velmora
