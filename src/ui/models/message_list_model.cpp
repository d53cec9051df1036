#include "ui/models/message_list_model.h"

#include "ui/message_images.h"

namespace pelmora {

QString TMessageListModel::PathOfCaption(const QString& caption)
{
    const qsizetype open = caption.indexOf(QLatin1Char('<'));
    if (open < 0)
        return {};
    const qsizetype close = caption.indexOf(QLatin1Char('>'), open + 1);
    if (close < 0)
        return {};
    return caption.mid(open + 1, close - open - 1).trimmed();
}

TMessageListModel::TMessageListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TMessageListModel::SetHeadings(const QStringList& headings)
{
    Headings = headings;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void TMessageListModel::SetRows(QVector<TMessageRow> rows)
{
    beginResetModel();
    Rows = std::move(rows);
    endResetModel();
}

void TMessageListModel::Clear()
{
    SetRows({});
}

int TMessageListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TMessageListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TMessageListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TMessageRow& row = Rows[index.row()];
    const int column = index.column();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (column == 0)
            return role == Qt::ToolTipRole ? PathOfCaption(row.Caption) : QVariant();
        const int sub = column - 1;
        return sub < row.SubItems.size() ? row.SubItems[sub] : QString();
    }
    if (role == Qt::DecorationRole && column == 0)
        return MessageRowImage(row.State, row.Image);
    if (role == Qt::UserRole && column == 0)
        return row.State;
    if (role == Qt::UserRole + 1 && column == 0)
        return row.Image;
    return {};
}

QVariant TMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= kColumnCount)
        return {};
    return section < Headings.size() ? Headings[section] : QString();
}

} // namespace pelmora
