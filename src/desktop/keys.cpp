#include "desktop/keys.h"

#include <Qt>

#include "core/app/hotkeys.h"

namespace qel::desktop {

std::optional<Key> KeyFromQt(int k, bool keypad) {
  if (keypad) {
    // With NumLock off the keypad sends the navigation keys, which count as
    // those keys; with it on, digits and operators are keypad keys.
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return static_cast<Key>(static_cast<int>(Key::Num0) + (k - Qt::Key_0));
    switch (k) {
      case Qt::Key_Plus: return Key::NumAdd;
      case Qt::Key_Minus: return Key::NumSubtract;
      case Qt::Key_Asterisk: return Key::NumMultiply;
      case Qt::Key_Period:
      case Qt::Key_Comma: return Key::NumDecimal;
      default: break;
    }
  }
  switch (k) {
    case Qt::Key_Down: return Key::Down;
    case Qt::Key_Up: return Key::Up;
    case Qt::Key_Left: return Key::Left;
    case Qt::Key_Right: return Key::Right;
    case Qt::Key_Return:
    case Qt::Key_Enter: return Key::Enter;
    case Qt::Key_Space: return Key::Space;
    case Qt::Key_Escape: return Key::Escape;
    case Qt::Key_Delete: return Key::Delete;
    case Qt::Key_Insert: return Key::Insert;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return Key::Tab;
    case Qt::Key_Backspace: return Key::Backspace;
    case Qt::Key_PageUp: return Key::PageUp;
    case Qt::Key_PageDown: return Key::PageDown;
    case Qt::Key_Home: return Key::Home;
    case Qt::Key_End: return Key::End;
    case Qt::Key_A: return Key::A;
    case Qt::Key_C: return Key::C;
    case Qt::Key_F: return Key::F;
    case Qt::Key_G: return Key::G;
    case Qt::Key_Q: return Key::Q;
    case Qt::Key_R: return Key::R;
    case Qt::Key_S: return Key::S;
    case Qt::Key_T: return Key::T;
    case Qt::Key_W: return Key::W;
    case Qt::Key_X: return Key::X;
    case Qt::Key_F2: return Key::F2;
    case Qt::Key_F3: return Key::F3;
    case Qt::Key_F5: return Key::F5;
    case Qt::Key_F10: return Key::F10;
    case Qt::Key_F11: return Key::F11;
    case Qt::Key_F12: return Key::F12;
    default: return std::nullopt;
  }
}

int QtKeyFromVirtualKey(int vk) {
  switch (vk) {
    case 33: return Qt::Key_PageUp;
    case 34: return Qt::Key_PageDown;
    case 35: return Qt::Key_End;
    case 36: return Qt::Key_Home;
    case 37: return Qt::Key_Left;
    case 38: return Qt::Key_Up;
    case 39: return Qt::Key_Right;
    case 40: return Qt::Key_Down;
    default: return 0;
  }
}

std::optional<int> MediaKeyFromQt(int k) {
  switch (k) {
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaTogglePlayPause: return kKeyPlayPause;
    case Qt::Key_MediaPause: return kKeyPause;
    case Qt::Key_MediaStop: return kKeyStop;
    case Qt::Key_MediaNext: return kKeyNextTrack;
    case Qt::Key_MediaPrevious: return kKeyPreviousTrack;
    case Qt::Key_VolumeUp: return kKeyVolumeUp;
    case Qt::Key_VolumeDown: return kKeyVolumeDown;
    default: return std::nullopt;
  }
}

}  // namespace qel::desktop
