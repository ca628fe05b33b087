// The desktop's file manager as the player reaches it: the clipboard's file
// list, which Nautilus, Nemo, Caja, Thunar and Dolphin paste as a copy or a
// move, and a file's properties through org.freedesktop.FileManager1.
#pragma once

#include <QMimeData>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "core/platform.h"

namespace qel::desktop {

class FileManagerService : public FileManager {
 public:
  FileManagerService();
  ~FileManagerService() override;
  void PutFilesOnClipboard(const std::vector<std::string>& paths, bool cut) override;
  // Asks the file manager on the session bus for the file's properties, or,
  // when none answers that, to show the file in its folder. Nothing waits
  // for the answer.
  void ShowFileProperties(const std::string& path) override;

 private:
  // Answers of the bus come back to this object; deleting it drops the ones
  // still outstanding.
  std::unique_ptr<QObject> replies_;
};

// What the clipboard holds for the files, in every format a file manager
// reads.
std::unique_ptr<QMimeData> FileListMimeData(const std::vector<std::string>& paths, bool cut);

}  // namespace qel::desktop
