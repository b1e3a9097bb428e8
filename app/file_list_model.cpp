#include "app/file_list_model.h"

#include <algorithm>
#include <climits>

#include "app/local_path.h"

namespace reelmill {

namespace {

int LeadingInteger(QStringView text) {
  // Read as a C library reads a decimal: optional blanks and sign, then digits.
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = std::min<long long>(value * 10 + (text[i].unicode() - u'0'), 1LL << 31);
  }
  return static_cast<int>(std::clamp<long long>(negative ? -value : value, INT_MIN, INT_MAX));
}

}  // namespace

Dimension ParseDimension(const QString& text) {
  const qsizetype star = text.indexOf(u'*');
  if (star < 0) return {LeadingInteger(text), 0};
  return {LeadingInteger(QStringView(text).left(star)), LeadingInteger(QStringView(text).mid(star + 1))};
}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  const GifListEntry& entry = Entry(index.row());
  if (role == Qt::ToolTipRole) return entry.filePath;
  switch (index.column()) {
    case kNo: return entry.number;
    case kFileName: return entry.fileName;
    case kDimension: return entry.dimension;
    case kCount: return entry.count;
    case kFilePath: return entry.filePath;
    default: return {};
  }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kHeaders[kColumns] = {"No", "FileName", "Dimension", "Count", "FilePath"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns) return {};
  return QString::fromLatin1(kHeaders[section]);
}

std::uint64_t FileListModel::Add(const std::string& path, int count, int width, int height, std::uint64_t id) {
  ++rowCounter_;
  GifListEntry entry{QString::number(rowCounter_), DisplayName(path), QStringLiteral("%1*%2").arg(width).arg(height),
                     QString::number(count),       DisplayPath(path), path,
                     id != 0 ? id : nextId_++};
  beginInsertRows({}, Count(), Count());
  rows_.push_back(std::move(entry));
  endInsertRows();
  return rows_.back().id;
}

void FileListModel::Correct(std::uint64_t id, int count, int width, int height) {
  const auto found = std::find_if(rows_.begin(), rows_.end(), [id](const GifListEntry& e) { return e.id == id; });
  if (found == rows_.end()) return;
  found->count = QString::number(count);
  found->dimension = QStringLiteral("%1*%2").arg(width).arg(height);
  const int row = static_cast<int>(found - rows_.begin());
  emit dataChanged(index(row, kDimension), index(row, kCount));
}

void FileListModel::RemoveRows(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (const int row : rows) {
    if (row < 0 || row >= Count()) continue;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
  }
}

void FileListModel::RemoveAll() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void FileListModel::MoveRow(int from, int to) {
  if (from < 0 || to < 0 || from >= Count() || to >= Count() || from == to) return;
  // Qt names the destination as the row before which the moved row lands.
  beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
  std::swap(rows_[static_cast<std::size_t>(from)], rows_[static_cast<std::size_t>(to)]);
  endMoveRows();
}

}  // namespace reelmill
