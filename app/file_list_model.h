#pragma once
// The file list: rows of GifListEntry shown in five columns. Numbers are
// given when a row is added and travel with it; only RestartNumbering (Add
// Folder) starts them at 1 again.

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace reelmill {

struct GifListEntry {
  QString number;        // "No"
  QString fileName;      // "FileName": the text after the last '/'
  QString dimension;     // "Dimension": "%d*%d"
  QString count;         // "Count"
  QString filePath;      // "FilePath", as text to show
  std::string path;      // the path's own bytes, for everything but showing it
  std::uint64_t id = 0;  // stays with the row wherever it moves
  friend bool operator==(const GifListEntry&, const GifListEntry&) = default;
};

// Width and height from a dimension text: the integers before and after its
// first '*' (0 where there is none).
struct Dimension {
  int width = 0;
  int height = 0;
};
Dimension ParseDimension(const QString& text);

class FileListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kNo, kFileName, kDimension, kCount, kFilePath, kColumns };
  static constexpr int kColumnWidths[kColumns] = {30, 100, 70, 50, 150};

  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Appends a row with the next running number; its id, `id` when given.
  std::uint64_t Add(const std::string& path, int count, int width, int height, std::uint64_t id = 0);
  // Sets Count and Dimension of the row `id`, if it is still there.
  void Correct(std::uint64_t id, int count, int width, int height);
  void RemoveRows(std::vector<int> rows);
  void RemoveAll();
  // Moves row `from` one place to `to` (from +- 1).
  void MoveRow(int from, int to);
  void RestartNumbering() { rowCounter_ = 0; }
  int LastNumber() const { return rowCounter_; }

  const GifListEntry& Entry(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  int Count() const { return static_cast<int>(rows_.size()); }

 private:
  std::vector<GifListEntry> rows_;
  int rowCounter_ = 0;
  std::uint64_t nextId_ = std::uint64_t{1} << 62;  // apart from the ids callers give
};

}  // namespace reelmill
