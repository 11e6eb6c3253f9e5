// A table model over one ReportList, so that a view shows its rows as they
// are appended and empties with it.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include "keyinfo/report_list.h"

class ReportListModel final : public QAbstractTableModel, private ReportListObserver {
  Q_OBJECT

 public:
  // The model observes `list` for its whole life; `list` must outlive it.
  ReportListModel(ReportList& list, QStringList captions, QObject* parent = nullptr);
  ~ReportListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  void ReportListCleared() override;
  void ReportListRowAppended(size_t row) override;
  void ReportListCellChanged(size_t row, size_t column) override;

  ReportList& list_;
  const QStringList captions_;
  // The rows announced to views so far. The list tells of a change after
  // making it; views must not see a row before it has been announced.
  int rows_ = 0;
};
