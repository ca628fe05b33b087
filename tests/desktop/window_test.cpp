#include <gtest/gtest.h>

#include <QActionGroup>
#include <QAction>
#include <QApplication>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <optional>

#include "core/state.h"
#include "desktop/main_window.h"
#include "desktop/menus.h"
#include "desktop/position_slider.h"
#include "desktop/translations.h"

namespace qel::desktop {
namespace {

struct WindowSeam : ::testing::Test {
  AppState state;
  MainWindow window{state, nullptr};
  void SetUp() override { state.platform.window = &window; }
};

// Qt's own buttons speak the player's language, as its words do.
TEST_F(WindowSeam, QtsOwnButtonsSpeakJapanese) {
  ASSERT_TRUE(InstallQtTranslations(*qApp)) << "qtbase_ja.qm is in Qt's translations folder";
  QStringList captions;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    for (QAbstractButton* button : box->buttons()) captions << button->text();
    box->reject();
  });
  poll.start(10);
  window.ShowMessage("消しますか。", "Qel", MessageIcon::Question, MessageButtons::YesNoCancel, true);
  ASSERT_EQ(captions.size(), 3);
  for (const QString& caption : captions) {
    EXPECT_FALSE(caption.contains("Yes") || caption.contains("No") || caption.contains("Cancel"))
        << caption.toStdString();
  }
  EXPECT_TRUE(captions.join(' ').contains(QString::fromUtf8("はい"))) << captions.join(' ').toStdString();
}

// The position slider leaves out the repaints of values that draw the same
// pixels: every value that would draw differently must still be painted, and
// most of a long file's tenths of a second are left out.
TEST(PositionSliderTest, RepaintsWheneverItsPixelsWouldChange) {
  struct PaintCount : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      paints += event->type() == QEvent::Paint;
      return false;
    }
  } count;
  QWidget host;
  host.resize(200, 40);
  PositionSlider slider(&host);
  slider.setGeometry(10, 10, 160, 20);
  QSlider plain(Qt::Horizontal);  // drawn off screen, as a reference
  plain.resize(slider.size());
  constexpr int kTenths = 3000;  // a five-minute file
  for (QSlider* s : {static_cast<QSlider*>(&slider), &plain}) s->setRange(0, kTenths);
  slider.installEventFilter(&count);
  host.show();
  for (int i = 0; i < 100 && count.paints == 0; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  ASSERT_GT(count.paints, 0) << "the slider is shown";
  QImage drawn = plain.grab().toImage();
  int changes = 0;
  const int first = count.paints;
  for (int v = 1; v <= kTenths; ++v) {
    plain.setValue(v);
    const QImage now = plain.grab().toImage();
    const int before = count.paints;
    slider.setValue(v);
    QCoreApplication::processEvents();
    if (now != drawn) {
      ++changes;
      ASSERT_GT(count.paints, before) << "value " << v << " draws differently but was not painted";
    }
    drawn = now;
  }
  EXPECT_GT(changes, 50);
  EXPECT_LT(count.paints - first, kTenths / 4) << changes << " values drew differently";
}

TEST_F(WindowSeam, RowsAndSelection) {
  window.AddRow("a");
  window.AddRow("c");
  window.InsertRow(1, "b");
  ASSERT_EQ(window.RowCount(), 3);
  EXPECT_EQ(window.RowText(1), "b");
  EXPECT_EQ(window.RowText(7), "");
  window.SetRowSelected(2, true);
  window.SetRowSelected(0, true);
  EXPECT_EQ(window.SelectedRows(), (std::vector<int>{0, 2}));
  window.SetAllRowsSelected(true);
  EXPECT_EQ(window.SelectedRows().size(), 3u);
  window.SetAllRowsSelected(false);
  EXPECT_TRUE(window.SelectedRows().empty());
  window.DeleteRow(0);
  EXPECT_EQ(window.RowText(0), "b");
  window.DeleteAllRows();
  EXPECT_EQ(window.RowCount(), 0);
  bool outside = false;
  EXPECT_EQ(window.RowNearPoint({1, 1}, &outside), -1);
}

// A long rebuild adds rows and retitles thousands of times in one go; the
// window must still answer with every row and end on the last title.
TEST_F(WindowSeam, BatchedRowsAndTitlesArriveWhole) {
  window.AddRow("x");
  window.DeleteAllRows();
  for (int i = 0; i < 5000; ++i) {
    window.AddRow("row " + std::to_string(i));
    window.SetTitle("作成中 " + std::to_string(i));
  }
  window.SetTitle("Qel");
  EXPECT_EQ(window.Title(), "Qel");
  EXPECT_EQ(window.RowCount(), 5000);
  EXPECT_EQ(window.RowText(4999), "row 4999");
  window.InsertRow(0, "first");
  window.AddRow("last");
  EXPECT_EQ(window.RowText(0), "first");
  EXPECT_EQ(window.RowText(5001), "last");
  for (int i = 0; i < 20 && window.windowTitle() != "Qel"; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(10);
  }
  EXPECT_EQ(window.windowTitle().toStdString(), "Qel");
}

