#include "app/window_actions.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QStringList>
#include <QTableView>
#include <QWidget>
#include <algorithm>

const char* const COPY_ACTION_TEXT = "&Copy";
const char* const COPY_VALUE_ACTION_TEXT = "Copy &value";
const char* const SAVE_REPORT_ACTION_TEXT = "&Save report...";
const char* const SAVE_KEY_PROFILE_ACTION_TEXT = "Save key as &profile...";
const char* const REFRESH_ACTION_TEXT = "&Refresh";

namespace {

QString CellText(const QAbstractItemModel* model, int row, int column) {
  return model->index(row, column).data(Qt::DisplayRole).toString();
}

QString OneLine(QString text) {
  text.replace('\t', ' ');
  text.replace("\r\n", " ");
  text.replace('\n', ' ');
  text.replace('\r', ' ');
  return text;
}

}  // namespace

QString SelectedRowsText(const QTableView* view) {
  const QAbstractItemModel* model = view->model();
  const QItemSelectionModel* selection = view->selectionModel();
  if (model == nullptr || selection == nullptr) return QString();
  std::vector<int> rows;
  for (const QModelIndex& index : selection->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  QStringList lines;
  for (int row : rows) {
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column) {
      cells << OneLine(CellText(model, row, column));
    }
    lines << cells.join('\t');
  }
  return lines.join('\n');
}

QString CurrentValueText(const QTableView* view) {
  const QAbstractItemModel* model = view->model();
  if (model == nullptr || !view->currentIndex().isValid()) return QString();
  int valueColumn = 1;
  for (int column = 0; column < model->columnCount(); ++column) {
    if (model->headerData(column, Qt::Horizontal).toString() == "Value") {
      valueColumn = column;
      break;
    }
  }
  return CellText(model, view->currentIndex().row(), valueColumn);
}

WindowActions::WindowActions(QWidget* window, const std::vector<QTableView*>& lists,
                             Handlers handlers, QAction* before)
    : QObject(window), handlers_(std::move(handlers)), lists_(lists) {
  if (before != nullptr && !window->actions().contains(before)) before = nullptr;
  copy_ = AddAction(window, COPY_ACTION_TEXT, QKeySequence::Copy, before);
  copyValue_ = AddAction(window, COPY_VALUE_ACTION_TEXT,
                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), before);
  auto* separator = new QAction(window);
  separator->setSeparator(true);
  window->insertAction(before, separator);
  saveReport_ = AddAction(window, SAVE_REPORT_ACTION_TEXT, QKeySequence::Save, before);
  saveKeyProfile_ = AddAction(window, SAVE_KEY_PROFILE_ACTION_TEXT, QKeySequence(), before);
  refresh_ = AddAction(window, REFRESH_ACTION_TEXT, QKeySequence(Qt::Key_F5), before);
  if (before != nullptr) {
    separator = new QAction(window);
    separator->setSeparator(true);
    window->insertAction(before, separator);
  }

  // With nothing to copy the clipboard keeps what it holds.
  connect(copy_, &QAction::triggered, this, [this] {
    QTableView* list = ShownList();
    if (list != nullptr && list->selectionModel()->hasSelection()) {
      QGuiApplication::clipboard()->setText(SelectedRowsText(list));
    }
  });
  connect(copyValue_, &QAction::triggered, this, [this] {
    QTableView* list = ShownList();
    if (list != nullptr && list->currentIndex().isValid()) {
      QGuiApplication::clipboard()->setText(CurrentValueText(list));
    }
  });
  connect(saveReport_, &QAction::triggered, this, [this] {
    if (handlers_.saveReport) handlers_.saveReport();
  });
  connect(saveKeyProfile_, &QAction::triggered, this, [this] {
    if (handlers_.saveKeyProfile) handlers_.saveKeyProfile();
  });
  connect(refresh_, &QAction::triggered, this, [this] {
    if (handlers_.refresh) handlers_.refresh();
  });

  for (QTableView* list : lists_) list->installEventFilter(this);
}

QAction* WindowActions::AddAction(QWidget* window, const char* text, const QKeySequence& keys,
                                  QAction* before) {
  auto* action = new QAction(text, window);
  action->setShortcut(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  window->insertAction(before, action);
  return action;
}

QTableView* WindowActions::ShownList() const {
  QTableView* list = handlers_.shownList ? handlers_.shownList() : nullptr;
  return list != nullptr && list->model() != nullptr && list->selectionModel() != nullptr ? list
                                                                                          : nullptr;
}

bool WindowActions::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      auto list = std::find(lists_.begin(), lists_.end(), watched);
      if (list != lists_.end() && handlers_.activateRow) {
        const QModelIndex current = (*list)->currentIndex();
        if (current.isValid()) handlers_.activateRow(*list, current.row());
        return true;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}
