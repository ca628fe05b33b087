// The pane and the list's picture on real widgets offscreen: what reaches
// the screen for each ViewSize rule, the fade under words, the picture
// behind the rows and the dark colours, decoded by the real image reader
// from real files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QAction>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <cmath>
#include <QBackingStore>
#include <QElapsedTimer>
#include <qpa/qplatformbackingstore.h>

#include "core/pane/placement.h"
#include "core/pane/text_pane.h"
#include "core/text/encoding.h"
#include "desktop/list_view.h"
#include "desktop/main_window.h"
#include "desktop/pane_view.h"
#include "desktop/qt_image_decoder.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {
namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// A picture whose pixel (x, y) has red x % 256, green y % 256, blue 0x80,
// so that a drawn pixel tells which source pixel it came from.
Picture Coordinates(int w, int h) {
  Picture p;
  p.width = w;
  p.height = h;
  p.pixels.resize(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* px = &p.pixels[(size_t(y) * w + x) * 4];
      px[0] = 0x80;  // blue
      px[1] = uint8_t(y);
      px[2] = uint8_t(x);
      px[3] = 0xFF;
    }
  return p;
}

QRgb SourceColour(int x, int y) { return qRgb(x % 256, y % 256, 0x80); }

// The bounding box of the pixels that are not the background colour.
QRect Drawn(const QImage& image, QRgb background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) box |= QRect(x, y, 1, 1);
  return box;
}

struct PaneWidget : ::testing::Test {
  test::FakePlayer player;
  AppState& state = player.state;
  PaneArea pane{state, nullptr};

