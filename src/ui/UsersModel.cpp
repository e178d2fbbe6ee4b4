#include "ui/UsersModel.h"

#include "export/HashOnlyUsers.h"
#include "export/PasswordFile.h"
#include "ui/ByteText.h"
#include "ui/DateConv.h"
#include "ui/MessageText.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"
#include "userdb/UserView.h"

#include <QApplication>
#include <QDate>
#include <QIcon>
#include <QLocale>
#include <QPalette>
#include <QPixmap>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace quorvane {

TUsersModel::TUsersModel(QObject* parent) : QAbstractTableModel(parent) {}

int TUsersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TUsersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : KColumnCount;
}

std::optional<TUsersModel::TColumn> TUsersModel::ColumnAt(int index) {
    if (index < 0 || index >= KColumnCount) return std::nullopt;
    return static_cast<TColumn>(index);
}

QString TUsersModel::ColumnCaption(TColumn column) {
    switch (column) {
    case TColumn::Login:
        return tr("Login");
    case TColumn::Status:
        return tr("Status");
    case TColumn::ExpireDate:
        return tr("Expiration Date");
    case TColumn::Email:
        return tr("Email");
    case TColumn::FullName:
        return tr("Full name");
    case TColumn::Created:
        return tr("Created");
    case TColumn::Password:
        return tr("Password");
    case TColumn::Groups:
        return tr("Groups");
    }
    return QString();
}

QString GroupsText(const TUserProp& user) {
    QStringList names;
    for (const std::string& group : UserGroups(user))
        names << BytesToText(group);
    return names.join(QStringLiteral(", "));
}

QVariant TUsersModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        if (const std::optional<TColumn> column = ColumnAt(section)) return ColumnCaption(*column);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString TUsersModel::DateText(TDateTime value) const {
    const double day = std::floor(value);
    if (!std::isfinite(day) || std::fabs(day) > 4.0e6) return QString();
    const auto key = static_cast<long long>(day);
    auto found = FDateTexts.find(key);
    if (found != FDateTexts.end()) return found->second;
    const TDateParts parts = DecodeDateTime(day);
    const QDate date(parts.Year, parts.Month, parts.Day);
    // The year in full: "05.03.27" leaves the century to be guessed.
    if (FDateFormat.isEmpty()) FDateFormat = ShortDateFormatFullYear();
    QString text = date.isValid() ? QLocale().toString(date, FDateFormat) : QString();
    FDateTexts.emplace(key, text);
    return text;
}

// The states as the users database names them, listed for the translations.
[[maybe_unused]] constexpr const char* kStatusTexts[] = {
    QT_TRANSLATE_NOOP("quorvane::TUsersModel", "Enabled"),
    QT_TRANSLATE_NOOP("quorvane::TUsersModel", "Disabled"),
    QT_TRANSLATE_NOOP("quorvane::TUsersModel", "Expired")};

QString TUsersModel::CellText(const TUserProp& user, TColumn column) const {
    switch (column) {
    case TColumn::Login:
        return BytesToText(user.Login);
    case TColumn::Status:
        return tr(UserStatusText(user, Now()));
    case TColumn::ExpireDate:
        return user.Expire ? DateText(user.ExpireDate) : tr("Never");
    case TColumn::Email:
        return BytesToText(user.Email);
    case TColumn::FullName:
        return BytesToText(user.FullName);
    case TColumn::Created:
        return DateText(user.CreatedDate);
    case TColumn::Password:
        return MessageText(HashOnlyMessage(user)); // a clear password is never shown in the list
    case TColumn::Groups:
        return GroupsText(user);
    }
    return QString();
}

TUsersModel::TMark TUsersModel::MarkOf(const TUserProp& user) {
    if (OpensWithoutPassword(user)) return TMark::NoPassword;
    if (!user.Disable && HasWeakHash(user)) return TMark::WeakHash;
    return TMark::None;
}

bool TUsersModel::Greyed(const TUserProp& user) {
    return user.Disable || (user.Expire && user.ExpireDate < Now());
}

