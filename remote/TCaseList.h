#pragma once
// The catalogue of cases as the download manager lists them: rows kept sorted
// (ascending) by the current sort column, one row per case key. Works without
// a window; the list view observes it.
//
// Threads: UI thread only. Workers reach it through synchronised calls.
#include "CaseRow.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TCaseList {
public:
    int Count() const { return int(m_rows.size()); }
    CaseRow* Row(int index) const { return m_rows[size_t(index)].get(); }
    int IndexOf(const CaseRow* row) const;
    // The row whose key equals key exactly, or null (a hash look-up: a
    // catalogue of many thousands of cases is built row by row).
    CaseRow* FindRow(const std::string& key) const;

    // Returns the row of key, adding it (parsed from the key) when there is none.
    CaseRow* AddCaseRow(const std::string& key, int light);
    // Takes the row out of the list and frees it.
    void RemoveRow(CaseRow* row);

    int SortColumn() const { return m_sortColumn; }
    // Sorts the whole list by a column (0 Patient .. 4 Transfer), ascending.
    void SortBy(int column);

    // Every change of a row's texts, light or mark is reported here: the
    // observer repaints it, and the next added row re-sorts the list first.
    void RowChanged(CaseRow* row);

    // Observers (the list view): a row is inserted at index; the rows are
    // re-ordered; one row's contents changed.
    std::function<void(int index)> OnBeginInsert;
    std::function<void()> OnEndInsert;
    std::function<void()> OnBeginSort;
    std::function<void()> OnEndSort;
    std::function<void(int index)> OnRowChanged;
    std::function<void(int index)> OnBeginRemove;
    std::function<void()> OnEndRemove;

    // The comparison text of a row for a sort column.
    static const std::string& SortText(const CaseRow& row, int column);
    static bool Less(const CaseRow& a, const CaseRow& b, int column);

private:
    void Resort();

    std::vector<std::unique_ptr<CaseRow>> m_rows;
    std::unordered_map<std::string, CaseRow*> m_byKey;
    int m_sortColumn = 0;
    bool m_unsorted = false;
};

// Patient display name, study text and date field of a key
// group\patient\study.
struct TParsedKey {
    std::string patient;
    std::string study;
    std::string dateField; // dots removed; empty without "!"
    bool hasDate = false;
};
TParsedKey ParseCaseKey(const std::string& key);
