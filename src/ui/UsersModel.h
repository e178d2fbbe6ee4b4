#pragma once
// The rows of the main window's user list: each row refers to one user of the open database
// (the list owns the users, a row only points at one) and shows the six columns, and the
// Password and Groups columns while some user needs them.

#include "base/DateUtil.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quorvane {

class TUserProp;

// The user's groups as the list and the user dialog show them: "staff, editors".
QString GroupsText(const TUserProp& user);

class TUsersModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class TColumn {
        Login,
        Status,
        ExpireDate,
        Email,
        FullName,
        Created,
        Password, // shown only while some user is known by a stored hash alone
        Groups,   // shown only while some user belongs to a group
    };
    static constexpr int KColumnCount = static_cast<int>(TColumn::Groups) + 1;
    // Qt's column index of a column, and the column at an index (nothing outside the model).
    static constexpr int Index(TColumn column) { return static_cast<int>(column); }
    static std::optional<TColumn> ColumnAt(int index);

    explicit TUsersModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QString ColumnCaption(TColumn column);
    // The text a column shows for a user.
    QString CellText(const TUserProp& user, TColumn column) const;
    // A day count in the locale's short date format with the year in full, date only.
    QString DateText(TDateTime value) const;

    // What the login column marks: an enabled user without any password, or one known only by
    // a weak stored hash. The tool tip says which.
    enum class TMark { None, NoPassword, WeakHash };
    static TMark MarkOf(const TUserProp& user);
    static QString MarkText(const TUserProp& user);
    // Disabled, or enabled but past the expiry date: the row is shown inactive.
    static bool Greyed(const TUserProp& user);

    TUserProp* UserAt(int row) const;
    const std::vector<TUserProp*>& Rows() const { return FRows; }

    // Replaces all rows at once; returns the rows shown before.
    std::vector<TUserProp*> SetRows(std::vector<TUserProp*> rows);
    void Clear();
    // Appends a row referring to the user; returns its position.
    int AppendRow(TUserProp* user);
    // Makes the row refer to the user and shows it again.
    void SetUserAt(int row, TUserProp* user);
    // Removes the rows at these positions (any order, no duplicates); returns the users they
    // referred to, in row order.
    std::vector<TUserProp*> RemoveRows(std::vector<int> rows);
    // Sorts the rows by a sort key (see CompareUsers); the selection follows its rows, and so do
    // the values of `along` (one a row, such as the users' places in the list) when given.
    void SortRows(int sortKey, std::vector<int>* along = nullptr);
    // Counts every change of the rows (set, added, removed, shown again, sorted): rows a caller
    // derived from the rows at one count still stand for them while the count is the same.
    uint64_t Changes() const { return FChanges; }

private:
    std::vector<TUserProp*> FRows;
    uint64_t FChanges = 0;
    mutable std::unordered_map<long long, QString> FDateTexts; // whole day -> short date
    mutable QString FDateFormat;
};

} // namespace quorvane
