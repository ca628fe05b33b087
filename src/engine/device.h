// The media engine: a command-string device ("open ...", "status qel mode")
// over libmpv for sampled audio and video, an own Standard MIDI File
// sequencer over FluidSynth or an ALSA sequencer port, and libavformat for
// the quick length probe on the alias "Qel_".
//
// Threading: Send and every other method are called on one thread (the
// user-interface thread). libmpv, FluidSynth and the sequencer run threads of
// their own; whatever they report is handed back through the Poster, so
// notifications and FrameReady calls happen on the user-interface thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"

namespace qel::engine {

// MCI error numbers the engine answers with.
constexpr int kErrInvalidDeviceId = 257;
constexpr int kErrUnrecognizedKeyword = 259;
constexpr int kErrUnrecognizedCommand = 261;
constexpr int kErrHardware = 262;
constexpr int kErrInvalidDeviceName = 263;  // alias not open
constexpr int kErrDeviceOpen = 265;         // init of an output failed
constexpr int kErrMissingCommandString = 267;
constexpr int kErrBadInteger = 270;
constexpr int kErrMissingParameter = 273;
constexpr int kErrUnsupportedFunction = 274;
constexpr int kErrFileNotFound = 275;
constexpr int kErrOutOfRange = 282;
constexpr int kErrDuplicateAlias = 289;
constexpr int kErrBadConstant = 290;
constexpr int kErrMissingDeviceName = 292;
constexpr int kErrNoClosingQuote = 294;
constexpr int kErrInvalidFile = 296;
constexpr int kErrExtraCharacters = 305;

class Device;  // one open alias (internal)

class Engine : public qel::MediaDevice {
 public:
  // Queues a task to run later on the user-interface thread. May be called
  // from any thread; must not run the task synchronously.
  using Poster = std::function<void(std::function<void()>)>;
  using NotifyHandler = std::function<void(int code, const std::string& alias)>;

  explicit Engine(Poster post);
  ~Engine() override;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Receives "play ... notify" outcomes (kNotifySuccessful, kNotifySuperseded,
  // kNotifyAborted, kNotifyFailure when the file became unreadable while it
  // played), once each, through the Poster. A notification whose device has
  // been closed (or reopened) before delivery is dropped, and so is an
  // aborted one that a newer "play ... notify" of its device has overtaken.
  void SetNotifyHandler(NotifyHandler handler);

  // qel::MediaDevice
  using MediaDevice::Send;
  int Send(const std::string& command, std::string* answer) override;
  std::vector<std::string> MidiOutputDevices() override;
  void SetMidiOutputVolume(int device, double volume) override;
  void SetWaveOutputVolume(double volume) override;
  std::vector<std::string> PlayableExtensions() override;

  // A video surface: the desktop registers its pane under the native handle
  // number it gives the core (Window::NativeHandle). After
  // "window <alias> handle <n>" the engine renders the video (BGRA) at the
  // destination rectangle of "put"; FrameReady is called on the UI thread
  // whenever a new frame is there, and the sink then asks VideoFrame.
  struct VideoSink {
    virtual ~VideoSink() = default;
    virtual void FrameReady() = 0;
    virtual int Width() = 0;   // pane client size
    virtual int Height() = 0;
    // A surface that draws with OpenGL makes its context current here and
    // answers true; the engine then makes its renderer in that context and
    // FrameReady asks the surface to paint, where it calls RenderVideo.
    // Without OpenGL the engine draws frames itself (VideoFrame).
    virtual bool MakeGLCurrent() { return false; }
    virtual void DoneGLCurrent() {}
    virtual void* GLProcAddress(const char*) { return nullptr; }
    // Where the video window stands in the pane (left, top, right, bottom),
    // or that there is none any more (shown false); openGL: its frames are
    // drawn through RenderVideo, else through VideoFrame.
    virtual void Placed(const qel::Rect&, bool /*shown*/, bool /*openGL*/) {}
  };
  void RegisterSurface(unsigned handle, VideoSink* sink);
  void UnregisterSurface(unsigned handle);

  // The latest frame drawn for a surface, and where it goes in the pane
  // (left, top, right, bottom; may start negative or overflow the pane).
  struct Frame {
    qel::Picture picture;  // BGRA top-down, destination size
    qel::Rect destination;
  };
  std::optional<Frame> VideoFrame(unsigned handle);

  // Draws the video shown on an OpenGL surface into framebuffer fbo of
  // width x height pixels; the surface's context is current (its paint).
  // False when it has no video drawn with OpenGL.
  bool RenderVideo(unsigned handle, int fbo, int width, int height);

  // The frame shown in the video window of an alias: BGRA top-down at the
  // destination size, for capture. nullopt without a picture.
  std::optional<qel::Picture> CurrentFrame(const std::string& alias);

  // Peak sample level (0..1) that the built-in synthesizer has produced
  // since the last call; a level meter and a check that MIDI is audible.
  double TakeMidiOutputPeak();

  // Aliases currently open, for tools that close everything at exit.
  std::vector<std::string> OpenAliases() const;

  struct Impl;  // the engine's internals, defined beside the devices

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qel::engine
