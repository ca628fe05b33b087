#include "desktop/pane_view.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include "desktop/qt_helpers.h"

namespace qel::desktop {
namespace {

QColor PaneBackground(const AppState& state) {
  if (state.settings.DarkMode) return QColor::fromRgb(kDarkBackground);
  return QApplication::palette().color(QPalette::Button);
}

// BGRA top-down is QImage's ARGB32 on a little-endian machine.
QImage ImageOf(const Picture& picture, QImage::Format format) {
  return QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 4, format);
}

}  // namespace

QImage OpaqueImage(const Picture& picture) {
  const uint8_t* p = picture.pixels.data();
  const size_t count = picture.pixels.size() / 4;
  bool opaque = true;
  for (size_t i = 0; i < count && opaque; ++i) opaque = p[i * 4 + 3] == 0xFF;
  // An RGB32 image must hold 0xFF in every alpha byte: Qt copies it as it
  // is where it draws one.
  if (opaque) return ImageOf(picture, QImage::Format_RGB32);
  return ImageOf(picture, QImage::Format_ARGB32).convertToFormat(QImage::Format_RGB32);
}

PaneArea::PaneArea(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName("1014");
  edit_->setReadOnly(true);
  edit_->setFrameShape(QFrame::NoFrame);
  edit_->viewport()->setAutoFillBackground(false);
  QPalette palette = edit_->palette();
  palette.setColor(QPalette::Base, Qt::transparent);
  palette.setColor(QPalette::Text, Qt::black);
  edit_->setPalette(palette);
  edit_->setBackgroundVisible(false);
  edit_->setAttribute(Qt::WA_TranslucentBackground);
  edit_->setStyleSheet("QPlainTextEdit { background: transparent; }");
  ShowCaret(false);
  // Scrolling a pane that has something to scroll lays the window out
  // again, as the keys and the wheel over it do.
  connect(edit_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (edit_->verticalScrollBar()->maximum() != 0)
      if (Window* window = state_.platform.window) window->PostRelayout();
  });
}

void PaneArea::resizeEvent(QResizeEvent*) { edit_->setGeometry(rect()); }

void PaneArea::SetText(const std::string& text) {
  QString shown = Q(text);
  // Line breaks as the file or tag wrote them: CR LF, LF or a lone CR.
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  highlighted_ = -1;
  edit_->setExtraSelections({});
  edit_->setPlainText(shown);
  edit_->viewport()->setCursor(shown.isEmpty() ? Qt::ArrowCursor : Qt::IBeamCursor);
}

void PaneArea::ShowCaret(bool shown) {
  edit_->setTextInteractionFlags(shown ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                       : Qt::TextSelectableByMouse);
  edit_->setCursorWidth(shown ? 1 : 0);
  edit_->viewport()->setCursor(edit_->document()->isEmpty() ? Qt::ArrowCursor : Qt::IBeamCursor);
}

void PaneArea::HighlightLine(int line) {
  highlighted_ = line;
  const QTextBlock block = edit_->document()->findBlockByNumber(line);
  if (line < 0 || !block.isValid()) {
    edit_->setExtraSelections({});
    return;
  }
  QTextEdit::ExtraSelection sung;
  // The whole line as the file gives it, every row it wraps to: an empty
  // selection would mark only the row the cursor stands in.
  sung.cursor = QTextCursor(block);
  sung.cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  sung.format.setBackground(QColor(0, 128, 255, 80));
  sung.format.setProperty(QTextFormat::FullWidthSelection, true);
  edit_->setExtraSelections({sung});
  // Kept in view: a line that left the pane comes back to its middle.
  const QRect at = edit_->cursorRect(QTextCursor(block));
  if (at.top() < 0 || at.bottom() > edit_->viewport()->height()) {
    edit_->setTextCursor(QTextCursor(block));
    edit_->centerCursor();
  }
}

