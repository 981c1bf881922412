#include "ConversionListModel.h"

#include "NSLanguage.h"
#include "RegularFile.h"

#include <QFile>

#include <algorithm>
#include <iostream>
#include <optional>

namespace pravix
{
namespace
{

QString qstr(const std::string& text)
{
    return QString::fromStdString(text);
}

QString lastPathPart(const QString& path)
{
    return path.section(QLatin1Char('/'), -1);
}

QString stateText(const NSPravixData& entry)
{
    if (!entry.ToErrInfo.empty()) {
        return localizedText(qstr(entry.ToErrInfo));
    }
    return qstr(entry.ToTitle);
}

QString stateIcon(const NSPravixData& entry)
{
    if (!entry.ToErrInfo.empty() || !entry.ToTitle.empty()) {
        return QString();
    }
    return entry.ToPath.empty() ? QStringLiteral("NoTo") : QStringLiteral("ToComplete");
}

void logDuplicate(const QString& path)
{
    std::cout << "找到重复：" << path.toUtf8().constData() << std::endl;
}

}  // namespace

bool isHeicPath(const QString& path)
{
    const QStringList parts = lastPathPart(path).split(QLatin1Char('.'));
    return parts.size() >= 2 && parts.last().toUpper() == QLatin1String("HEIC");
}

NSPravixData makeListEntry(const QString& path)
{
    NSPravixData entry;
    entry.isSelect = true;
    entry.HeicPath = path.toStdString();
    // Opened as the conversion opens it: what cannot be read (a FIFO, a device, no permission) shows 0.
    const std::optional<RegularFile> file = RegularFile::open(QFile::encodeName(path).toStdString());
    entry.HeicFileSize = byteSizeText(file ? file->size() : 0);
    entry.FileName = lastPathPart(path).section(QLatin1Char('.'), 0, 0).toStdString();
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    QString folder = slash > 0 ? path.left(slash) : QString();
    if (slash == 0) {
        folder = QStringLiteral("/");
    }
    entry.OriginalFilePath = folder.toStdString();
    return entry;
}

ConversionListModel::ConversionListModel(std::vector<NSPravixData>& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list)
{
}

NSPravixData* ConversionListModel::entryAt(int row)
{
    return row >= 0 && static_cast<size_t>(row) < list_.size() ? &list_[static_cast<size_t>(row)] : nullptr;
}

int ConversionListModel::rowOf(const NSPravixData& entry) const
{
    if (list_.empty() || &entry < list_.data() || &entry >= list_.data() + list_.size()) {
        return -1;
    }
    return static_cast<int>(&entry - list_.data());
}

int ConversionListModel::rowOfEntryId(uint64_t entryId) const
{
    const auto it = std::find_if(list_.begin(), list_.end(), [entryId](const NSPravixData& e) { return e.entryId == entryId; });
    return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

void ConversionListModel::rebuildIndexIfStale() const
{
    if (pathsValid_ && paths_.size() == list_.size()) {
        return;
    }
    paths_.clear();
    paths_.reserve(list_.size());
    for (const NSPravixData& entry : list_) {
        paths_.insert(entry.HeicPath);
    }
    pathsValid_ = true;
}

bool ConversionListModel::containsHeicPath(const QString& path) const
{
    rebuildIndexIfStale();
    return paths_.count(path.toStdString()) != 0;
}

ConversionListModel::AddResult ConversionListModel::AddHeicPath(const QString& path)
{
    if (!isHeicPath(path)) {
        return AddResult::NotHeic;
    }
    if (containsHeicPath(path)) {
        logDuplicate(path);
        return AddResult::Duplicate;
    }
    NSPravixData entry = makeListEntry(path);
    const int row = static_cast<int>(list_.size());
    beginInsertRows(QModelIndex(), row, row);
    paths_.insert(entry.HeicPath);
    list_.push_back(std::move(entry));
    endInsertRows();
    return AddResult::Added;
}

int ConversionListModel::AddHeicPaths(const QStringList& paths)
{
    rebuildIndexIfStale();
    std::vector<NSPravixData> added;
    for (const QString& path : paths) {
        if (!isHeicPath(path)) {
            continue;
        }
        const std::string key = path.toStdString();
        if (!paths_.insert(key).second) {
            logDuplicate(path);
            continue;
        }
        added.push_back(makeListEntry(path));
    }
    if (added.empty()) {
        return 0;
    }
    const int first = static_cast<int>(list_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    list_.insert(list_.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    endInsertRows();
    return static_cast<int>(added.size());
}

void ConversionListModel::removeEntryAt(int row)
{
    if (!entryAt(row)) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    rebuildIndexIfStale();
    paths_.erase(list_[static_cast<size_t>(row)].HeicPath);
    list_.erase(list_.begin() + row);
    endRemoveRows();
}

int ConversionListModel::removeSelected()
{
    const auto ticked = std::count_if(list_.begin(), list_.end(), [](const NSPravixData& e) { return e.isSelect; });
    if (ticked == 0) {
        return 0;
    }
    beginResetModel();
    list_.erase(std::remove_if(list_.begin(), list_.end(), [](const NSPravixData& e) { return e.isSelect; }),
                list_.end());
    pathsValid_ = false;
    endResetModel();
    return static_cast<int>(ticked);
}

void ConversionListModel::removeAll()
{
    beginResetModel();
    list_.clear();
    paths_.clear();
    pathsValid_ = true;
    endResetModel();
}

void ConversionListModel::setAllSelected(bool selected)
{
    for (NSPravixData& entry : list_) {
        entry.isSelect = selected;
    }
    if (!list_.empty()) {
        emit dataChanged(index(0, SelectColumn), index(rowCount() - 1, SelectColumn), {Qt::CheckStateRole});
    }
}

bool ConversionListModel::allSelected() const
{
    return std::all_of(list_.begin(), list_.end(), [](const NSPravixData& e) { return e.isSelect; });
}

void ConversionListModel::reloadData()
{
    if (!list_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, ListColumnCount - 1));
    }
    emit headerDataChanged(Qt::Horizontal, 0, ListColumnCount - 1);
}

void ConversionListModel::resetList()
{
    beginResetModel();
    pathsValid_ = false;
    endResetModel();
}

int ConversionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

int ConversionListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ListColumnCount;
}

QVariant ConversionListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ListColumnCount) {
        return QVariant();
    }
    const NSPravixData& entry = list_[static_cast<size_t>(index.row())];
    if (role == HeicPathRole) {
        return qstr(entry.HeicPath);
    }
    if (role == ToPathRole) {
        return qstr(entry.ToPath);
    }
    switch (index.column()) {
    case SelectColumn:
        if (role == Qt::CheckStateRole) {
            return entry.isSelect ? Qt::Checked : Qt::Unchecked;
        }
        if (role == Qt::AccessibleTextRole) {
            return lastPathPart(qstr(entry.HeicPath));
        }
        break;
    case NameColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole) {
            return lastPathPart(qstr(entry.HeicPath));
        }
        break;
    case SizeColumn:
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
            // The size field reads "byte" until an entry brings its size text.
            return entry.HeicFileSize.empty() ? QStringLiteral("byte") : qstr(entry.HeicFileSize);
        }
        break;
    case StateColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == StateTextRole) {
            return stateText(entry);
        }
        if (role == StateIconRole) {
            return stateIcon(entry);
        }
        if (role == Qt::AccessibleTextRole) {
            const QString text = stateText(entry);
            if (!text.isEmpty()) {
                return text;
            }
            return localizedText(entry.ToPath.empty() ? QStringLiteral("NotConverted") : QStringLiteral("Converted"));
        }
        break;
    case PreviewColumn:
        if (role == PreviewVisibleRole) {
            return !entry.ToPath.empty();
        }
        if (role == Qt::AccessibleTextRole) {
            return entry.ToPath.empty() ? QString() : localizedText(QStringLiteral("Preview"));
        }
        break;
    case DeleteColumn:
        if (role == Qt::AccessibleTextRole) {
            return localizedText(QStringLiteral("AllDelete"));
        }
        break;
    default:
        break;
    }
    return QVariant();
}

bool ConversionListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != SelectColumn || role != Qt::CheckStateRole ||
        index.row() >= rowCount()) {
        return false;
    }
    list_[static_cast<size_t>(index.row())].isSelect = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags ConversionListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == SelectColumn) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant ConversionListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ListColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kTitleKeys[ListColumnCount] = {"", "FileName", "FileSize", "FileState", "Preview",
                                                            "AllDelete"};
    if (role == Qt::DisplayRole) {
        return section == SelectColumn ? QString() : localizedText(QString::fromLatin1(kTitleKeys[section]));
    }
    if (role == Qt::AccessibleTextRole) {
        return localizedText(section == SelectColumn ? QStringLiteral("SelectAll")
                                                     : QString::fromLatin1(kTitleKeys[section]));
    }
    return QVariant();
}

}  // namespace pravix
