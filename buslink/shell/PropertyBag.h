#pragma once
// What the component needs from the program that hosts it: a property bag to
// load and save its properties by key with a default, and the design-mode flag
// and ambient font of the host.
#include <QMap>
#include <QString>
#include <QVariant>

class QSettings;

namespace buslink {

class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    virtual QVariant read(const QString& key, const QVariant& defaultValue) const = 0;
    // A value equal to its default may be left out of the bag.
    virtual void write(const QString& key, const QVariant& value, const QVariant& defaultValue) = 0;
};

// A bag in memory (hosts that keep their own files, and tests).
class MemoryPropertyBag : public PropertyBag {
public:
    QVariant read(const QString& key, const QVariant& defaultValue) const override;
    void write(const QString& key, const QVariant& value, const QVariant& defaultValue) override;
    bool contains(const QString& key) const { return values.contains(key); }
    QMap<QString, QVariant> values;
};

// A bag over a QSettings group (INI or native format).
class SettingsPropertyBag : public PropertyBag {
public:
    SettingsPropertyBag(QSettings& settings, const QString& group);
    QVariant read(const QString& key, const QVariant& defaultValue) const override;
    void write(const QString& key, const QVariant& value, const QVariant& defaultValue) override;

private:
    QSettings& settings;
    QString group;
};

class BuslinkHost {
public:
    virtual ~BuslinkHost() = default;
    // True while the host is designing (editing its form), false while it runs.
    virtual bool designMode() const = 0;
    // The host's ambient font, as QFont::toString() text (empty: none).
    virtual QString ambientFont() const = 0;
};

// The host of a running program: run mode, the application's font.
class RunModeHost : public BuslinkHost {
public:
    bool designMode() const override { return false; }
    QString ambientFont() const override;
};

} // namespace buslink
