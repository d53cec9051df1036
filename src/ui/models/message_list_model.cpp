#include "ui/models/message_list_model.h"

#include "ui/text_convert.h"

#include <QHash>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <vector>

namespace pelmora {
namespace {

constexpr int kIconSize = 16;

void DrawState(QPainter& p, int state) {
    p.setRenderHint(QPainter::Antialiasing);
    switch (state) {
    case 2: // unread: closed envelope
        p.setPen(QPen(QColor(0x20, 0x40, 0xa0), 1.2));
        p.setBrush(QColor(0xff, 0xf0, 0xa0));
        p.drawRect(QRectF(2.5, 4.5, 11, 8));
        p.drawLine(QPointF(2.5, 4.5), QPointF(8, 9));
        p.drawLine(QPointF(13.5, 4.5), QPointF(8, 9));
        break;
    case 0: // check
        p.setPen(QPen(QColor(0x10, 0x90, 0x20), 2.2));
        p.drawLine(QPointF(3, 8.5), QPointF(6.5, 12));
        p.drawLine(QPointF(6.5, 12), QPointF(13, 4));
        break;
    case 1: { // flag
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.2));
        p.drawLine(QPointF(4, 2), QPointF(4, 14));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xd0, 0x20, 0x20));
        QPainterPath path;
        path.moveTo(4.5, 2.5);
        path.lineTo(13, 5);
        path.lineTo(4.5, 8.5);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case 4: // orphan: question mark
        p.setPen(QColor(0xd0, 0x70, 0x00));
        p.setFont(QFont(QStringLiteral("Sans"), 10, QFont::Bold));
        p.drawText(QRect(0, 0, kIconSize, kIconSize), Qt::AlignCenter, QStringLiteral("?"));
        break;
    case 5: // low priority: arrow down
        p.setPen(QPen(QColor(0x20, 0x60, 0xc0), 2));
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(4, 9), QPointF(8, 13));
        p.drawLine(QPointF(12, 9), QPointF(8, 13));
        break;
    case 6: // high priority: exclamation mark
        p.setPen(QColor(0xd0, 0x10, 0x10));
        p.setFont(QFont(QStringLiteral("Sans"), 11, QFont::Bold));
        p.drawText(QRect(0, 0, kIconSize, kIconSize), Qt::AlignCenter, QStringLiteral("!"));
        break;
    default: // read: open envelope outline
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(2.5, 6.5, 11, 6));
        p.drawLine(QPointF(2.5, 6.5), QPointF(8, 2.5));
        p.drawLine(QPointF(13.5, 6.5), QPointF(8, 2.5));
        break;
    }
}

void DrawAttachment(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(5, 2, 5, 12), 2.5, 2.5);
    p.drawLine(QPointF(7.5, 5), QPointF(7.5, 11));
}

} // namespace

QPixmap TMessageListModel::StateColumnPixmap(int state, int image) {
    static QHash<int, QPixmap> cache;
    const int key = state * 16 + (image >= kImageAttachment ? 1 : 0);
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    QPixmap pixmap(2 * kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        DrawState(painter, state);
        if (image >= kImageAttachment) {
            painter.translate(kIconSize, 0);
            DrawAttachment(painter);
        }
    }
    cache.insert(key, pixmap);
    return pixmap;
}

QString TMessageListModel::PathOfCaption(const QString& caption) {
    return ToQt(RowPath(FromQt(caption)));
}

TMessageListModel::TMessageListModel(QObject* parent)
    : QAbstractTableModel(parent), Source(&OwnList) {
    Source->AddObserver(this);
}

TMessageListModel::~TMessageListModel() { Source->RemoveObserver(this); }

void TMessageListModel::SetList(TMessageList* list) {
    TMessageList* next = list ? list : &OwnList;
    if (next == Source)
        return;
    beginResetModel();
    Source->RemoveObserver(this);
    Source = next;
    Source->AddObserver(this);
    endResetModel();
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void TMessageListModel::SetHeadings(const QStringList& headings) {
    std::array<std::string, kListColumnCount> texts;
    for (int i = 0; i < kListColumnCount && i < headings.size(); ++i)
        texts[static_cast<size_t>(i)] = FromQt(headings[i]);
    Source->SetHeadings(texts);
}

void TMessageListModel::SetRows(QVector<TMessageRow> rows) {
    Source->BeginBulk();
    Source->Clear();
    for (const TMessageRow& row : rows) {
        TListRow core;
        core.StateIndex = row.State;
        core.ImageIndex = row.Image;
        std::array<std::string, kListColumnCount> texts;
        texts[0] = FromQt(row.Caption);
        for (int i = 0; i < kSubItemCount && i < row.SubItems.size(); ++i)
            texts[static_cast<size_t>(i) + 1] = FromQt(row.SubItems[i]);
        core.SetCells({texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]});
        Source->Add(std::move(core));
    }
    Source->EndBulk();
}