QString TUsersModel::MarkText(const TUserProp& user) {
    switch (MarkOf(user)) {
    case TMark::NoPassword:
        return tr("No password: anyone who knows the login gets in");
    case TMark::WeakHash:
        return tr("The stored hash (%1) is weak: set a new password")
            .arg(MessageText(StoredSchemeMessage(UserHashScheme(user))));
    case TMark::None:
        break;
    }
    return QString();
}

QVariant TUsersModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return QVariant();
    const TUserProp* user = FRows[static_cast<size_t>(index.row())];
    if (!user) return QVariant();
    if (role == Qt::ForegroundRole) {
        // Users who cannot log in (disabled, or past their expiry) are shown as inactive.
        if (Greyed(*user)) return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return QVariant();
    }
    if ((role == Qt::DecorationRole || role == Qt::ToolTipRole) && index.column() == 0) {
        const TMark mark = MarkOf(*user);
        if (role == Qt::ToolTipRole) return mark == TMark::None ? QVariant() : MarkText(*user);
        // Rows without a mark keep its room, so that every login starts at the same place.
        static const QIcon none = [] {
            QPixmap blank(16, 16);
            blank.fill(Qt::transparent);
            return QIcon(blank);
        }();
        if (mark == TMark::None) return none;
        return QApplication::style()->standardIcon(mark == TMark::NoPassword
                                                       ? QStyle::SP_MessageBoxCritical
                                                       : QStyle::SP_MessageBoxWarning);
    }
    if (role == Qt::DisplayRole) {
        // A row shows one line; line breaks stored in a field are shown as blanks.
        const std::optional<TColumn> column = ColumnAt(index.column());
        if (!column) return QVariant();
        QString text = CellText(*user, *column);
        text.replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
        return text;
    }
    return QVariant();
}

TUserProp* TUsersModel::UserAt(int row) const {
    if (row < 0 || row >= rowCount()) return nullptr;
    return FRows[static_cast<size_t>(row)];
}

std::vector<TUserProp*> TUsersModel::SetRows(std::vector<TUserProp*> rows) {
    beginResetModel();
    std::swap(FRows, rows);
    ++FChanges;
    endResetModel();
    return rows;
}

void TUsersModel::Clear() {
    SetRows({});
}

int TUsersModel::AppendRow(TUserProp* user) {
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    FRows.push_back(user);
    ++FChanges;
    endInsertRows();
    return row;
}

void TUsersModel::SetUserAt(int row, TUserProp* user) {
    if (row < 0 || row >= rowCount()) return;
    FRows[static_cast<size_t>(row)] = user;
    ++FChanges;
    emit dataChanged(index(row, 0), index(row, KColumnCount - 1));
}

std::vector<TUserProp*> TUsersModel::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<TUserProp*> removed;
    removed.reserve(rows.size());
    for (int row : rows)
        if (row >= 0 && row < rowCount()) removed.push_back(FRows[static_cast<size_t>(row)]);
    // Remove contiguous blocks from the bottom so earlier positions stay valid.
    size_t end = rows.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin], last = rows[end - 1];
        if (first >= 0 && last < rowCount()) {
            beginRemoveRows(QModelIndex(), first, last);
            FRows.erase(FRows.begin() + first, FRows.begin() + last + 1);
            ++FChanges;
            endRemoveRows();
        }
        end = begin;
    }
    return removed;
}

void TUsersModel::SortRows(int sortKey, std::vector<int>* along) {
    ++FChanges; // rows kept from before are in another order now, however few are shown
    if (FRows.size() < 2) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Sort positions so persistent indexes (the selection) can follow their rows.
    const std::vector<int> order = SortedOrder(FRows, sortKey);
    std::vector<TUserProp*> sorted(FRows.size());
    std::vector<int> newPosition(FRows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted[i] = FRows[static_cast<size_t>(order[i])];
        newPosition[static_cast<size_t>(order[i])] = static_cast<int>(i);
    }
    FRows = std::move(sorted);
    if (along != nullptr && along->size() == order.size()) {
        std::vector<int> moved(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            moved[i] = (*along)[static_cast<size_t>(order[i])];
        *along = std::move(moved);
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& old : from)
        to.append(index(newPosition[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace quorvane
