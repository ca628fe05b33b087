#include "desktop/video_window.h"

#include <QExposeEvent>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFunctions>
#include <QWidget>

#include "desktop/qt_helpers.h"

namespace qel::desktop {

VideoWindow::VideoWindow(engine::MediaEngine* engine, unsigned handle, QWidget* pane, std::function<void()> repaintPane)
    : engine_(engine), handle_(handle), pane_(pane), repaintPane_(std::move(repaintPane)) {
  setSurfaceType(QSurface::OpenGLSurface);
  // Keys stay with the main window, whose shortcuts they are.
  setFlag(Qt::WindowDoesNotAcceptFocus);
  // The container owns this window from now on, and goes with the pane. A
  // hidden container makes no native window: nothing is made until a video
  // is placed.
  container_ = QWidget::createWindowContainer(this, pane_);
  container_->setFocusPolicy(Qt::NoFocus);
  container_->hide();
  if (engine_) engine_->RegisterSurface(handle_, this);
}

VideoWindow::~VideoWindow() {
  // The engine lets go of what it made in the context while it is there.
  if (engine_) engine_->UnregisterSurface(handle_);
  ReleaseFrame();
}

void VideoWindow::ReleaseFrame() {
  if (!frame_ || !context_ || !context_->makeCurrent(this)) return;
  QOpenGLExtraFunctions* gl = context_->extraFunctions();
  gl->glDeleteFramebuffers(1, &frame_);
  gl->glDeleteRenderbuffers(1, &frameColour_);
  frame_ = frameColour_ = 0;
  frameSize_ = {};
  context_->doneCurrent();
}

bool VideoWindow::RenderWhole(int width, int height) {
  QOpenGLExtraFunctions* gl = context_->extraFunctions();
  if (frameSize_ != QSize(width, height)) {
    if (!frame_) {
      gl->glGenFramebuffers(1, &frame_);
      gl->glGenRenderbuffers(1, &frameColour_);
    }
    gl->glBindRenderbuffer(GL_RENDERBUFFER, frameColour_);
    gl->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, frame_);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, frameColour_);
    const bool complete = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl->glBindFramebuffer(GL_FRAMEBUFFER, context_->defaultFramebufferObject());
    frameSize_ = complete ? QSize(width, height) : QSize();
    if (!complete) return false;
  }
  return engine_->RenderVideo(handle_, static_cast<int>(frame_), width, height);
}

bool VideoWindow::Prepare() {
  if (context_) return true;
  if (failed_) return false;
  // A native window needs a place to be made in: the container, shown once
  // out of sight.
  container_->setGeometry(0, 0, 1, 1);
  container_->show();
  create();
  auto context = std::make_unique<QOpenGLContext>();
  context->setFormat(requestedFormat());
  if (!handle() || !context->create() || !context->makeCurrent(this)) {
    failed_ = true;
    container_->hide();
    return false;
  }
  context->doneCurrent();
  context_ = std::move(context);
  if (!showing_) container_->hide();
  return true;
}

bool VideoWindow::MakeGLCurrent() { return Prepare() && context_->makeCurrent(this); }

void VideoWindow::DoneGLCurrent() {
  if (context_) context_->doneCurrent();
}

void* VideoWindow::GLProcAddress(const char* name) {
  return context_ ? reinterpret_cast<void*>(context_->getProcAddress(name)) : nullptr;
}

int VideoWindow::Width() { return pane_->width(); }
int VideoWindow::Height() { return pane_->height(); }
double VideoWindow::PixelRatio() { return pane_->devicePixelRatioF(); }

void VideoWindow::Placed(const qel::Rect& destination, bool shown, bool openGL) {
  openGL_ = openGL && context_;
  showing_ = shown && openGL_;
  placement_ = ToQRect(destination);
  visible_ = placement_ & QRect(QPoint(), pane_->size());
  if (showing_ && visible_.isEmpty()) showing_ = false;
  if (showing_) {
    container_->setGeometry(visible_);
    container_->show();
    container_->raise();
    Draw(true);
  } else {
    container_->hide();
  }
  if (repaintPane_) repaintPane_();
}

void VideoWindow::Wipe() {
  showing_ = false;
  container_->hide();
  if (repaintPane_) repaintPane_();
}

void VideoWindow::FrameReady() {
  if (!openGL_) {
    if (repaintPane_) repaintPane_();
    return;
  }
  // Drawn even out of sight: the player goes on only once its frames are
  // taken.
  Draw(showing_);
}

void VideoWindow::exposeEvent(QExposeEvent*) {
  if (isExposed() && showing_) Draw(true);
}

void VideoWindow::Draw(bool swap) {
  if (!context_ || !context_->makeCurrent(this)) return;
  const qreal ratio = devicePixelRatio();
  const auto px = [ratio](int v) { return static_cast<int>(v * ratio); };
  const int w = px(width()), h = px(height());
  if (visible_ == placement_ || placement_.isEmpty()) {
    engine_->RenderVideo(handle_, static_cast<int>(context_->defaultFramebufferObject()), w, h);
  } else {
    // The whole picture, then its visible part into the window. Both are
    // stored bottom-up, as OpenGL keeps framebuffers.
    const int fullW = px(placement_.width()), fullH = px(placement_.height());
    if (!RenderWhole(fullW, fullH)) return;
    const int x = px(visible_.left() - placement_.left());
    const int y = fullH - px(visible_.bottom() + 1 - placement_.top());
    QOpenGLExtraFunctions* gl = context_->extraFunctions();
    gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, frame_);
    gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context_->defaultFramebufferObject());
    gl->glBlitFramebuffer(x, y, x + w, y + h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, context_->defaultFramebufferObject());
  }
  if (swap && isExposed()) context_->swapBuffers(this);
}

std::optional<Picture> VideoWindow::Grab() {
  if (!showing_ || !context_ || !context_->makeCurrent(this)) return std::nullopt;
  const qreal ratio = devicePixelRatio();
  // The whole picture the window shows, also where the pane shows only a
  // part of it.
  const int w = static_cast<int>(placement_.width() * ratio), h = static_cast<int>(placement_.height() * ratio);
  if (w <= 0 || h <= 0) return std::nullopt;
  // The frame shown, drawn once more into a framebuffer and read there.
  if (!RenderWhole(w, h)) return std::nullopt;
  Picture picture{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
  std::vector<uint8_t> rows(picture.pixels.size());
  QOpenGLExtraFunctions* gl = context_->extraFunctions();
  gl->glBindFramebuffer(GL_FRAMEBUFFER, frame_);
  gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
  gl->glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  gl->glBindFramebuffer(GL_FRAMEBUFFER, context_->defaultFramebufferObject());
  // OpenGL's rows run bottom-up in RGBA; a picture's top-down in BGRA.
  for (int y = 0; y < h; ++y) {
    const uint8_t* from = rows.data() + static_cast<size_t>(h - 1 - y) * w * 4;
    uint8_t* to = picture.pixels.data() + static_cast<size_t>(y) * w * 4;
    for (int x = 0; x < w; ++x, from += 4, to += 4) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      to[3] = 255;
    }
  }
  return picture;
}

}  // namespace qel::desktop
