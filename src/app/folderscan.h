#pragma once
// Turning a folder on disk into the rows of the file list: the file search, the
// subfolder walk and the folder load with its progress and Cancel.

#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include <QString>

#include "filerow.h"

namespace app {

// What a scan reports while it runs. While searching, Done counts the files found so
// far and Total is 0; while reading, Done is the 1-based number of the file being read
// and Total the number of files found.
struct TScanProgress {
  enum TPhase { spSearching, spReading };
  TPhase Phase = spSearching;
  int Done = 0;
  int Total = 0;
  QString Folder;  // the folder being searched; empty while reading
};

// Returns false to cancel. While reading, the file being read is finished first (its
// row is kept); while searching, the search stops and no file is read. It is called
// before every file and every few dozen folder entries, so an answer takes effect
// within one file's read.
using TScanProgressCallback = std::function<bool(const TScanProgress&)>;

// The folders already searched, by device and inode: a symbolic link that leads back
// up the tree must not make the walk endless, nor list a folder twice.
using TVisitedFolders = std::set<std::pair<uint64_t, uint64_t>>;

// Appends one record per file of `folder` whose name matches `pattern` (* and ?, ASCII
// letters matched regardless of case), in the order the file system lists them.
// Folders and anything that is not a regular file (after following links) are never
// taken; hidden files (names starting with '.') only with `includeHidden`. A folder or
// file that cannot be read gives an error in `messages`. False when cancelled.
bool FindFiles(const QString& folder, QStringView pattern, bool includeHidden, int imageIndex,
               std::vector<TFileRecord>& list, std::vector<TScanMessage>& messages,
               const TScanProgressCallback& progress = {});

// Appends every folder below `folder` to `list`, depth first: each folder is followed
// at once by its own subfolders. Hidden folders are included; links to folders are
// followed unless they lead to a folder already in `visited` (`folder` itself is added
// to it). A subfolder that cannot be opened is listed but not entered; the file search
// reports it. False when cancelled.
bool CollectSubfolders(const QString& folder, std::vector<QString>& list, std::vector<TScanMessage>& messages,
                       TVisitedFolders& visited, const TScanProgressCallback& progress = {});

struct TLoadOptions {
  bool SearchSubDir = false;
  bool ShowHiddenFiles = false;
  int ReadTag = rtBoth;
  int SortColumn = fcFileName;
  TSortOrder SortOrder = soAscending;
  TDateSeparators Separators;
};

struct TFolderLoad {
  std::vector<TFileRecord> FileList;  // search results, in search order
  std::vector<TFileRow> Rows;         // sorted; ItemIndex = position
  std::vector<TScanMessage> Messages;
  TFileTotals Totals;
  bool Cancelled = false;
};

// Searches `folder` (and its subfolders with SearchSubDir) for *.mp1, *.mp2 and *.mp3
// in that order within each folder, reads every file into a row, sorts the rows and
// sums the totals. Nothing here stops the load but Cancel: every folder or file that
// cannot be read is an entry in Messages. A folder that does not exist is skipped.
TFolderLoad LoadFolder(const QString& folder, const TLoadOptions& options, TFileReader& reader,
                       const TScanProgressCallback& progress = {});

}  // namespace app
