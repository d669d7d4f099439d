#include "TCaseListModel.h"

#include "RowPictures.h"
#include "TCaseList.h"

#include <QPainter>
#include <QPixmap>

namespace {
const char* const kColumns[5] = {"Patient", "Study", "Size", "Date", "Transfer"};

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The mark (state image) and the light (small image) side by side.
QPixmap Pictures(int mark, int light)
{
    QPixmap p(36, 18);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.drawPixmap(0, 0, MarkPicture(mark));
    g.drawPixmap(18, 0, LightPicture(light));
    return p;
}
} // namespace

TCaseListModel::TCaseListModel(TCaseList& list, QObject* parent) : QAbstractTableModel(parent), m_list(list)
{
    m_list.OnBeginInsert = [this](int row) { beginInsertRows(QModelIndex(), row, row); };
    m_list.OnEndInsert = [this] { endInsertRows(); };
    m_list.OnBeginRemove = [this](int row) { beginRemoveRows(QModelIndex(), row, row); };
    m_list.OnEndRemove = [this] { endRemoveRows(); };
    // Selection and current row follow their rows through a re-sort.
    m_list.OnBeginSort = [this] {
        emit layoutAboutToBeChanged();
        m_saved.clear();
        for (const QModelIndex& i : persistentIndexList())
            m_saved.emplace_back(i, RowAt(i));
    };
    m_list.OnEndSort = [this] {
        QModelIndexList from, to;
        for (const auto& [old, row] : m_saved) {
            from << QModelIndex(old);
            to << index(m_list.IndexOf(row), old.column());
        }
        changePersistentIndexList(from, to);
        m_saved.clear();
        emit layoutChanged();
    };
    m_list.OnRowChanged = [this](int row) {
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, 4));
    };
}

int TCaseListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_list.Count(); }

int TCaseListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

CaseRow* TCaseListModel::RowAt(const QModelIndex& index) const
{
    return index.isValid() && index.row() < m_list.Count() ? m_list.Row(index.row()) : nullptr;
}

QVariant TCaseListModel::data(const QModelIndex& index, int role) const
{
    const CaseRow* row = RowAt(index);
    if (!row)
        return {};
    const int column = index.column();
    if (role == Qt::DisplayRole)
        return Text(column == 0 ? row->Caption : row->SubItems[size_t(column - 1)]);
    if (role == Qt::DecorationRole && column == 0) {
        static QPixmap cache[3][5];
        const int m = row->RowMark + 1, l = row->RowLight;
        if (m < 0 || m > 2 || l < 0 || l > 4)
            return {};
        if (cache[m][l].isNull())
            cache[m][l] = Pictures(row->RowMark, row->RowLight);
        return cache[m][l];
    }
    if (role == Qt::TextAlignmentRole && column == 2)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TCaseListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 5)
        return QString(kColumns[section]);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section == 2)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}
