#pragma once
// TMessageListModel: the message list as a flat Qt table of six columns (state, date, sender
// or recipients, subject, bytes, Message-ID). It holds rows handed to it by the window; the
// headings come from the texts table. Row data is copied; the model never touches files.

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

namespace pelmora {

struct TMessageRow {
    QString Caption;      // four blanks + state + image + "<" + path + ">"
    int State = -1;       // state code of the message file
    int Image = -1;       // 3 when the message has attachments
    QStringList SubItems; // date, sender or recipients, subject, size, Message-ID
};

class TMessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 6;
    // The file path of a row's caption: the text between the first "<" and the next ">".
    static QString PathOfCaption(const QString& caption);

    explicit TMessageListModel(QObject* parent);

    void SetHeadings(const QStringList& headings);
    void SetRows(QVector<TMessageRow> rows);
    void Clear();
    const TMessageRow& Row(int row) const { return Rows[row]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList Headings;
    QVector<TMessageRow> Rows;
};

} // namespace pelmora
