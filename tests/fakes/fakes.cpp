#include "fakes.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace qel::test {

int FakeDevice::Send(const std::string& command, std::string* answer) {
  commands.push_back(command);
  Reply reply;
  auto it = script.find(command);
  if (it != script.end() && !it->second.empty()) {
    reply = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
  } else if (!responder || !responder(command, reply)) {
    reply = Reply{};
  }
  if (answer) *answer = reply.answer;
  return reply.error;
}

bool FakeDevice::Sent(const std::string& command) const {
  return std::find(commands.begin(), commands.end(), command) != commands.end();
}

int FakeDevice::Count(const std::string& command) const {
  return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

void FakeWindow::InsertRow(int at, const std::string& text) {
  if (at < 0 || at > RowCount()) at = RowCount();
  rows.insert(rows.begin() + at, text);
  std::set<int> moved;
  for (int s : selected) moved.insert(s >= at ? s + 1 : s);
  selected = moved;
}

void FakeWindow::DeleteRow(int at) {
  if (at < 0 || at >= RowCount()) return;
  rows.erase(rows.begin() + at);
  std::set<int> moved;
  for (int s : selected) {
    if (s < at) moved.insert(s);
    else if (s > at) moved.insert(s - 1);
  }
  selected = moved;
}

void FakeWindow::DeleteAllRows() {
  rows.clear();
  selected.clear();
  topRow = 0;
}

std::string FakeWindow::RowText(int row) {
  if (row < 0 || row >= RowCount()) return {};
  return rows[row];
}

void FakeWindow::SetRowSelected(int row, bool on) {
  if (row < 0 || row >= RowCount()) return;
  if (on) selected.insert(row);
  else selected.erase(row);
}

void FakeWindow::SetAllRowsSelected(bool on) {
  selected.clear();
  if (on)
    for (int i = 0; i < RowCount(); ++i) selected.insert(i);
}

int FakeWindow::RowNearPoint(Point p, bool* outside) {
  if (outside) *outside = p.x < 0 || p.y < 0 || p.x >= clientWidth || p.y >= clientHeight;
  if (rows.empty()) return -1;
  int row = topRow + (p.y < 0 ? 0 : p.y / rowHeight);
  return std::clamp(row, 0, RowCount() - 1);
}

MessageResult FakeWindow::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                                      MessageButtons buttons, bool owned) {
  messages.push_back({text, caption, icon, buttons, owned});
  if (messageAnswers.empty()) return MessageResult::Ok;
  MessageResult r = messageAnswers.front();
  messageAnswers.pop_front();
  return r;
}

std::optional<std::string> FakeWindow::QueryDialog(QueryKind kind) {
  queryDialogs.push_back(kind);
  if (whileDialogOpen) whileDialogOpen();
  if (queryAnswers.empty()) return std::nullopt;
  std::optional<std::string> answer = queryAnswers.front();
  queryAnswers.pop_front();
  return answer;
}

std::optional<std::string> FakeWindow::FileNameDialog(const std::string& name, size_t selectEnd,
                                                      const std::function<bool(const std::string&)>& accept) {
  nameDialogs.push_back({name, name.substr(0, selectEnd)});
  if (whileDialogOpen) whileDialogOpen();
  if (nameTyping.empty()) return std::nullopt;
  std::vector<std::string> tries = nameTyping.front();
  nameTyping.pop_front();
  for (const std::string& typed : tries)
    if (accept(typed)) return typed;
  return std::nullopt;
}

std::optional<Picture> FakeImages::DecodeImageMemory(const std::vector<uint8_t>& b) {
  ++calls;
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() < 24 || !std::equal(sig, sig + 8, b.begin())) return std::nullopt;
  auto be32 = [&](size_t o) { return (uint32_t(b[o]) << 24) | (uint32_t(b[o + 1]) << 16) | (uint32_t(b[o + 2]) << 8) | b[o + 3]; };
  uint32_t w = be32(16), h = be32(20);
  if (w == 0 || h == 0 || w > 8192 || h > 8192) return std::nullopt;
  Picture p;
  p.width = static_cast<int>(w);
  p.height = static_cast<int>(h);
  p.pixels.assign(size_t(w) * h * 4, 0x80);
  return p;
}

FakePlayer::Home::Home() {
  char pattern[] = "/tmp/qel-home-XXXXXX";
  if (mkdtemp(pattern)) path = pattern;
}

FakePlayer::Home::~Home() {
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove_all(path, ec);
}

FakePlayer::FakePlayer() {
  state.platform = Platform{&device, &window, &desktop, &images, &files, &fileManager};
  state.instanceName = "qel";
  state.executablePath = "/opt/qel/qel";
  state.mciAlias = "qel";
  // No test reads or writes the user's own settings: this path can never
  // exist (its parent is a device), so reads give the defaults.
  state.iniPath = "/dev/null/qel-test.ini";
  state.mediaExtensions = ".mp3.wave.mid.ogg.flac.wav.m4a.mp4.mkv.wma.avi.m3u.m3u8.qel";
}

}  // namespace qel::test
