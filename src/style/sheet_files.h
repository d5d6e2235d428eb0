// Reading style sheets from local files, safely: only regular files of at
// most 16 MB, never from the network, and with a sandbox only under it.
#pragma once

#include <cstddef>
#include <string>

namespace ps {

inline constexpr std::size_t kMaxSheetBytes = std::size_t{16} << 20;

struct SheetFile {
  std::string path;    // resolved
  std::string bytes;
  std::string notice;  // why it was not read; empty when it was
};

// A file named on the command line or resolved already.
SheetFile ReadSheetFile(const std::string& path, const std::string& sandbox);
// A URL of a LINK or @import, relative to the folder of what refers to it.
SheetFile ReadLinkedSheet(const std::string& url, const std::string& folder, const std::string& sandbox);
// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);
// The sandbox folder resolved; empty when it is not a readable folder.
std::string ResolveFolder(const std::string& path);

}  // namespace ps
