#include "persist/RegistryLib.h"

#include "base/Errors.h"

#include <QSettings>
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

// The native store: "Software\Org\App\rest" lives in Org/App's settings under the group
// "rest"; any other path lives in a store of its own with the whole path as group.
std::unique_ptr<QSettings> NativeSettings(TRegistryRootKey root, const QStringList& components,
                                          QString& group) {
    const QSettings::Scope scope =
        root == TRegistryRootKey::CurrentUser ? QSettings::UserScope : QSettings::SystemScope;
    if (components.size() >= 3 &&
        components[0].compare(QStringLiteral("Software"), Qt::CaseInsensitive) == 0) {
        group = components.mid(3).join(QLatin1Char('/'));
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
    throw EQuorvaneError(FormatMessage("Invalid data type for '%s'", name.toUtf8().constData()));
}

[[noreturn]] void FailedToSet(const QString& name) {
    throw EQuorvaneError(FormatMessage("Failed to set data for '%s'", name.toUtf8().constData()));
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
