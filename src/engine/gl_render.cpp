#include "engine/gl_render.h"

#include <mpv/render_gl.h>

namespace qel::engine {

mpv_render_context* CreateGLRenderer(mpv_handle* player, GLProcLookup lookup, void* context) {
  mpv_opengl_init_params init{lookup, context};
  int advanced = 0;
  mpv_render_param params[] = {
      {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
      {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &init},
      {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advanced},
      {MPV_RENDER_PARAM_INVALID, nullptr},
  };
  mpv_render_context* renderer = nullptr;
  if (mpv_render_context_create(&renderer, player, params) < 0) return nullptr;
  return renderer;
}

bool RenderGLFrame(mpv_render_context* renderer, int fbo, int width, int height) {
  if (!renderer || width <= 0 || height <= 0) return false;
  mpv_opengl_fbo target{fbo, width, height, 0};
  // The framebuffer is shown with its first row at the top.
  int flipY = 1;
  int block = 0;
  mpv_render_param params[] = {
      {MPV_RENDER_PARAM_OPENGL_FBO, &target},
      {MPV_RENDER_PARAM_FLIP_Y, &flipY},
      {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
      {MPV_RENDER_PARAM_INVALID, nullptr},
  };
  return mpv_render_context_render(renderer, params) >= 0;
}

}  // namespace qel::engine
