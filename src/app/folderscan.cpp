#include "folderscan.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

namespace app {

namespace {

// How many entries of one folder are listed between two progress calls: a folder of
// many thousands of entries must not hold a Cancel back.
constexpr int kEntriesPerProgressCall = 64;

struct TDirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using TDir = std::unique_ptr<DIR, TDirCloser>;

QString SystemMessage(const char* what, int error) {
  return QString::fromUtf8(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

// Wildcard match on the encoded name; the patterns are ASCII.
bool Matches(const char* name, const char* pattern) {
  const char* starName = nullptr;
  const char* starPattern = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starPattern = pattern++;
      starName = name;
    } else if (*pattern == '?' || (*pattern && LowerAscii(*pattern) == LowerAscii(*name))) {
      ++pattern;
      ++name;
    } else if (starPattern) {
      pattern = starPattern + 1;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

bool IsDotOrDotDot(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

QString WithSeparator(const QString& folder) { return folder.endsWith(u'/') ? folder : folder + u'/'; }

QDateTime ModificationTime(const struct stat& st) {
  return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
}

struct TPattern {
  QByteArray Text;
  int ImageIndex;
};

// One listing of `folder` serves several patterns: the records of the first pattern
// come first, then those of the second, each in listing order, as if the folder had
// been listed once per pattern.
bool FindFilesOf(const QString& folder, const std::vector<TPattern>& patterns, bool includeHidden,
                 std::vector<TFileRecord>& list, std::vector<TScanMessage>& messages,
                 const TScanProgressCallback& progress) {
  const QString path = WithSeparator(folder);
  const QByteArray native = QFile::encodeName(path);
  TDir dir(opendir(native.constData()));
  if (!dir) {
    messages.push_back({TScanMessage::mkError, path, SystemMessage("Cannot read the folder", errno)});
    return true;
  }
  const int fd = dirfd(dir.get());
  std::vector<std::vector<TFileRecord>> groups(patterns.size());
  int entries = 0;
  TScanProgress report{TScanProgress::spSearching, 0, 0, folder};
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (!entry) {
      if (errno != 0) messages.push_back({TScanMessage::mkError, path, SystemMessage("Cannot list the folder", errno)});
      break;
    }
    if (progress && ++entries % kEntriesPerProgressCall == 0) {
      report.Done = int(list.size());
      if (!progress(report)) return false;
    }
    const char* name = entry->d_name;
    if (IsDotOrDotDot(name) || entry->d_type == DT_DIR) continue;
    if (name[0] == '.' && !includeHidden) continue;
    size_t group = 0;
    while (group < patterns.size() && !Matches(name, patterns[group].Text.constData())) ++group;
    if (group == patterns.size()) continue;
    struct stat st;
    // Links are followed: a link to a file elsewhere is that file.
    if (fstatat(fd, name, &st, 0) != 0) {
      messages.push_back({TScanMessage::mkError, path + QFile::decodeName(name),
                          SystemMessage("Cannot read the file", errno)});
      continue;
    }
    if (!S_ISREG(st.st_mode)) continue;
    TFileRecord record;
    record.Attr = st.st_mode;
    record.ImageIndex = patterns[group].ImageIndex;
    record.Name = QFile::decodeName(name);
    record.Path = path;  // shared by every record of the folder
    record.Size = int64_t(st.st_size);
    record.Time = ModificationTime(st);
    groups[group].push_back(std::move(record));
  }
  for (auto& g : groups) std::move(g.begin(), g.end(), std::back_inserter(list));
  return true;
}

bool Collect(const QString& folder, int parentFd, const char* nameInParent, std::vector<QString>& list,
             TVisitedFolders& visited, const TScanProgressCallback& progress, int& entries) {
  // Opened relative to the parent's handle: the walk does not rebuild and re-resolve
  // the full path of every level.
  const int fd = parentFd < 0 ? open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                              : openat(parentFd, nameInParent, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;  // the file search of this folder reports why
  struct stat st;
  if (fstat(fd, &st) != 0 || !visited.insert({uint64_t(st.st_dev), uint64_t(st.st_ino)}).second) {
    close(fd);
    return true;
  }
  TDir dir(fdopendir(fd));
  if (!dir) {
    close(fd);
    return true;
  }
  const QString prefix = WithSeparator(folder);
  while (const dirent* entry = readdir(dir.get())) {
    if (progress && ++entries % kEntriesPerProgressCall == 0) {
      if (!progress({TScanProgress::spSearching, 0, 0, folder})) return false;
    }
    const char* name = entry->d_name;
    if (IsDotOrDotDot(name)) continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat target;
      isFolder = fstatat(dirfd(dir.get()), name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    if (!isFolder) continue;
    const QString sub = prefix + QFile::decodeName(name);
    // A folder reached a second time through a link is neither listed nor entered.
    struct stat subStat;
    if (fstatat(dirfd(dir.get()), name, &subStat, 0) == 0 &&
        visited.count({uint64_t(subStat.st_dev), uint64_t(subStat.st_ino)}) != 0)
      continue;
    list.push_back(sub);
    if (!Collect(sub, dirfd(dir.get()), name, list, visited, progress, entries)) return false;
  }
  return true;
}

const std::vector<TPattern>& AudioPatterns() {
  static const std::vector<TPattern> patterns{{"*.mp1", 0}, {"*.mp2", 1}, {"*.mp3", 2}};
  return patterns;
}

}  // namespace

bool FindFiles(const QString& folder, QStringView pattern, bool includeHidden, int imageIndex,
               std::vector<TFileRecord>& list, std::vector<TScanMessage>& messages,
               const TScanProgressCallback& progress) {
  return FindFilesOf(folder, {{QFile::encodeName(pattern.toString()), imageIndex}}, includeHidden, list, messages,
                     progress);
}

bool CollectSubfolders(const QString& folder, std::vector<QString>& list, std::vector<TScanMessage>& messages,
                       TVisitedFolders& visited, const TScanProgressCallback& progress) {
  (void)messages;  // unreadable subfolders are reported by the file search
  int entries = 0;
  return Collect(folder, -1, nullptr, list, visited, progress, entries);
}

TFolderLoad LoadFolder(const QString& folder, const TLoadOptions& options, TFileReader& reader,
                       const TScanProgressCallback& progress) {
  TFolderLoad load;
  std::vector<QString> folders{folder};
  TVisitedFolders visited;
  if (options.SearchSubDir && !CollectSubfolders(folder, folders, load.Messages, visited, progress)) {
    load.Cancelled = true;
    return load;
  }
  for (const QString& f : folders) {
    struct stat st;
    if (stat(QFile::encodeName(f).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (!FindFilesOf(f, AudioPatterns(), options.ShowHiddenFiles, load.FileList, load.Messages, progress)) {
      load.Cancelled = true;
      return load;
    }
  }

  const int count = int(load.FileList.size());
  load.Rows.reserve(load.FileList.size());
  for (int i = 0; i < count; ++i) {
    const bool goOn = !progress || progress({TScanProgress::spReading, i + 1, count, {}});
    load.Rows.push_back(ReadFileRow(reader, load.FileList[size_t(i)], options.ReadTag, load.Messages,
                                    options.Separators));
    load.Rows.back().Data.ItemIndex = i;
    if (!goOn) {
      load.Cancelled = true;
      break;
    }
  }
  SortRows(load.Rows, options.SortColumn, options.SortOrder);
  for (size_t i = 0; i < load.Rows.size(); ++i) load.Rows[i].Data.ItemIndex = int32_t(i);
  load.Totals = SumTotals(load.Rows);
  return load;
}

}  // namespace app
