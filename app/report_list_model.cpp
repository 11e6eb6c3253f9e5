#include "app/report_list_model.h"

#include <utility>

ReportListModel::ReportListModel(ReportList& list, QStringList captions, QObject* parent)
    : QAbstractTableModel(parent),
      list_(list),
      captions_(std::move(captions)),
      rows_(static_cast<int>(list.RowCount())) {
  list_.SetObserver(this);
}

ReportListModel::~ReportListModel() { list_.SetObserver(nullptr); }

int ReportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int ReportListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(captions_.size());
}

QVariant ReportListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return QVariant();
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return QVariant();
  const std::string text =
      list_.Cell(static_cast<size_t>(index.row()), static_cast<size_t>(index.column()));
  if (role == Qt::ToolTipRole && text.empty()) return QVariant();
  return QString::fromStdString(text);
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= captions_.size()) {
    return QVariant();
  }
  if (role == Qt::DisplayRole) return captions_[section];
  if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  return QVariant();
}

void ReportListModel::ReportListCleared() {
  beginResetModel();
  rows_ = 0;
  endResetModel();
}

void ReportListModel::ReportListRowAppended(size_t row) {
  const int first = rows_;
  const int last = static_cast<int>(row);
  if (last < first) return;
  beginInsertRows(QModelIndex(), first, last);
  rows_ = last + 1;
  endInsertRows();
}

void ReportListModel::ReportListCellChanged(size_t row, size_t column) {
  if (static_cast<int>(row) >= rows_ || static_cast<int>(column) >= captions_.size()) return;
  const QModelIndex changed = index(static_cast<int>(row), static_cast<int>(column));
  emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::ToolTipRole});
}
