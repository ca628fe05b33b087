#include "core/fs/file_uri.h"

#include "core/fs/file_names.h"

namespace qel {

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FileUri(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  uri.reserve(uri.size() + path.size() * 3);
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (Unreserved(c) || c == '/') {
      uri.push_back(ch);
    } else {
      uri.push_back('%');
      uri.push_back(kHex[c >> 4]);
      uri.push_back(kHex[c & 15]);
    }
  }
  return uri;
}

std::optional<std::string> LocalPathFromUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file:";
  if (uri.size() < kScheme.size() || !files::EqualNoCase(uri.substr(0, kScheme.size()), kScheme)) return std::nullopt;
  std::string_view rest = uri.substr(kScheme.size());
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !files::EqualNoCase(host, "localhost")) return std::nullopt;
    rest.remove_prefix(slash);
  }
  rest = rest.substr(0, rest.find_first_of("?#"));
  // A NUL, escaped or not, would cut the path short wherever it is used.
  if (rest.empty() || rest.front() != '/' || rest.find('\0') != std::string_view::npos) return std::nullopt;
  std::string path;
  path.reserve(rest.size());
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != '%') {
      path.push_back(rest[i]);
      continue;
    }
    if (i + 2 >= rest.size()) return std::nullopt;
    const int high = HexValue(rest[i + 1]), low = HexValue(rest[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    path.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return path;
}

}  // namespace qel
