#include "core/fs/file_names.h"

#include <vector>

namespace qel::files {

std::string_view Folder(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

std::string_view Name(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view Extension(std::string_view path) {
  std::string_view name = Name(path);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

std::string_view Stem(std::string_view path) {
  std::string_view name = Name(path);
  return name.substr(0, name.size() - Extension(name).size());
}

std::string Join(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  if (out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

std::string Normalize(std::string_view path) {
  bool absolute = !path.empty() && path.front() == '/';
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    std::string_view part = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") parts.pop_back();
      else if (!absolute) parts.push_back(part);
      continue;
    }
    parts.push_back(part);
  }
  if (parts.empty()) return std::string(absolute ? "/" : ".");
  std::string out;
  if (absolute) out.push_back('/');
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out.push_back('/');
    out.append(parts[i]);
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace qel::files