// Answers the next modal font dialog: records its preset, then picks `font`
// or, without one, cancels.
void AnswerFontDialog(QFont* seen, std::optional<QFont> font) {
  QTimer::singleShot(50, [seen, font] {
    auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    *seen = dialog->currentFont();
    if (font) {
      dialog->setCurrentFont(*font);
      dialog->accept();
    } else {
      dialog->reject();
    }
  });
}

TEST_F(WindowSeam, FontDialogPresetsAndAnswers) {
  const int ppi = window.PixelsPerInch();
  ASSERT_GT(ppi, 0);
  QFont seen;
  QFont pick("Noto Sans CJK JP");
  pick.setPixelSize(21);
  pick.setBold(true);
  pick.setStyleName("Bold");  // as the user picks it in the dialog's list of the face's styles
  AnswerFontDialog(&seen, pick);
  const auto answer = window.FontDialog({"DejaVu Serif", -16, 0x200});
  EXPECT_EQ(seen.family().toStdString(), "DejaVu Serif");
  EXPECT_TRUE(seen.italic());
  EXPECT_FALSE(seen.bold());
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->face, "Noto Sans CJK JP");
  EXPECT_EQ(answer->height, -21);
  EXPECT_EQ(answer->style, 0x100);

  AnswerFontDialog(&seen, std::nullopt);
  EXPECT_FALSE(window.FontDialog({"", -13, 0}));
}

// In Japanese the dialog names styles in Japanese: a bold preset still
// opens bold, so OK keeps it.
TEST_F(WindowSeam, TheJapaneseFontDialogOpensOnTheBoldPreset) {
  ASSERT_TRUE(InstallQtTranslations(*qApp));
  QFont seen;
  AnswerFontDialog(&seen, std::nullopt);
  window.FontDialog({"DejaVu Serif", -16, 0x100});
  EXPECT_EQ(seen.family().toStdString(), "DejaVu Serif");
  EXPECT_TRUE(seen.bold());
}

// The list's rows take the height its font implies; a bigger font, taller rows.
TEST_F(WindowSeam, ListRowsFollowTheListFont) {
  for (int i = 0; i < 3; ++i) window.AddRow("行 " + std::to_string(i));
  window.SetControlFont(Control::ListBox, "Noto Sans CJK JP", 12, 0x100);
  const int small = window.list()->sizeHintForRow(0);
  EXPECT_EQ(window.list()->font().pixelSize(), 12 * window.PixelsPerInch() / 72);
  EXPECT_TRUE(window.list()->font().bold());
  window.SetControlFont(Control::ListBox, "Noto Sans CJK JP", 24, 0);
  const int large = window.list()->sizeHintForRow(0);
  // A row holds a whole line of the font, Japanese glyphs included.
  EXPECT_GE(large, QFontMetrics(window.list()->font()).height());
  EXPECT_GE(small, 12 * window.PixelsPerInch() / 72);
  EXPECT_GT(large, small * 3 / 2);
  window.SetControlFont(Control::PaneEdit, "", 10, 0x200);
  EXPECT_TRUE(window.pane()->edit()->font().italic());
}

// A new list font keeps the selection and the scroll place; only the rows'
// height changes, and the laid-out rows take it.
TEST_F(WindowSeam, AListFontChangeKeepsTheSelection) {
  for (int i = 0; i < 3; ++i) window.AddRow("行 " + std::to_string(i));
  window.SetControlFont(Control::ListBox, "Noto Sans CJK JP", 10, 0);
  window.SetRowSelected(1, true);
  window.SetControlFont(Control::ListBox, "Noto Sans CJK JP", 20, 0);
  EXPECT_EQ(window.SelectedRows(), (std::vector<int>{1}));
  window.list()->resize(200, 400);
  QCoreApplication::processEvents();
  auto* list = window.list();
  EXPECT_EQ(list->RowRect(2).height(), list->sizeHintForRow(0));
  EXPECT_EQ(list->RowRect(2).top(), 2 * list->sizeHintForRow(0));
}

// Counts the pixels of a rectangle of the picture that differ from `colour`.
int PixelsOtherThan(const QImage& image, const QRect& area, QColor colour) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) count += image.pixelColor(x, y).rgb() != colour.rgb();
  return count;
}