void PaneArea::SetCenterText(bool on) {
  QTextOption option = edit_->document()->defaultTextOption();
  option.setAlignment(on ? Qt::AlignHCenter : Qt::AlignLeft);
  edit_->document()->setDefaultTextOption(option);
}

const QImage& PaneArea::Opaque(const Picture& backdrop) {
  if (opaqueFor_.serial != state_.pictureSerial || opaqueFor_.pixels != backdrop.pixels.data()) {
    opaque_ = OpaqueImage(backdrop);
    opaqueFor_ = {state_.pictureSerial, backdrop.pixels.data()};
  }
  return opaque_;
}

const QImage& PaneArea::Scaled(const Picture& backdrop, const PictureDraw& draw) {
  // Scaled to the screen's own pixels: on a dense screen a picture scaled
  // to the layout's size and stretched again would look coarse.
  const qreal ratio = devicePixelRatioF();
  if (scaledFor_.serial != state_.pictureSerial || scaledFor_.pixels != backdrop.pixels.data() ||
      scaledFor_.source != draw.source || scaledFor_.destination != draw.destination || scaledFor_.ratio != ratio) {
    const QImage& whole = Opaque(backdrop);
    const QRect source = ToQRect(draw.source);
    const QImage part = source == whole.rect() ? whole : whole.copy(source);
    scaled_ = part.scaled(qRound(draw.destination.Width() * ratio), qRound(draw.destination.Height() * ratio),
                          Qt::IgnoreAspectRatio, draw.smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
    scaled_.setDevicePixelRatio(ratio);
    scaledFor_ = {state_.pictureSerial, backdrop.pixels.data(), draw.source, draw.destination, ratio};
  }
  return scaled_;
}

void PaneArea::FollowColours(bool pictureDrawn) {
  // Black words over a picture (faded for them); over the plain dark
  // background they would not be read, so there they are white.
  const bool light = state_.settings.DarkMode && !pictureDrawn;
  if (light == lightText_) return;
  lightText_ = light;
  QPalette palette = edit_->palette();
  palette.setColor(QPalette::Text, light ? Qt::white : Qt::black);
  edit_->setPalette(palette);
}

void PaneArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), PaneBackground(state_));
  lastDraw_ = {};
  if (engine_) {
    if (auto frame = engine_->VideoFrame(handle_); frame && !frame->picture.Empty()) {
      // The engine's frames are opaque.
      const QImage image = ImageOf(frame->picture, QImage::Format_RGB32);
      QRect target = ToQRect(frame->destination);
      if (target.isEmpty()) {
        target = QRect(QPoint(), image.size().scaled(size(), Qt::KeepAspectRatio));
        target.moveCenter(rect().center());
      }
      painter.drawImage(target, image);
      return;
    }
  }
  if (videoShown && videoShown()) return;
  paintedSerial_ = state_.pictureSerial;
  const bool drawn = PaintsPanePicture(state_, !isHidden());
  FollowColours(drawn);
  if (!drawn) return;
  const QScrollBar* bar = edit_->verticalScrollBar();
  const int barWidth = bar->isVisible() ? bar->width() : 0;
  const int edge = edit_->frameWidth();
  const Rect area = PanePictureArea(ToRect(rect()), barWidth, edge, edge, state_.screenMode);
  const Picture& backdrop = *state_.paneBackdrop;
  const PictureDraw draw = PlacePanePicture(state_.settings.ViewSize, area, backdrop.width, backdrop.height);
  if (draw.destination.Width() <= 0 || draw.destination.Height() <= 0) return;
  painter.setClipRect(ToQRect(area));
  if (state_.settings.ViewSize == ViewSizeMode::Original)
    painter.drawImage(QPoint(draw.destination.left, draw.destination.top), Opaque(backdrop), ToQRect(draw.source));
  else
    painter.drawImage(ToQRect(draw.destination), Scaled(backdrop, draw));
  lastDraw_ = draw;
}

}  // namespace qel::desktop
