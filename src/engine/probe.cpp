#include "engine/probe.h"

#include <chrono>
#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace qel::engine {
namespace {

using Clock = std::chrono::steady_clock;

// The probe runs on the user-interface thread whenever the length of an
// entry is wanted; a file that makes the demuxers read on and on (a huge
// file of zeros, a hanging network mount) is given up after this long and
// has no length.
constexpr auto kProbeBound = std::chrono::milliseconds(400);

int PastDeadline(void* deadline) { return Clock::now() >= *static_cast<Clock::time_point*>(deadline) ? 1 : 0; }

long long StreamsDurationMs(AVFormatContext* ctx) {
  if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0)
    return static_cast<long long>(std::llround(ctx->duration / 1000.0));
  double best = 0;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* s = ctx->streams[i];
    if (s->duration == AV_NOPTS_VALUE || s->duration <= 0) continue;
    best = std::max(best, s->duration * av_q2d(s->time_base) * 1000.0);
  }
  return static_cast<long long>(std::llround(best));
}

}  // namespace

std::optional<long long> ProbeLengthMs(const std::string& path) {
  av_log_set_level(AV_LOG_QUIET);
  Clock::time_point deadline = Clock::now() + kProbeBound;
  AVFormatContext* ctx = avformat_alloc_context();
  if (!ctx) return std::nullopt;
  // Every read libavformat makes asks this first, so the bound holds inside
  // the demuxers' own scans too.
  ctx->interrupt_callback.callback = PastDeadline;
  ctx->interrupt_callback.opaque = &deadline;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return std::nullopt;  // frees ctx
  // Most demuxers know the length from the header (FLAC STREAMINFO, MP4 mvhd,
  // Matroska Info, Ogg last page, MP3 Xing); only the others need the slower
  // stream analysis, which estimates from the bit rate.
  long long ms = StreamsDurationMs(ctx);
  if (ms <= 0) {
    ctx->probesize = 256 * 1024;
    ctx->max_analyze_duration = 2 * AV_TIME_BASE;
    if (avformat_find_stream_info(ctx, nullptr) >= 0) ms = StreamsDurationMs(ctx);
  }
  avformat_close_input(&ctx);
  if (ms <= 0) return std::nullopt;
  return ms;
}

}  // namespace qel::engine
