#pragma once

#include "ListColumn.h"
#include "NSPravixData.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <string>
#include <unordered_set>
#include <vector>

namespace pravix
{

// The path rules of the list's add function.
// A path qualifies when its last "/"-separated part has at least one "." and the text after the
// last "." is "HEIC" in any letter case.
bool isHeicPath(const QString& path);
// The entry the list makes for a path: ticked, the size text of the file's length (0 bytes when
// it is no readable file), FileName = the last part up to its first ".", OriginalFilePath = the
// path without its last part ("/" for a file in the root).
NSPravixData makeListEntry(const QString& path);

// The conversion list as a table model over the main window's list of entries (row i shows entry
// i). The window owns the vector; the batch works on it by entry and asks for reloadData() after
// each change of the entries' fields. Membership changes go through the model (AddHeicPath,
// removeRow..., removeAll) so views stay in step, or are followed by resetList().
//
// Columns and roles:
//   select   CheckStateRole (the tick, settable), AccessibleTextRole the file name
//   name     DisplayRole, ToolTipRole: last path component of HeicPath
//   size     DisplayRole: HeicFileSize ("byte" while it is empty)
//   state    StateTextRole/DisplayRole/ToolTipRole: the looked-up ToErrInfo, else ToTitle, else
//            empty; StateIconRole: "" while a text shows, else "ToComplete" (ToPath set) or "NoTo"
//   prview   PreviewVisibleRole: ToPath is not empty
//   delete   AccessibleTextRole: the localised "AllDelete"
// Every column also answers HeicPathRole and ToPathRole.
class ConversionListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role
    {
        HeicPathRole = Qt::UserRole + 1,
        ToPathRole,
        StateTextRole,
        StateIconRole,
        PreviewVisibleRole,
    };

    enum class AddResult
    {
        Added,
        Duplicate,  // logged as "找到重复：<path>"
        NotHeic,    // ignored without a word
    };

    explicit ConversionListModel(std::vector<NSPravixData>& list, QObject* parent = nullptr);

    std::vector<NSPravixData>& TablePathArr() { return list_; }
    const std::vector<NSPravixData>& TablePathArr() const { return list_; }
    NSPravixData* entryAt(int row);
    // Row of an entry of this list (by address); -1 for any other.
    int rowOf(const NSPravixData& entry) const;
    // Row of the entry with this entryId (the batch's name for it); -1 when it is not in the list.
    int rowOfEntryId(uint64_t entryId) const;

    // The list's add function: appends one qualifying path that is not in the list yet.
    AddResult AddHeicPath(const QString& path);
    // The same for many paths, in order, with one row insertion for the views; the count added.
    int AddHeicPaths(const QStringList& paths);
    bool containsHeicPath(const QString& path) const;

    void removeEntryAt(int row);
    // Removes every ticked entry; the count removed.
    int removeSelected();
    void removeAll();

    // Every entry ticked (true) or cleared.
    void setAllSelected(bool selected);
    // Every entry is ticked; also true for an empty list (the header box then shows ticked).
    bool allSelected() const;

    // The entries' fields changed (batch progress, results, language): the views redraw every
    // row, keeping their current row and selection.
    void reloadData();
    // The vector was changed from outside: the views start over.
    void resetList();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void rebuildIndexIfStale() const;

    std::vector<NSPravixData>& list_;
    // HeicPath of every entry, for the duplicate test of thousands of adds.
    mutable std::unordered_set<std::string> paths_;
    mutable bool pathsValid_ = false;
};

}  // namespace pravix
