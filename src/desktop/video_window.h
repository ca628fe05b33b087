// The video window: a native child window of the pane, at the rectangle the
// core placed the picture in, where the engine draws each frame with OpenGL
// in this window's own context. Where OpenGL cannot be had the engine draws
// frames itself and the pane paints them; this window then stays hidden.
#pragma once

#include <QOpenGLContext>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>

#include "core/platform.h"
#include "engine/module.h"

class QWidget;

namespace qel::desktop {

class VideoWindow : public QWindow, public engine::VideoSink {
  Q_OBJECT
 public:
  // pane: the widget the window sits in. repaintPane: the pane is to paint
  // anew (a frame the engine drew itself, or the window came or went).
  VideoWindow(engine::MediaEngine* engine, unsigned handle, QWidget* pane, std::function<void()> repaintPane);
  ~VideoWindow() override;

  // Whether a picture is drawn here now (OpenGL, and a video placed).
  bool Showing() const { return showing_; }
  // The window's rectangle inside the pane.
  QRect Placement() const { return visible_; }
  // What the window shows now, at its size; nothing when it shows nothing.
  std::optional<Picture> Grab();
  // Takes the picture away until the next placement.
  void Wipe();

  // engine::VideoSink
  void FrameReady() override;
  int Width() override;
  int Height() override;
  double PixelRatio() override;
  bool MakeGLCurrent() override;
  void DoneGLCurrent() override;
  void* GLProcAddress(const char* name) override;
  void Placed(const qel::Rect& destination, bool shown, bool openGL) override;

 protected:
  void exposeEvent(QExposeEvent* event) override;

 private:
  // The context and the container in the pane, made the first time a
  // video wants them, so a player that shows no video never loads OpenGL.
  bool Prepare();
  void Draw(bool swap);
  // Renders the whole picture, at placement_'s size in device pixels, into
  // a framebuffer of this window's own; false when that cannot be had.
  bool RenderWhole(int width, int height);
  void ReleaseFrame();

  engine::MediaEngine* engine_;
  unsigned handle_;
  QWidget* pane_;
  std::function<void()> repaintPane_;
  QWidget* container_ = nullptr;
  std::unique_ptr<QOpenGLContext> context_;
  bool failed_ = false;  // no OpenGL here: the engine draws in memory
  bool openGL_ = false;  // the current video is drawn here
  bool showing_ = false;
  QRect placement_;  // the whole picture, in the pane's coordinates
  QRect visible_;    // the part of it inside the pane, where the window is
  // The whole picture when only a part of it shows: a picture larger than
  // the pane (ORIGINAL, MULTIPLE) is drawn here, and its visible part copied
  // to the window, so the window never reaches past the pane.
  unsigned frame_ = 0, frameColour_ = 0;
  QSize frameSize_;
};

}  // namespace qel::desktop