  void SetUp() override {
    pane.resize(300, 300);
    pane.show();
    Settle();
  }
  void Show(Picture picture) {
    state.panePicture = picture;
    state.paneBackdrop = std::move(picture);
    ++state.pictureSerial;
  }
  QImage Grab() { return pane.grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QRgb Background() const { return QApplication::palette().color(QPalette::Button).rgb(); }
};

TEST_F(PaneWidget, ZoomFitsSmoothlyAlongTheLongSide) {
  Picture wide(Coordinates(100, 50));
  // One colour, so that smoothing leaves no doubt about the edges.
  for (size_t i = 0; i < wide.pixels.size(); i += 4) wide.pixels[i] = 0, wide.pixels[i + 1] = 0x80, wide.pixels[i + 2] = 0xFF;
  Show(wide);
  QImage shot = Grab();
  EXPECT_EQ(Drawn(shot, Background()), QRect(0, 75, 300, 150));
  std::swap(wide.width, wide.height);
  Show(wide);
  shot = Grab();
  EXPECT_EQ(Drawn(shot, Background()), QRect(75, 0, 150, 300));
  EXPECT_EQ(shot.pixel(150, 150), qRgb(0xFF, 0x80, 0));
}

TEST_F(PaneWidget, OriginalShowsTheCentreOfALargePicture) {
  state.settings.ViewSize = ViewSizeMode::Original;
  Show(Coordinates(400, 200));
  const QImage shot = Grab();
  EXPECT_EQ(Drawn(shot, Background()), QRect(0, 50, 300, 200));
  // 50 columns are cut on each side.
  EXPECT_EQ(shot.pixel(0, 50), SourceColour(50, 0));
  EXPECT_EQ(shot.pixel(299, 249), SourceColour(349, 199));
  EXPECT_EQ(shot.pixel(150, 49), Background());
}

TEST_F(PaneWidget, MultipleRepeatsEachPixel) {
  state.settings.ViewSize = ViewSizeMode::Multiple;
  pane.resize(350, 300);
  Show(Coordinates(100, 90));
  QImage shot = Grab();
  EXPECT_EQ(Drawn(shot, Background()), QRect(25, 15, 300, 270));
  // k = 3: each source pixel is a 3 x 3 block of its own colour.
  for (auto [sx, sy] : {std::pair{0, 0}, {1, 0}, {57, 33}, {99, 89}})
    for (int dy = 0; dy < 3; ++dy)
      for (int dx = 0; dx < 3; ++dx)
        ASSERT_EQ(shot.pixel(25 + 3 * sx + dx, 15 + 3 * sy + dy), SourceColour(sx, sy)) << sx << "," << sy;
  // With a picture larger than the pane k is 1 and its centre shows.
  Show(Coordinates(400, 400));
  shot = Grab();
  EXPECT_EQ(shot.pixel(0, 0), SourceColour(25, 50));
  EXPECT_EQ(shot.pixel(349, 299), SourceColour(374, 349));
}

TEST_F(PaneWidget, DarkBackgroundAndWordsThatStayReadable) {
  state.settings.DarkMode = true;
  pane.SetText("夜の歌");
  QImage shot = Grab();
  EXPECT_EQ(shot.pixel(299, 299), qRgb(0x40, 0x40, 0x40));
  // Over the plain dark background the words are light...
  EXPECT_EQ(pane.edit()->palette().color(QPalette::Text), QColor(Qt::white));
  // ...and black over a (faded) picture.
  Show(Coordinates(300, 300));
  shot = Grab();
  EXPECT_EQ(pane.edit()->palette().color(QPalette::Text), QColor(Qt::black));
  state.settings.ShowBitmapText = false;
  shot = Grab();
  EXPECT_EQ(shot.pixel(150, 150), qRgb(0x40, 0x40, 0x40));
}

TEST_F(PaneWidget, PointerCaretAndHighlight) {
  QWidget* viewport = pane.edit()->viewport();
  pane.SetText("");
  EXPECT_EQ(viewport->cursor().shape(), Qt::ArrowCursor);
  pane.SetText("one\r\ntwo\rthree\nfour");
  EXPECT_EQ(viewport->cursor().shape(), Qt::IBeamCursor);
  EXPECT_EQ(pane.edit()->document()->blockCount(), 4);
  EXPECT_EQ(pane.edit()->toPlainText(), "one\ntwo\nthree\nfour");
  pane.ShowCaret(true);
  EXPECT_GT(pane.edit()->cursorWidth(), 0);
  EXPECT_TRUE(pane.edit()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
  pane.ShowCaret(false);
  EXPECT_EQ(pane.edit()->cursorWidth(), 0);
  EXPECT_EQ(viewport->cursor().shape(), Qt::IBeamCursor);
  pane.HighlightLine(2);
  ASSERT_EQ(pane.edit()->extraSelections().size(), 1);
  EXPECT_EQ(pane.edit()->extraSelections()[0].cursor.block().blockNumber(), 2);
  pane.SetText("new");
  EXPECT_TRUE(pane.edit()->extraSelections().isEmpty());
}

TEST_F(PaneWidget, ASungLineFarDownComesIntoView) {
  pane.resize(300, 120);
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + "\r\n";
  pane.SetText(text);
  Settle();
  ASSERT_GT(pane.edit()->verticalScrollBar()->maximum(), 0);
  pane.HighlightLine(150);
  const QTextBlock block = pane.edit()->document()->findBlockByNumber(150);
  const QRect at = pane.edit()->cursorRect(QTextCursor(block));
  EXPECT_GE(at.top(), 0);
  EXPECT_LE(at.bottom(), pane.edit()->viewport()->height());
}

// ---- the real window over real files

struct PaneWindow : ::testing::Test {
  test::FakePlayer player;
  QtImageDecoder images;
  MainWindow window{player.state, nullptr};
  test::TempDir dir;

  void SetUp() override {
    player.state.platform.images = &images;
    // Every file opens and lasts a minute, as a device that plays it would say.
    player.device.responder = [](const std::string& command, test::FakeDevice::Reply& reply) {
      if (command.find(" length") == std::string::npos) return false;
      reply.answer = "60000";
      return true;
    };
  }
  void Open(const std::string& target) {
    window.Create(target, OpenKind::File);
    window.resize(600, 420);
    Settle();
  }
  static void SavePng(const std::string& path, int w, int h, QColor colour, int alpha = 255) {
    QImage image(w, h, QImage::Format_ARGB32);
    colour.setAlpha(alpha);
    image.fill(colour);
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
  }
  QImage GrabPane() { return window.pane()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // What the window holds on the screen now, where a control lies: not
  // painted afresh, so it shows what partial repaints and scrolling left.
  QImage OnScreen(QWidget* control) {
    Settle();
    const QImage all = window.backingStore()->handle()->toImage();
    const qreal scale = all.devicePixelRatio();
    const QRect at(control->mapTo(&window, QPoint()) * scale, control->size() * scale);
    return all.copy(at).convertToFormat(QImage::Format_RGB32);
  }
};

TEST_F(PaneWindow, WordsOverTheFadedPicture) {
  test::WriteAll(dir / "song.mp3", "");
  SetLegacyCodePage("");
  test::WriteAll(dir / "song.txt", Utf8ToLegacy("朝の歌\r\n窓をあけて"));
  SavePng(dir / "song.png", 64, 64, QColor(100, 150, 200));
  test::WriteAll(dir / "black.mp3", "");
  SavePng(dir / "black.png", 64, 64, QColor(0, 0, 0));
  Open(dir / "song.mp3");
  player.state.settings.ViewSize = ViewSizeMode::Original;
  EXPECT_EQ(window.pane()->edit()->toPlainText().toStdString(), "朝の歌\n窓をあけて");
  // The painted picture is the faded one: (100, 150, 200) becomes
  // (224, 234, 244). A corner is sure to hold no glyph.
  QImage shot = GrabPane();
  Rect at = window.pane()->LastDraw().destination;
  ASSERT_EQ(at.Width(), 64);
  EXPECT_EQ(shot.pixel(at.left, at.bottom - 1), qRgb(224, 234, 244));
  // Without words the picture is drawn as it is; black stays black.
  window.Command(1008);
  Settle();
  EXPECT_EQ(window.pane()->edit()->toPlainText(), "");
  shot = GrabPane();
  at = window.pane()->LastDraw().destination;
  EXPECT_EQ(shot.pixel(at.left + 1, at.top + 1), qRgb(0, 0, 0));
  // The lyrics switch off: the first song's picture, unfaded.
  window.Command(1007);
  window.Command(40026);
  Settle();
  shot = GrabPane();
  at = window.pane()->LastDraw().destination;
  EXPECT_EQ(shot.pixel(at.left, at.top), qRgb(100, 150, 200));
  EXPECT_EQ(window.pane()->edit()->toPlainText(), "");
}

TEST_F(PaneWindow, ATransparentPictureShowsItsStoredColours) {
  test::WriteAll(dir / "clear.mp3", "");
  SavePng(dir / "clear.png", 40, 40, QColor(10, 200, 30), 0);
  Open(dir / "clear.mp3");
  player.state.settings.ViewSize = ViewSizeMode::Original;
  const QImage shot = GrabPane();
  const Rect at = window.pane()->LastDraw().destination;
  ASSERT_EQ(at.Width(), 40);
  EXPECT_EQ(shot.pixel(at.left + 5, at.top + 5), qRgb(10, 200, 30));
}

TEST_F(PaneWindow, TheListPictureForTallAndWidePictures) {
  test::WriteAll(dir / "a tall.mp3", "");
  SavePng(dir / "a tall.png", 100, 1000, QColor(255, 0, 0));
  test::WriteAll(dir / "b wide.mp3", "");
  SavePng(dir / "b wide.png", 1000, 100, QColor(0, 0, 255));
  Open(dir / "a tall.mp3");
  auto* list = window.list();
  const QSize client = list->viewport()->size();
  ASSERT_GT(client.height(), client.width() / 10);
  // Tall: the full height, centred; white beside it. Rows (the first is
  // selected) are drawn over it, so look below them.
  const Rect tall = FitListPicture(client.width(), client.height(), 100, 1000);
  ASSERT_EQ(tall.top, 0);
  ASSERT_EQ(tall.Height(), client.height());
  QImage shot = OnScreen(list->viewport());
  const int y = client.height() - 3;
  EXPECT_EQ(shot.pixel((tall.left + tall.right) / 2, y), qRgb(255, 0, 0));
  if (tall.left > 1) {
    EXPECT_EQ(shot.pixel(tall.left / 2, y), qRgb(255, 255, 255));
  }
  // Wide: the full width from the top, and white below it.
  window.Command(1008);
  Settle();
  const Rect wide = FitListPicture(client.width(), client.height(), 1000, 100);
  ASSERT_EQ(wide.Width(), client.width());
  shot = OnScreen(list->viewport());
  EXPECT_EQ(shot.pixel(client.width() - 2, wide.bottom - 2), qRgb(0, 0, 255));
  EXPECT_EQ(shot.pixel(client.width() - 2, wide.bottom + 2), qRgb(255, 255, 255));
  // The picture stays where it is while the rows scroll.
  for (int i = 0; i < 60; ++i) window.AddRow("row " + std::to_string(i));
  Settle();
  shot = OnScreen(list->viewport());
  ASSERT_EQ(shot.pixel(client.width() - 2, wide.bottom + 2), qRgb(255, 255, 255));
  list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
  shot = OnScreen(list->viewport());
  EXPECT_EQ(shot.pixel(client.width() - 2, wide.bottom - 2), qRgb(0, 0, 255));
  EXPECT_EQ(shot.pixel(client.width() - 2, wide.bottom + 2), qRgb(255, 255, 255));
}

// The pane's switches where the user reaches them: F5 and Ctrl+R typed over
// the pane, the pane's menu and the list's menu.
TEST_F(PaneWindow, SwitchesFromTheirKeysAndMenus) {
  test::WriteAll(dir / "song.mp3", "");
  test::WriteAll(dir / "song.txt", "words");
  SavePng(dir / "song.png", 64, 64, QColor(100, 150, 200));
  Open(dir / "song.mp3");
  auto key = [&](Qt::Key k, Qt::KeyboardModifiers modifiers) {
    QKeyEvent press(QEvent::KeyPress, k, modifiers);
    QApplication::sendEvent(window.pane()->edit(), &press);
    QKeyEvent release(QEvent::KeyRelease, k, modifiers);
    QApplication::sendEvent(window.pane()->edit(), &release);
    Settle();
  };
  auto item = [&](const char* menu, const char* caption) {
    for (QAction* action : window.menu(menu)->actions())
      if (action->text() == QString::fromUtf8(caption)) {
        action->trigger();
        Settle();
        return action->isChecked();
      }
    ADD_FAILURE() << caption;
    return false;
  };
  auto drawnWidth = [&] {
    GrabPane();
    return window.pane()->LastDraw().destination.Width();
  };
  const int zoomed = drawnWidth();
  ASSERT_GT(zoomed, 128);
  key(Qt::Key_F5, Qt::NoModifier);
  EXPECT_EQ(drawnWidth(), 64);  // ORIGINAL
  key(Qt::Key_R, Qt::ControlModifier);
  const int multiple = drawnWidth();
  EXPECT_TRUE(multiple > 64 && multiple % 64 == 0 && multiple <= zoomed) << multiple;
  key(Qt::Key_F5, Qt::NoModifier);
  EXPECT_EQ(drawnWidth(), zoomed);

  EXPECT_TRUE(item("QEL_TEXT", "中央寄せ"));
  EXPECT_EQ(window.pane()->edit()->document()->defaultTextOption().alignment(), Qt::AlignHCenter);
  EXPECT_FALSE(item("QEL_TEXT", "内蔵画像を表示する"));
  EXPECT_EQ(drawnWidth(), 0);
  const QImage pane = GrabPane();
  EXPECT_EQ(pane.pixel(pane.width() - 3, pane.height() - 3), QApplication::palette().color(QPalette::Button).rgb());

  auto* list = window.list();
  const QSize client = list->viewport()->size();
  const Rect fit = FitListPicture(client.width(), client.height(), 64, 64);
  const QPoint below(fit.right - 3, fit.bottom - 3);
  ASSERT_GT(below.y(), list->RowRect(0).bottom());
  EXPECT_EQ(OnScreen(list->viewport()).pixel(below), qRgb(100, 150, 200));
  EXPECT_FALSE(item("QEL_POPUP", "内蔵画像を表示する"));
  EXPECT_EQ(OnScreen(list->viewport()).pixel(below), qRgb(255, 255, 255));
}

TEST_F(PaneWindow, DarkRowsReachTheBottom) {
  test::WriteAll(dir / "1.mp3", "");
  test::WriteAll(dir / "2.mp3", "");
  player.state.settings.DarkMode = false;
  Open(dir / "1.mp3");
  window.Command(40028);  // dark mode
  Settle();
  auto* list = window.list();
  const QImage shot = OnScreen(list->viewport());
  const QRect first = list->RowRect(0);
  const QRect second = list->RowRect(1);
  // The selected current row, a dark row, and the empty area below them.
  EXPECT_EQ(shot.pixel(first.right() - 2, first.center().y()), qRgb(0, 128, 255));
  EXPECT_EQ(shot.pixel(second.right() - 2, second.center().y()), qRgb(64, 64, 64));
  EXPECT_EQ(shot.pixel(5, list->viewport()->height() - 2), qRgb(64, 64, 64));
  EXPECT_EQ(GrabPane().pixel(window.pane()->width() - 2, window.pane()->height() - 2), qRgb(0x40, 0x40, 0x40));
}

int CountColour(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
  return n;
}

// A second start without a file empties the list as removing every row
// does: the picture goes from behind the rows and from the pane with them.
TEST_F(PaneWindow, AnEmptyHandOffTakesThePicturesAwayWithTheRows) {
  test::WriteAll(dir / "song.mp3", "");
  SavePng(dir / "song.png", 64, 64, QColor(255, 0, 0));
  Open(dir / "song.mp3");
  const QRgb red = qRgb(255, 0, 0);
  ASSERT_GT(CountColour(OnScreen(window.list()->viewport()), red), 0);
  ASSERT_GT(CountColour(OnScreen(window.pane()), red), 0);
  window.HandOff("");
  Settle();
  EXPECT_EQ(window.RowCount(), 0);
  EXPECT_FALSE(player.state.panePicture);
  EXPECT_EQ(CountColour(OnScreen(window.list()->viewport()), red), 0);
  EXPECT_EQ(CountColour(OnScreen(window.pane()), red), 0);
}

// A JPEG as a phone writes it: the pixels as the sensor took them (left
// half red, right half blue) and an EXIF orientation saying how it stands.
void SaveTurnedJpeg(const std::string& path, uint16_t orientation) {
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(QColor(0, 0, 255));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) image.setPixel(x, y, qRgb(255, 0, 0));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
  ASSERT_TRUE(image.save(&buffer, "JPEG", 95));
  auto le = [](uint32_t v, int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) out += char((v >> (8 * i)) & 0xFF);
    return out;
  };
  // A little-endian TIFF header and one entry: 0x0112, SHORT, 1, the value.
  const QByteArray exif = QByteArray("Exif\0\0II*\0", 10) + le(8, 4) + le(1, 2) + le(0x0112, 2) + le(3, 2) +
                          le(1, 4) + le(orientation, 2) + le(0, 2) + le(0, 4);
  const int length = exif.size() + 2;
  jpeg.insert(2, QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + exif);
  test::WriteAll(path, jpeg.toStdString());
}

bool Near(QRgb c, int r, int g, int b) {
  return std::abs(qRed(c) - r) < 40 && std::abs(qGreen(c) - g) < 40 && std::abs(qBlue(c) - b) < 40;
}

TEST_F(PaneWindow, APhonePhotoStandsAsItsExifSays) {
  test::WriteAll(dir / "song.mp3", "");
  SaveTurnedJpeg(dir / "song.jpg", 6);  // turned a quarter clockwise to be seen
  Open(dir / "song.mp3");
  ASSERT_TRUE(player.state.panePicture);
  const Picture& picture = *player.state.panePicture;
  ASSERT_EQ(picture.width, 20);
  ASSERT_EQ(picture.height, 40);
  auto at = [&](int x, int y) {
    const uint8_t* p = &picture.pixels[(size_t(y) * picture.width + x) * 4];
    return qRgb(p[2], p[1], p[0]);
  };
  // The left of the sensor's picture is the top of the photo.
  EXPECT_TRUE(Near(at(10, 5), 255, 0, 0));
  EXPECT_TRUE(Near(at(10, 35), 0, 0, 255));
  // The pane draws it upright, and a capture takes it upright.
  GrabPane();
  const Rect drawn = window.pane()->LastDraw().destination;
  EXPECT_GT(drawn.Height(), drawn.Width());
  window.Command(40021);
  Settle();
  ASSERT_EQ(player.desktop.clipboardPictures.size(), 1u);
  EXPECT_EQ(player.desktop.clipboardPictures[0].width, 20);
  EXPECT_EQ(player.desktop.clipboardPictures[0].height, 40);
}

TEST_F(PaneWindow, TheTimeReadOutStandsOutInDarkMode) {
  test::WriteAll(dir / "song.mp3", "");
  player.state.settings.DarkMode = false;
  Open(dir / "song.mp3");
  // The greys the read-out holds, darkest and lightest: its digits and the
  // window's background.
  auto greys = [&] {
    const QImage label = OnScreen(window.timeLabel());
    std::pair<int, int> range{255, 0};
    for (int y = 0; y < label.height(); ++y)
      for (int x = 0; x < label.width(); ++x)
        range = {std::min(range.first, qGray(label.pixel(x, y))), std::max(range.second, qGray(label.pixel(x, y)))};
    return range;
  };
  ASSERT_LT(greys().first, 100);  // dark digits on the light window
  window.Command(40028);
  Settle();
  EXPECT_EQ(greys().first, 0x40);
  EXPECT_GT(greys().second, 180) << "the digits are light on the dark grey";
  window.Command(40028);
  Settle();
  EXPECT_LT(greys().first, 100);
}

// Timed lyrics as the device plays: the sung line is marked over all the
// rows it wraps to, and the mark goes when playback stops.
TEST_F(PaneWindow, TheSungLineIsMarkedWholeAndGoesAtStop) {
  std::string mode;
  player.device.responder = [&mode](const std::string& command, test::FakeDevice::Reply& reply) {
    // The length probe opens and closes a device of its own.
    const bool probe = command.find("Qel_") != std::string::npos;
    if (!probe && command.starts_with("open ")) mode = "playing";
    if (!probe && (command.starts_with("stop ") || command.starts_with("close "))) mode.clear();
    if (command.ends_with(" length")) reply.answer = "60000";
    else if (!probe && command.ends_with(" mode")) reply.answer = mode;
    else if (!probe && command.ends_with(" position")) reply.answer = mode.empty() ? "0" : "2000";
    else return false;
    return true;
  };
  std::string words;
  for (int i = 0; i < 30; ++i) words += "朝の歌 ";
  test::WriteAll(dir / "song.mp3", "");
  test::WriteAll(dir / "song.lrc", "[00:01.00]" + words + "\n[00:50.00]end\n");
  Open(dir / "song.mp3");
  QPlainTextEdit* edit = window.pane()->edit();
  const QTextBlock block = edit->document()->firstBlock();
  ASSERT_GE(block.layout()->lineCount(), 2) << "the first line wraps";
  // A place inside the second row (its first position would also be the
  // end of the first).
  QTextCursor onSecond(block);
  onSecond.setPosition(block.position() + block.layout()->lineAt(1).textStart() + 1);
  const int row = edit->viewport()->mapTo(window.pane(), edit->cursorRect(onSecond).center()).y();
  // Marked: most of that row is tinted blue (glyphs aside).
  auto tinted = [&] {
    const QImage shot = OnScreen(window.pane());
    int blue = 0;
    for (int x = 0; x < shot.width(); ++x) blue += qBlue(shot.pixel(x, row)) > qRed(shot.pixel(x, row)) + 30;
    return blue > shot.width() / 2;
  };
  ASSERT_FALSE(tinted());
  QElapsedTimer clock;
  clock.start();
  while (edit->extraSelections().isEmpty() && clock.elapsed() < 3000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(edit->extraSelections().size(), 1);
  EXPECT_TRUE(tinted()) << "the second row of the sung line is marked too";
  window.Command(1006);
  Settle();
  EXPECT_TRUE(edit->extraSelections().isEmpty());
  EXPECT_FALSE(tinted());
}

// The default face may have no Japanese glyphs; the face that draws them
// reaches higher and lower, and a row must hold that whole line.
TEST_F(PaneWindow, RowsHoldAWholeJapaneseLine) {
  for (int points : {8, 9, 12}) {
    window.SetControlFont(Control::ListBox, "", points, 0);
    window.AddRow("朝の歌");
    QTextLayout layout(QString::fromUtf8("朝の歌"), window.list()->font());
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    EXPECT_GE(window.list()->sizeHintForRow(0), std::ceil(line.height())) << points;
  }
}

}  // namespace
}  // namespace qel::desktop
