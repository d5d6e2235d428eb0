#include "style/sheet_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace ps {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 &&
        HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The scheme of a URL in lower case ("" for a relative reference).
std::string SchemeOf(std::string_view url) {
  std::size_t i = 0;
  while (i < url.size() && ((url[i] >= 'a' && url[i] <= 'z') || (url[i] >= 'A' && url[i] <= 'Z') ||
                            (i > 0 && ((url[i] >= '0' && url[i] <= '9') || url[i] == '+' || url[i] == '-' ||
                                       url[i] == '.'))))
    ++i;
  if (i < 2 || i == url.size() || url[i] != ':') return "";  // one letter: a drive, not a scheme
  std::string s(url.substr(0, i));
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ResolveFolder(const std::string& path) {
  char buf[PATH_MAX];
  if (!realpath(path.c_str(), buf)) return "";
  struct stat st;
  if (stat(buf, &st) != 0 || !S_ISDIR(st.st_mode)) return "";
  return buf;
}

SheetFile ReadSheetFile(const std::string& path, const std::string& sandbox) {
  SheetFile f;
  char buf[PATH_MAX];
  if (!realpath(path.c_str(), buf)) {
    f.notice = std::strerror(errno);
    return f;
  }
  f.path = buf;
  if (!sandbox.empty()) {
    const std::string root = sandbox == "/" ? "/" : sandbox + "/";
    if (f.path.compare(0, root.size(), root) != 0) {
      f.notice = "outside the sandbox";
      return f;
    }
  }
  struct stat st;
  if (stat(buf, &st) != 0) {
    f.notice = std::strerror(errno);
    return f;
  }
  if (!S_ISREG(st.st_mode)) {
    f.notice = S_ISDIR(st.st_mode) ? "a folder" : "not a regular file";
    return f;
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxSheetBytes) {
    f.notice = "larger than 16 MB";
    return f;
  }
  // Not blocking: what was a regular file a moment ago may be a FIFO now.
  const int fd = open(buf, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    f.notice = std::strerror(errno);
    return f;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    f.notice = "not a regular file";
    return f;
  }
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      f.notice = std::strerror(errno);
      break;
    }
    if (n == 0) break;
    if (f.bytes.size() + static_cast<std::size_t>(n) > kMaxSheetBytes) {
      f.notice = "larger than 16 MB";
      break;
    }
    f.bytes.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  if (!f.notice.empty()) f.bytes.clear();
  return f;
}

SheetFile ReadLinkedSheet(const std::string& url, const std::string& folder, const std::string& sandbox) {
  std::string_view u = url;
  while (!u.empty() && (u.front() == ' ' || u.front() == '\t' || u.front() == '\n' || u.front() == '\r')) u.remove_prefix(1);
  while (!u.empty() && (u.back() == ' ' || u.back() == '\t' || u.back() == '\n' || u.back() == '\r')) u.remove_suffix(1);
  SheetFile f;
  if (u.empty()) {
    f.notice = "no address";
    return f;
  }
  const std::string scheme = SchemeOf(u);
  if (scheme == "file") {
    u.remove_prefix(5);
    if (u.substr(0, 2) == "//") {
      u.remove_prefix(2);
      const std::size_t slash = u.find('/');
      if (slash != 0 && u.substr(0, slash) != "localhost") {
        f.notice = "a file on another host, not fetched";
        return f;
      }
      u.remove_prefix(slash == std::string_view::npos ? u.size() : slash);
    }
  } else if (!scheme.empty() || u.substr(0, 2) == "//") {
    f.notice = "a remote address, not fetched";
    return f;
  }
  const std::size_t cut = u.find_first_of("?#");
  std::string path = PercentDecoded(u.substr(0, cut));
  if (path.empty() || path.find('\0') != std::string::npos) {
    f.notice = "no file name";
    return f;
  }
  if (path[0] != '/') path = folder + "/" + path;
  return ReadSheetFile(path, sandbox);
}

}  // namespace ps