void TMessageListModel::Clear() { Source->Clear(); }

TMessageRow TMessageListModel::Row(int row) const {
    TMessageRow out;
    if (row < 0 || row >= Source->Count())
        return out;
    const TListRow& core = Source->Row(row);
    out.Caption = ToQt(core.Caption());
    out.State = core.StateIndex;
    out.Image = core.ImageIndex;
    for (int i = 0; i < kSubItemCount; ++i)
        out.SubItems.append(ToQt(core.SubItem(i)));
    return out;
}

int TMessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Source->Count();
}

int TMessageListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TMessageListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TListRow& row = Source->Row(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column == 0 ? QVariant() : QVariant(ToQt(row.Cell(column)));
    case Qt::ToolTipRole:
        return column == 0 ? QVariant(ToQt(RowPath(row.Caption()))) : QVariant(ToQt(row.Cell(column)));
    case Qt::DecorationRole:
        return column == 0 ? QVariant(StateColumnPixmap(row.StateIndex, row.ImageIndex)) : QVariant();
    case Qt::TextAlignmentRole:
        return column == 4 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case kStateRole:
        return column == 0 ? QVariant(row.StateIndex) : QVariant();
    case kImageRole:
        return column == 0 ? QVariant(row.ImageIndex) : QVariant();
    case kPathRole:
        return ToQt(RowPath(row.Caption()));
    default:
        return {};
    }
}

QVariant TMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return ToQt(Source->Headings()[static_cast<size_t>(section)]);
    return {};
}

Qt::ItemFlags TMessageListModel::flags(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

QStringList TMessageListModel::mimeTypes() const {
    return {QString::fromLatin1(kMessageRowsMime)};
}

QMimeData* TMessageListModel::mimeData(const QModelIndexList& indexes) const {
    // One line per row, in list order, whatever the columns of the indexes.
    std::vector<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && index.model() == this && index.row() < Source->Count())
            rows.push_back(index.row());
    }
    if (rows.empty())
        return nullptr;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QByteArray paths;
    for (int row : rows) {
        paths += QByteArray::fromStdString(RowPath(Source->Row(row).Caption()));
        paths += '\n';
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kMessageRowsMime), paths);
    return data;
}

Qt::DropActions TMessageListModel::supportedDragActions() const {
    return Qt::MoveAction | Qt::CopyAction;
}

void TMessageListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumnCount)
        return;
    Source->SetSort(column, order == Qt::AscendingOrder);
    Q_EMIT SortChanged(Source->SortColumn(), Source->Ascending());
}

void TMessageListModel::HeadingClicked(int column) {
    Source->HeadingClick(column);
    Q_EMIT SortChanged(Source->SortColumn(), Source->Ascending());
}

void TMessageListModel::RowsAboutToBeInserted(int first, int last) {
    if (!Resetting)
        beginInsertRows(QModelIndex(), first, last);
}
void TMessageListModel::RowsInserted(int, int) {
    if (!Resetting)
        endInsertRows();
}
void TMessageListModel::RowsAboutToBeRemoved(int first, int last) {
    if (!Resetting)
        beginRemoveRows(QModelIndex(), first, last);
}
void TMessageListModel::RowsRemoved(int, int) {
    if (!Resetting)
        endRemoveRows();
}
void TMessageListModel::RowsChanged(int first, int last) {
    if (!Resetting)
        Q_EMIT dataChanged(index(first, 0), index(last, kColumnCount - 1));
}
void TMessageListModel::AboutToBeReset() {
    if (Resetting)
        return;
    Resetting = true;
    beginResetModel();
}
void TMessageListModel::Reset() {
    if (!Resetting)
        return;
    Resetting = false;
    endResetModel();
}
void TMessageListModel::SelectionChanged() { Q_EMIT CoreSelectionChanged(); }
void TMessageListModel::HeadingsChanged() {
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

} // namespace pelmora
