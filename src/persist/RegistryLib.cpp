#include "persist/RegistryLib.h"

#include "base/Errors.h"
#include "persist/PersistTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <utility>

namespace quorvane {

namespace {

QString RootName(TRegistryRootKey root) {
    switch (root) {
    case TRegistryRootKey::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case TRegistryRootKey::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case TRegistryRootKey::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    }
    return QStringLiteral("HKEY_CURRENT_USER");
}

// The per-user file of an application, in the user's configuration folder ($XDG_CONFIG_HOME,
// by default ~/.config): APP/APP.conf in lower case. Earlier versions kept it as ORG/APP.conf
// there (QSettings' own place); that file, when the new one does not exist yet, is copied once
// and then left alone, so an older version still finds its own settings.
QString UserSettingsFile(const QString& organisation, const QString& application) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString app = application.toLower();
    const QString file =
        config + QLatin1Char('/') + app + QLatin1Char('/') + app + QStringLiteral(".conf");
    const QString old = config + QLatin1Char('/') + organisation + QLatin1Char('/') + application +
                        QStringLiteral(".conf");
    if (!QFileInfo::exists(file) && QFileInfo::exists(old) &&
        QDir().mkpath(QFileInfo(file).absolutePath())) {
        // A failed copy leaves the new place empty; the next start tries again.
        QFile::copy(old, file);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }
    return file;
}

// The native store: "Software\Org\App\rest" lives in App's settings under the group "rest" (the
// user's in UserSettingsFile, the system-wide one in Org/App's); any other path lives in a store
// of its own with the whole path as group.
std::unique_ptr<QSettings> NativeSettings(TRegistryRootKey root, const QStringList& components,
                                          QString& group) {
    const QSettings::Scope scope =
        root == TRegistryRootKey::CurrentUser ? QSettings::UserScope : QSettings::SystemScope;
    if (components.size() >= 3 &&
        components[0].compare(QStringLiteral("Software"), Qt::CaseInsensitive) == 0) {
        group = components.mid(3).join(QLatin1Char('/'));
        if (scope == QSettings::UserScope)
            return std::make_unique<QSettings>(UserSettingsFile(components[1], components[2]),
                                               QSettings::IniFormat);
        return std::make_unique<QSettings>(QSettings::NativeFormat, scope, components[1],
                                           components[2]);
    }
    QStringList all = components;
    if (root == TRegistryRootKey::ClassesRoot) all.prepend(QStringLiteral("Classes"));
    group = all.join(QLatin1Char('/'));
    return std::make_unique<QSettings>(QSettings::NativeFormat, scope, QStringLiteral("Ostrick"),
                                       QStringLiteral("Registry"));
}

TSettingsFactory& Factory() {
    static TSettingsFactory factory;
    return factory;
}

[[noreturn]] void InvalidType(const QString& name) {
    throw EQuorvaneError(Msg(texts::InvalidDataType, name.toStdString()));
}

[[noreturn]] void FailedToSet(const QString& name) {
    throw EQuorvaneError(Msg(texts::FailedToSetData, name.toStdString()));
}

} // namespace

TRegistry::TRegistry(std::unique_ptr<QSettings> settings, QString group, QString keyPath)
    : FSettings(std::move(settings)), FGroup(std::move(group)), FKeyPath(std::move(keyPath)) {}

TRegistry::~TRegistry() {
    if (FSettings) FSettings->sync();
}

QString TRegistry::Key(const QString& name) const {
    return FGroup.isEmpty() ? name : FGroup + QLatin1Char('/') + name;
}

QStringList TRegistry::GetValueNames() const {
    if (FGroup.isEmpty()) return FSettings->childKeys();
    FSettings->beginGroup(FGroup);
    QStringList names = FSettings->childKeys();
    FSettings->endGroup();
    return names;
}

bool TRegistry::ValueExists(const QString& name) const {
    return FSettings->contains(Key(name));
}

QString TRegistry::ReadString(const QString& name) const {
    const QVariant value = FSettings->value(Key(name));
    if (!value.isValid()) return QString();
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toString();
    default:
        InvalidType(name);
    }
}

int TRegistry::ReadInteger(const QString& name) const {
    const QVariant value = FSettings->value(Key(name));
    if (!value.isValid()) InvalidType(name);
    if (value.typeId() == QMetaType::Int) return value.toInt();
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QByteArray &&
        value.typeId() != QMetaType::LongLong)
        InvalidType(name);
    bool ok = false;
    const int result = value.toString().trimmed().toInt(&ok);
    if (!ok) InvalidType(name);
    return result;
}

void TRegistry::CheckWritable(const QString& name) const {
    if (!FSettings->isWritable()) FailedToSet(name);
}

void TRegistry::WriteString(const QString& name, const QString& value) {
    CheckWritable(name);
    FSettings->setValue(Key(name), value);
    FLastWritten = name;
}

void TRegistry::WriteInteger(const QString& name, int value) {
    CheckWritable(name);
    FSettings->setValue(Key(name), value);
    FLastWritten = name;
}

bool TRegistry::DeleteValue(const QString& name) {
    if (!FSettings->contains(Key(name))) return false;
    CheckWritable(name);
    FSettings->remove(Key(name));
    FLastWritten = name;
    return true;
}

void TRegistry::CloseKey() {
    FSettings->sync();
    if (FSettings->status() != QSettings::NoError && !FLastWritten.isEmpty())
        FailedToSet(FLastWritten);
}

QStringList KeyPathComponents(const QString& keyPath) {
    return keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QString AddressKeyPath(const TRegistryAddress& address, const QString& subKey) {
    if (subKey.startsWith(QLatin1Char('\\'))) return subKey;
    QString path = address.Path;
    if (!subKey.isEmpty() && !path.endsWith(QLatin1Char('\\'))) path += QLatin1Char('\\');
    return path + subKey;
}

std::unique_ptr<TRegistry> OpenRegistryKey(TRegistryRootKey root, const QString& keyPath) {
    const QStringList components = KeyPathComponents(keyPath);
    QString group;
    std::unique_ptr<QSettings> settings =
        Factory() ? Factory()(root, components, group) : NativeSettings(root, components, group);
    return std::make_unique<TRegistry>(std::move(settings), group, keyPath);
}

std::unique_ptr<TRegistry> OpenAddressKey(const TRegistryAddress& address, const QString& subKey) {
    return OpenRegistryKey(address.Root, AddressKeyPath(address, subKey));
}

void SetSettingsFactory(TSettingsFactory factory) {
    Factory() = std::move(factory);
}

TScopedSettingsFile::TScopedSettingsFile(const QString& fileName)
    : FFileName(fileName), FPrevious(Factory()) {
    Factory() = [fileName](TRegistryRootKey root, const QStringList& components, QString& group) {
        QStringList all = components;
        all.prepend(RootName(root));
        group = all.join(QLatin1Char('/'));
        return std::make_unique<QSettings>(fileName, QSettings::IniFormat);
    };
}

TScopedSettingsFile::~TScopedSettingsFile() {
    Factory() = std::move(FPrevious);
}

} // namespace quorvane
