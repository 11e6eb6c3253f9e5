// The table model follows its ReportList: rows appended, cells set, the
// list emptied.
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "app/report_list_model.h"

class ReportListModelTest : public QObject {
  Q_OBJECT

 private slots:
  void FollowsTheList() {
    ReportList list;
    list.AppendRow("before", "the model");
    ReportListModel model(list, {"Item", "Value"});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.index(0, 1).data().toString(), QString("the model"));

    list.AppendRow("    ");
    list.AppendRow("VID", "096E");
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted[1][1].toInt(), 2);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.index(1, 0).data().toString(), QString("    "));
    QCOMPARE(model.index(1, 1).data().toString(), QString());  // never set
    QCOMPARE(model.index(2, 1).data().toString(), QString("096E"));
    // Text reaches the view as UTF-8.
    list.SetCell(1, 1, "\xE2\x80\x99");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed[0][0].toModelIndex(), model.index(1, 1));
    QCOMPARE(model.index(1, 1).data().toString(), QString(QChar(0x2019)));
    // A cell beyond the columns is kept by the list but not shown.
    list.SetCell(2, 5, "hidden");
    QCOMPARE(changed.count(), 1);

    list.Clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.index(0, 0).isValid());
  }

  void HeaderCaptionsAreLeftAligned() {
    ReportList list;
    ReportListModel model(list, {"Tag", "Length", "Value", "Tag Definition", "Value Definition"});
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QString("Tag Definition"));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignLeft | Qt::AlignVCenter));
    QVERIFY(!model.headerData(5, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
  }

  void ListOutlivesItsModel() {
    ReportList list;
    {
      ReportListModel model(list, {"Item", "Value"});
      list.AppendRow("a", "b");
    }
    // No observer left behind.
    list.AppendRow("c", "d");
    list.Clear();
    QCOMPARE(list.RowCount(), size_t(0));
  }
};

QTEST_MAIN(ReportListModelTest)
#include "report_list_model_test.moc"
