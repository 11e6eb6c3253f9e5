// The main window's everyday actions, in its context menu and on keys:
// "Copy" (Ctrl+C), "Copy value" (Ctrl+Shift+C), "Save report..." (Ctrl+S),
// "Refresh" (F5), and Enter on a row doing what a double click on it does.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QAction;
class QTableView;
class QWidget;

extern const char* const COPY_ACTION_TEXT;              // "&Copy"
extern const char* const COPY_VALUE_ACTION_TEXT;        // "Copy &value"
extern const char* const SAVE_REPORT_ACTION_TEXT;       // "&Save report..."
extern const char* const SAVE_KEY_PROFILE_ACTION_TEXT;  // "Save key as &profile..."
extern const char* const REFRESH_ACTION_TEXT;           // "&Refresh"

// The selected rows of `view`, top to bottom, as lines of tab-separated
// cells (every column, unset cells empty); tabs and line breaks inside a cell
// become spaces, so that each row stays one line.
QString SelectedRowsText(const QTableView* view);
// The text of the current row's value cell: the column captioned "Value",
// else column 1. Empty without a current row.
QString CurrentValueText(const QTableView* view);

class WindowActions final : public QObject {
  Q_OBJECT

 public:
  struct Handlers {
    std::function<QTableView*()> shownList;  // the list of the page shown
    std::function<void()> saveReport;
    std::function<void()> saveKeyProfile;
    std::function<void()> refresh;
    // What a double click on `row` of `list` does.
    std::function<void(QTableView* list, int row)> activateRow;
  };

  // Adds the actions to `window` (its context menu and shortcuts), before
  // `before` when that is one of its actions, and follows Enter on `lists`.
  WindowActions(QWidget* window, const std::vector<QTableView*>& lists, Handlers handlers,
                QAction* before = nullptr);

  QAction* copyAction() const { return copy_; }
  QAction* copyValueAction() const { return copyValue_; }
  QAction* saveReportAction() const { return saveReport_; }
  QAction* saveKeyProfileAction() const { return saveKeyProfile_; }
  QAction* refreshAction() const { return refresh_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* AddAction(QWidget* window, const char* text, const QKeySequence& keys, QAction* before);
  QTableView* ShownList() const;

  Handlers handlers_;
  std::vector<QTableView*> lists_;
  QAction* copy_ = nullptr;
  QAction* copyValue_ = nullptr;
  QAction* saveReport_ = nullptr;
  QAction* saveKeyProfile_ = nullptr;
  QAction* refresh_ = nullptr;
};
