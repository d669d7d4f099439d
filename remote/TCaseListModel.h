#pragma once
// Shows a TCaseList in a report list: five columns (Patient, Study, Size,
// Date, Transfer), the mark and the light as pictures before the patient.
// UI thread only.
#include <QAbstractTableModel>
#include <QPersistentModelIndex>

#include <utility>
#include <vector>

class TCaseList;
struct CaseRow;

class TCaseListModel : public QAbstractTableModel {
public:
    explicit TCaseListModel(TCaseList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    CaseRow* RowAt(const QModelIndex& index) const;

private:
    TCaseList& m_list;
    std::vector<std::pair<QPersistentModelIndex, CaseRow*>> m_saved; // across a re-sort
};
