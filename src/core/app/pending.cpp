#include "core/app/pending.h"

namespace qel {

// Filled by the frame capture work.
void CaptureToFile(AppState&) {}
// Filled by the frame capture work.
void CaptureToClipboard(AppState&) {}

}  // namespace qel
