// libmpv's OpenGL renderer, drawing into a framebuffer of a GL context that
// the desktop owns (its video surface). Decoding and scaling then run where
// that context runs them: on the graphics card where there is one.
#pragma once

#include <mpv/client.h>
#include <mpv/render.h>

namespace qel::engine {

// Where GL functions are looked up: the surface's own context.
using GLProcLookup = void* (*)(void* context, const char* name);

// A renderer for the player, made while the surface's context is current;
// nullptr when the context cannot take one.
mpv_render_context* CreateGLRenderer(mpv_handle* player, GLProcLookup lookup, void* context);

// Draws the current frame into framebuffer fbo of width x height pixels
// (the surface's context current), without waiting for the frame's display
// time: the user-interface thread never sleeps in here.
bool RenderGLFrame(mpv_render_context* renderer, int fbo, int width, int height);

}  // namespace qel::engine
