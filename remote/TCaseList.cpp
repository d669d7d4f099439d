#include "TCaseList.h"

#include "Formatting.h"

#include <algorithm>
#include <strings.h>

namespace {
std::string BeforeBang(const std::string& s)
{
    const size_t bang = s.find('!');
    return bang == std::string::npos ? s : s.substr(0, bang);
}
} // namespace

TParsedKey ParseCaseKey(const std::string& key)
{
    TParsedKey p;
    const size_t a = key.find('\\');
    const size_t b = a == std::string::npos ? std::string::npos : key.find('\\', a + 1);
    const std::string patient = a == std::string::npos ? key : key.substr(a + 1, b == std::string::npos ? b : b - a - 1);
    const std::string study = b == std::string::npos ? std::string() : key.substr(b + 1);
    p.patient = BeforeBang(patient);
    p.study = BeforeBang(study);
    const size_t bang = study.find('!');
    if (bang != std::string::npos) {
        p.hasDate = true;
        for (char c : study.substr(bang + 1, 255))
            if (c != '.')
                p.dateField += c;
    }
    return p;
}

int TCaseList::IndexOf(const CaseRow* row) const
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].get() == row)
            return int(i);
    return -1;
}

CaseRow* TCaseList::FindRow(const std::string& key) const
{
    const auto found = m_byKey.find(key);
    return found == m_byKey.end() ? nullptr : found->second;
}

const std::string& TCaseList::SortText(const CaseRow& row, int column)
{
    switch (column) {
    case 1: return row.SubItems[riStudy];
    case 2: return row.SubItems[riSizeKey];
    case 3: return row.SubItems[riDateKey];
    case 4: return row.SubItems[riTransfer];
    default: return row.Caption;
    }
}

bool TCaseList::Less(const CaseRow& a, const CaseRow& b, int column)
{
    // Size keys of cases over 4 GiB have more than eight digits: a longer key
    // is a larger size (an empty key, no size, comes first).
    if (column == 2 && SortText(a, 2).size() != SortText(b, 2).size())
        return SortText(a, 2).size() < SortText(b, 2).size();
    const int order = strcasecmp(SortText(a, column).c_str(), SortText(b, column).c_str());
    // Rows that sort alike go by their keys: the order in which the
    // server's folders arrived, over one connection or several, never shows.
    return order != 0 ? order < 0 : a.Key() < b.Key();
}

CaseRow* TCaseList::AddCaseRow(const std::string& key, int light)
{
    if (CaseRow* existing = FindRow(key))
        return existing;
    const TParsedKey parsed = ParseCaseKey(key);
    auto row = std::make_unique<CaseRow>();
    row->Caption = parsed.patient;
    row->SubItems[riStudy] = parsed.study;
    row->SubItems[riSize].assign(1, '-'); // (a literal here trips a false g++ 12 -Wrestrict)
    row->SubItems[riDate] = parsed.hasDate ? FormatCaseDate(parsed.dateField) : std::string();
    row->SubItems[riKey] = key;
    row->SubItems[riDateKey] = parsed.dateField;
    row->RowLight = light;
    row->RowMark = rmNone;
    CaseRow* added = row.get();
    if (m_unsorted) // a row's texts changed since the last sort
        Resort();
    // Inserting after every row that does not sort after it gives the order a
    // full stable sort would give, without re-sorting a long catalogue.
    const int column = m_sortColumn;
    auto at = std::upper_bound(m_rows.begin(), m_rows.end(), added,
                               [column](const CaseRow* r, const std::unique_ptr<CaseRow>& x) { return Less(*r, *x, column); });
    const int index = int(at - m_rows.begin());
    if (OnBeginInsert)
        OnBeginInsert(index);
    m_rows.insert(m_rows.begin() + index, std::move(row));
    m_byKey.emplace(key, added);
    if (OnEndInsert)
        OnEndInsert();
    return added;
}

void TCaseList::RemoveRow(CaseRow* row)
{
    const int index = IndexOf(row);
    if (index < 0)
        return;
    if (OnBeginRemove)
        OnBeginRemove(index);
    m_byKey.erase(row->Key());
    m_rows.erase(m_rows.begin() + index);
    if (OnEndRemove)
        OnEndRemove();
}

void TCaseList::SortBy(int column)
{
    m_sortColumn = std::clamp(column, 0, 4);
    Resort();
}

void TCaseList::Resort()
{
    if (OnBeginSort)
        OnBeginSort();
    std::stable_sort(m_rows.begin(), m_rows.end(), [this](const auto& a, const auto& b) { return Less(*a, *b, m_sortColumn); });
    m_unsorted = false;
    if (OnEndSort)
        OnEndSort();
}

void TCaseList::RowChanged(CaseRow* row)
{
    m_unsorted = true;
    if (OnRowChanged)
        OnRowChanged(IndexOf(row));
}
