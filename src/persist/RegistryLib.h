#pragma once
// Settings-store locations and the accessor that reads and writes the values of one key.
//
// A key path is a list of components separated by "\" below one of three roots; a leading "\"
// names the same key. The store is QSettings: by default the native per-user store for
// TRegistryRootKey::CurrentUser and the system-wide one for the other roots, with a path of the
// form "Software\<Organisation>\<Application>\..." mapped onto QSettings' organisation and
// application names and the rest of the path onto groups. Tests redirect the whole store into
// one file with TScopedSettingsFile.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QSettings;

namespace quorvane {

enum class TRegistryRootKey : uint8_t {
    CurrentUser = 0,
    LocalMachine = 1,
    ClassesRoot = 2,
};

// A settings-store location: a root and a key path below it.
struct TRegistryAddress {
    TRegistryRootKey Root = TRegistryRootKey::CurrentUser;
    QString Path;
};

// Accessor for the values of one key. The caller owns it; destroying it closes the key.
// Value names are enumerated in the store's order (QSettings lists them sorted by name).
class TRegistry {
public:
    TRegistry(std::unique_ptr<QSettings> settings, QString group, QString keyPath);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // The key path this accessor was opened on, as given ("\" separated).
    const QString& CurrentPath() const { return FKeyPath; }

    QStringList GetValueNames() const;
    bool ValueExists(const QString& name) const;
    // A missing value reads as "". A value that is not a single string raises
    // "Invalid data type for '%s'".
    QString ReadString(const QString& name) const;
    // A missing value or one that is not a whole number raises "Invalid data type for '%s'".
    int ReadInteger(const QString& name) const;
    // A store that refuses the write raises "Failed to set data for '%s'".
    void WriteString(const QString& name, const QString& value);
    void WriteInteger(const QString& name, int value);
    // True when the value existed and is gone.
    bool DeleteValue(const QString& name);
    // Writes pending changes out. Raises "Failed to set data for '%s'" (the last value written)
    // when the store cannot be written. Destroying the accessor closes it without raising.
    void CloseKey();

private:
    QString Key(const QString& name) const;
    void CheckWritable(const QString& name) const;

    std::unique_ptr<QSettings> FSettings;
    QString FGroup;   // QSettings group of the key, "/" separated, may be empty
    QString FKeyPath; // as opened
    QString FLastWritten;
};

// Splits a key path into its components; empty components (leading, doubled or trailing "\")
// are dropped.
QStringList KeyPathComponents(const QString& keyPath);

// The key path OpenAddressKey opens: a SubKey starting with "\" stands alone; otherwise
// Address.Path, a "\" when SubKey is not empty and the path does not end with one, then SubKey.
QString AddressKeyPath(const TRegistryAddress& address, const QString& subKey);

// Opens (creating it when missing) the key at keyPath below root for reading and writing.
std::unique_ptr<TRegistry> OpenRegistryKey(TRegistryRootKey root, const QString& keyPath);
// OpenRegistryKey(address.Root, AddressKeyPath(address, subKey)).
std::unique_ptr<TRegistry> OpenAddressKey(const TRegistryAddress& address, const QString& subKey);

// Where the store lives. The factory makes the QSettings object for a root and key path and
// tells the group inside it.
using TSettingsFactory = std::function<std::unique_ptr<QSettings>(
    TRegistryRootKey root, const QStringList& components, QString& group)>;

// Replaces the store for the whole process (an empty function restores the native store).
void SetSettingsFactory(TSettingsFactory factory);

// Puts every root into one INI file for the lifetime of the object (tests), then restores
// the store that was in use before.
class TScopedSettingsFile {
public:
    explicit TScopedSettingsFile(const QString& fileName);
    ~TScopedSettingsFile();
    TScopedSettingsFile(const TScopedSettingsFile&) = delete;
    TScopedSettingsFile& operator=(const TScopedSettingsFile&) = delete;
    const QString& FileName() const { return FFileName; }

private:
    QString FFileName;
    TSettingsFactory FPrevious;
};

} // namespace quorvane
