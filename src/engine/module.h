// The media engine as the program sees it. libmpv, FluidSynth and
// libavformat with everything they pull in (a few hundred libraries, tens of
// megabytes) live in a module of their own that the program loads the first
// time a file is opened or measured, so the window never waits for them and
// a player that plays nothing never maps them. This header is the whole
// boundary: the program includes it, the module exports the one factory
// below, and everything crosses through the interface.
//
// Threading: every method is called on the user-interface thread; whatever
// the engine reports (notifications, FrameReady) comes back through the
// Poster, on that thread.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "engine/media_types.h"

namespace qel::engine {

// Queues a task to run later on the user-interface thread. May be called
// from any thread; must not run the task synchronously.
using Poster = std::function<void(std::function<void()>)>;
// Whether a notification still speaks for the device that plays: false once
// its device has been closed or reopened, or asked for a newer
// "play ... notify", since it was sent. A notification the program holds
// back (behind a dialog, say) asks this before it is acted on.
using NotifyCurrent = std::function<bool()>;
using NotifyHandler = std::function<void(int code, const std::string& alias, NotifyCurrent current)>;

// A video surface: the desktop registers its pane under the native handle
// number it gives the core (Window::NativeHandle). After
// "window <alias> handle <n>" the engine renders the video (BGRA) at the
// destination rectangle of "put"; FrameReady is called on the UI thread
// whenever a new frame is there, and the sink then asks VideoFrame.
struct VideoSink {
  virtual ~VideoSink() = default;
  virtual void FrameReady() = 0;
  virtual int Width() = 0;  // pane client size
  virtual int Height() = 0;
  // Device pixels per pane pixel: frames the engine draws itself are drawn
  // at the screen's own pixels, so a high-density screen shows them sharp.
  virtual double PixelRatio() { return 1.0; }
  // A surface that draws with OpenGL makes its context current here and
  // answers true; the engine then makes its renderer in that context, and
  // FrameReady asks the surface to draw, which it does through RenderVideo.
  // Without OpenGL the engine draws the frames itself (VideoFrame).
  virtual bool MakeGLCurrent() { return false; }
  virtual void DoneGLCurrent() {}
  virtual void* GLProcAddress(const char*) { return nullptr; }
  // Where the video window stands in the pane (left, top, right, bottom),
  // or that there is none any more (shown false); openGL: its frames come
  // through RenderVideo, else through VideoFrame.
  virtual void Placed(const qel::Rect&, bool /*shown*/, bool /*openGL*/) {}
};

// The latest frame drawn for a surface, and where it goes in the pane
// (left, top, right, bottom; may start negative or overflow the pane).
struct Frame {
  qel::Picture picture;  // BGRA top-down, destination size
  qel::Rect destination;
};

class MediaEngine : public qel::MediaDevice {
 public:
  // Receives "play ... notify" outcomes (kNotifySuccessful, kNotifySuperseded,
  // kNotifyAborted, kNotifyFailure when the file became unreadable while it
  // played), once each, through the Poster. A notification whose device has
  // been closed (or reopened) before delivery is dropped, and so is an
  // aborted one that a newer "play ... notify" of its device has overtaken;
  // for one delivered but acted on later, `current` tells the same.
  virtual void SetNotifyHandler(NotifyHandler handler) = 0;

  virtual void RegisterSurface(unsigned handle, VideoSink* sink) = 0;
  virtual void UnregisterSurface(unsigned handle) = 0;
  virtual std::optional<Frame> VideoFrame(unsigned handle) = 0;
  // Draws the video shown on an OpenGL surface into framebuffer fbo of
  // width x height pixels, the surface's context current. False when it
  // shows no video drawn with OpenGL.
  virtual bool RenderVideo(unsigned handle, int fbo, int width, int height) = 0;

  // The frame shown in the video window of an alias: BGRA top-down at the
  // destination size, for capture. nullopt without a picture.
  virtual std::optional<qel::Picture> CurrentFrame(const std::string& alias) = 0;
};

// The engine plays what its own decoders read; libmpv (video and the other
// formats) and the MIDI outputs are modules of their own beside it, which
// it loads when a file needs one. A start about to play a file may map the
// one it needs ahead. Extensions here are lower case, dot included.
inline constexpr std::array<std::string_view, 10> kSoundFileExtensions = {
    ".mp3", ".wav", ".wave", ".flac", ".fla", ".ogg", ".oga", ".opus", ".aif", ".aiff"};
inline constexpr const char* kPlayerModuleFile = "qel-engine-player.so";
inline constexpr const char* kMidiModuleFile = "qel-engine-midi.so";
inline bool IsSoundFileExtension(std::string_view extension) {
  return std::find(kSoundFileExtensions.begin(), kSoundFileExtensions.end(), extension) != kSoundFileExtensions.end();
}
// The module a media file needs beside the engine's own; nullptr when the
// engine's own will do, or when the extension is no media file's (a
// folder's or a playlist's says nothing of what will play).
inline const char* BackendModuleFor(std::string_view extension) {
  if (extension == ".mid") return kMidiModuleFile;
  if (IsSoundFileExtension(extension) || !IsMediaExtension(extension)) return nullptr;
  return kPlayerModuleFile;
}

// The module's one exported symbol. It answers nullptr when the module was
// built for another version of this interface; the caller owns the engine
// and deletes it before the program ends (the module itself stays loaded).
inline constexpr int kModuleInterfaceVersion = 4;
inline constexpr const char* kModuleFactorySymbol = "qel_engine_module_create";
using ModuleFactory = MediaEngine* (*)(int interfaceVersion, const Poster* post);

}  // namespace qel::engine
