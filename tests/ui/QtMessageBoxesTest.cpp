#include "ui/QtMessageBoxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

namespace tagkana {
namespace {

// Runs `look` on the modal box once it is up; `look` must close it.
void whenShown(const std::function<void(QWidget&)>& look) {
  QTimer::singleShot(0, [look] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    look(*box);
    if (box->isVisible()) {
      ADD_FAILURE() << "the box stayed open";
      box->close();
    }
  });
}

std::u16string numberedLines(int count) {
  std::u16string text = u"完了しました\r\n\r\n";
  for (int i = 1; i <= count; ++i) {
    const std::string digits = std::to_string(i);
    text += std::u16string(digits.begin(), digits.end()) + u".mp3　成功\r\n";
  }
  return text;
}

bool onScreen(const QWidget& widget, const QRect& available) {
  return available.contains(QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size()));
}

TEST(QtMessageBoxes, LongTextShowsItsFirstLinesAndAllOfItWithinTheScreen) {
  QWidget owner;
  owner.show();
  QtMessageBoxes boxes(&owner);
  const std::u16string text = numberedLines(40000);
  QString expected = QString::fromStdU16String(text);
  expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

  whenShown([&](QWidget& box) {
    const QRect available = box.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(box.frameGeometry())) << box.frameGeometry().height();
    auto* first = box.findChild<QLabel*>(QStringLiteral("lblFirstLines"));
    auto* whole = box.findChild<QListView*>(QStringLiteral("lstWhole"));
    auto* ok = box.findChild<QPushButton*>(QStringLiteral("btnOk"));
    ASSERT_TRUE(first && whole && ok);
    EXPECT_TRUE(first->text().startsWith(QStringLiteral("完了しました\n\n1.mp3　成功\n")));
    const QStringList lines = expected.split(QLatin1Char('\n'));
    ASSERT_EQ(whole->model()->rowCount(), lines.size());
    EXPECT_EQ(whole->model()->index(40001, 0).data().toString(), QStringLiteral("40000.mp3　成功"));
    EXPECT_TRUE(ok->isVisible() && onScreen(*ok, available));
    EXPECT_EQ(box.findChild<QPushButton*>(QStringLiteral("btnCancel")), nullptr);
    // The whole text can be selected and copied, or some of its lines.
    QApplication::clipboard()->clear();
    whole->setFocus();
    QTest::keyClick(whole, Qt::Key_C, Qt::ControlModifier);  // nothing selected: all of it
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
    QApplication::clipboard()->clear();
    QTest::keyClick(whole, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(whole, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
    whole->selectionModel()->select(whole->model()->index(5, 0),
                                    QItemSelectionModel::ClearAndSelect);
    whole->selectionModel()->select(whole->model()->index(3, 0), QItemSelectionModel::Select);
    QTest::keyClick(whole, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("2.mp3　成功\n4.mp3　成功"));
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  EXPECT_EQ(boxes.show(text, u"", BoxButtons::Ok, BoxIcon::None), BoxAnswer::Ok);

  // OK and キャンセル, both on the screen; キャンセル answers Cancel.
  whenShown([&](QWidget& box) {
    auto* cancel = box.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
    EXPECT_TRUE(onScreen(*cancel, box.screen()->availableGeometry()));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("確認"));
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  EXPECT_EQ(boxes.show(numberedLines(30), u"確認", BoxButtons::OkCancel, BoxIcon::Stop),
            BoxAnswer::Cancel);

  // One line too long for a plain box: the long box, the line elided above.
  const std::u16string wide = u"実行時エラー\r\n" + std::u16string(400, u'x') + u".mp3";
  whenShown([&](QWidget& box) {
    EXPECT_EQ(box.objectName(), QStringLiteral("LongMessageBox"));
    EXPECT_TRUE(box.screen()->availableGeometry().contains(box.frameGeometry()));
    box.close();
  });
  EXPECT_EQ(boxes.show(wide, u"", BoxButtons::Ok, BoxIcon::Stop), BoxAnswer::Ok);

  // A growing log opens where its newest part begins, earlier lines above.
  const std::u16string log = numberedLines(3000);
  const std::size_t run = log.find(u"2500.mp3");
  whenShown([&](QWidget& box) {
    auto* whole = box.findChild<QListView*>(QStringLiteral("lstWhole"));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->indexAt(QPoint(2, 2)).data().toString(), QStringLiteral("2500.mp3　成功"));
    box.close();
  });
  boxes.showAt(log, run, u"", BoxButtons::Ok, BoxIcon::None);
  whenShown([&](QWidget& box) {
    auto* whole = box.findChild<QListView*>(QStringLiteral("lstWhole"));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->indexAt(QPoint(2, 2)).row(), 0);
    box.close();
  });
  boxes.show(log, u"", BoxButtons::Ok, BoxIcon::None);
}

TEST(QtMessageBoxes, ShortTextStaysAPlainMessageBox) {
  QtMessageBoxes boxes;
  const std::u16string text = numberedLines(22);  // 24 lines, and the empty one after
  whenShown([&](QWidget& box) {
    auto* message = qobject_cast<QMessageBox*>(&box);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), QString::fromStdU16String(text));
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_EQ(message->windowTitle(), QStringLiteral("Tagkana"));
    message->defaultButton()->click();
  });
  EXPECT_EQ(boxes.show(text, u"", BoxButtons::Ok, BoxIcon::None), BoxAnswer::Ok);
}

// Both kinds of box stand centred on the window, or on the screen while the
// window is not shown yet (an error at start-up).
TEST(QtMessageBoxes, BoxesAreCentredOnTheWindowOrTheScreen) {
  QWidget owner;
  const QRect available = QApplication::primaryScreen()->availableGeometry();
  owner.setGeometry(available.left() + 40, available.top() + 60, 700, 560);
  QtMessageBoxes boxes(&owner);
  const auto centreOf = [&](const std::u16string& text) {
    QPoint centre;
    whenShown([&](QWidget& box) {
      centre = box.frameGeometry().center();
      box.close();
    });
    boxes.show(text, u"", BoxButtons::Ok, BoxIcon::None);
    return centre;
  };
  const auto near = [](QPoint a, QPoint b) { return (a - b).manhattanLength() <= 4; };
  for (const std::u16string& text : {std::u16string(u"完了しました"), numberedLines(60)}) {
    const QPoint beforeShown = centreOf(text);
    EXPECT_TRUE(near(beforeShown, available.center())) << beforeShown.x() << "," << beforeShown.y();
    owner.show();
    const QPoint shown = centreOf(text);
    EXPECT_TRUE(near(shown, owner.frameGeometry().center())) << shown.x() << "," << shown.y();
    owner.hide();
  }
}

}  // namespace
}  // namespace tagkana