// The open menu draws its file and folder items itself: highlight or menu
// colour across the item, the icon at the left edge, the caption one menu-bar
// height in.
TEST_F(WindowSeam, OpenMenuDrawsItsTwoItems) {
  auto* menu = static_cast<OwnerDrawnMenu*>(window.menu("QEL_OPEN"));
  menu->popup(QPoint(0, 0));
  QCoreApplication::processEvents();
  QAction* file = menu->actions().at(0);
  QAction* folder = menu->actions().at(1);
  menu->setActiveAction(file);
  const QImage image = menu->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const qreal scale = image.width() / static_cast<qreal>(menu->width());
  auto px = [scale](const QRect& r) {
    return QRect(qRound(r.left() * scale), qRound(r.top() * scale), qRound(r.width() * scale), qRound(r.height() * scale));
  };
  const QColor highlight = menu->palette().color(QPalette::Highlight);
  // The menu's own colour, right of the last item's caption.
  const QRect last = px(menu->actionGeometry(menu->actions().at(3)));
  const QColor plain = image.pixelColor(last.right() - 2, last.center().y());
  const QRect fileItem = px(menu->actionGeometry(file));
  const QRect folderItem = px(menu->actionGeometry(folder));
  ASSERT_GT(fileItem.width(), 0);
  const int offset = qRound(menu->TextOffset() * scale);
  const int icon = qRound(menu->style()->pixelMetric(QStyle::PM_SmallIconSize) * scale);
  // Between the icon and the caption the item is bare fill.
  const QRect fileGap(fileItem.left() + icon + 1, fileItem.top() + 1, std::max(1, offset - icon - 2),
                      fileItem.height() - 2);
  const QRect folderGap = fileGap.translated(0, folderItem.top() - fileItem.top());
  ASSERT_GT(offset - icon, 2);
  EXPECT_EQ(PixelsOtherThan(image, fileGap, highlight), 0);
  EXPECT_EQ(PixelsOtherThan(image, folderGap, plain), 0);
  // The icon and the caption are there.
  EXPECT_GT(PixelsOtherThan(image, QRect(folderItem.left(), folderItem.top(), icon, folderItem.height()), plain), 0);
  EXPECT_GT(PixelsOtherThan(image, QRect(folderItem.left() + offset, folderItem.top(), folderItem.width() - offset,
                                         folderItem.height()), plain), 0);
  EXPECT_EQ(file->text().toStdString(), "ファイル");
  EXPECT_EQ(folder->text().toStdString(), "フォルダ");
  menu->hide();
}

TEST_F(WindowSeam, TitleSlidersAndLabel) {
  window.SetTitle("夜の歌");
  EXPECT_EQ(window.Title(), "夜の歌");
  window.SetPositionRange(0, 600);
  window.SetPosition(250);
  EXPECT_EQ(window.Position(), 250);
  EXPECT_EQ(window.positionBar()->maximum(), 600);
  window.SetVolumeBar(40);
  EXPECT_EQ(window.VolumeBar(), 40);
  window.SetTimeText("00:25 / 01:00");
  EXPECT_EQ(window.timeLabel()->text().toStdString(), "00:25 / 01:00");
}

TEST_F(WindowSeam, MenusCarryTheirCaptionsAndChecks) {
  const QMenu* popup = window.menu("QEL_POPUP");
  int separators = 0;
  for (QAction* a : popup->actions()) separators += a->isSeparator();
  EXPECT_EQ(popup->actions().size(), 17);
  EXPECT_EQ(separators, 5);
  EXPECT_EQ(popup->actions().front()->text().toStdString(), "絞り込み");
  window.SetMenuCheck(2600, true);
  const QMenu* play = window.menu("QEL_PLAY");
  EXPECT_TRUE(play->actions().at(1)->isChecked());
  window.SetMenuCheck(2600, false);
  EXPECT_FALSE(play->actions().at(1)->isChecked());
  EXPECT_EQ(MenuSpecs().size(), 7u);
  // The volume menu opens the loudness levelling's radio items.
  const QList<QAction*> master = window.menu("QEL_MASTER")->actions();
  ASSERT_EQ(master.size(), 2);
  ASSERT_TRUE(master[1]->menu());
  EXPECT_EQ(master[1]->text().toStdString(), "リプレイゲイン");
  window.SetMenuCheck(2420, true);
  window.SetMenuCheck(2410, false);
  EXPECT_TRUE(master[1]->menu()->actions().at(1)->isChecked());
  EXPECT_TRUE(master[1]->menu()->actions().at(1)->actionGroup()->isExclusive());
}

TEST_F(WindowSeam, ButtonIconsAndTimer) {
  window.SetButtonIcon(1013, 113);
  EXPECT_EQ(window.button(1013)->property("qelIcon").toInt(), 113);
  EXPECT_FALSE(window.button(1013)->icon().isNull());
  window.SetButtonIcon(1012, 9999);  // an icon we do not have leaves no image
  EXPECT_TRUE(window.button(1012)->icon().isNull());
}

TEST_F(WindowSeam, LayoutPlacesListAndPane) {
  window.resize(400, 400);
  state.listMargin = 10;
  state.bottomSpace = 70;
  state.settings.ListWidth = 100;
  state.settings.LeftList = true;
  window.LayOut(0, false);
  EXPECT_EQ(window.list()->geometry(), QRect(10, 70, 100, 320));
  EXPECT_EQ(window.pane()->geometry().left(), 114);
  state.settings.LeftList = false;
  window.LayOut(0, false);
  EXPECT_EQ(window.list()->geometry().right(), 389);
}

}  // namespace
}  // namespace qel::desktop

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Q_INIT_RESOURCE(qel);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
