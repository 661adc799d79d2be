#pragma once
// One row of the file list: its 21 cells, the data object the row owns, how a file is
// read into them, and the totals the status bar shows. QtCore only, so the window and
// the command line read files through the very same code.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringView>

#include "id3v1tag.h"
#include "id3v2tag.h"
#include "mpegaudio.h"
#include "readcache.h"
#include "readcache.h"

namespace app {

// The columns of the file list, in display order.
enum TFileColumn : int {
  fcFileName,
  fcFileSize,
  fcArtist,
  fcTitle,
  fcAlbum,
  fcYear,
  fcTrack,
  fcGenre,
  fcComment,
  fcDuration,
  fcBitrate,
  fcSampleRate,
  fcBPM,
  fcDisk,
  fcComposer,
  fcOriginalArtist,
  fcURL,
  fcEncodedBy,
  fcCopyright,
  fcPublisher,
  fcDate,
};
inline constexpr int kFileColumnCount = 21;

// How a column's texts are ordered when the list is sorted by it.
enum TSortMethod : int { smAlphaNoCase, smAlphabetic, smNumeric, smDateTime, smTime, smFloat };
enum TSortOrder : int { soNone, soAscending, soDescending };

struct TFileColumnInfo {
  const char* Caption;  // English caption; a language file may replace it
  int Width;
  bool AlignRight;
  TSortMethod SortMethod;
};
std::span<const TFileColumnInfo, kFileColumnCount> FileListColumns();

// The values of ReadTag: which tags fill the row.
enum TReadTag : int { rtID3v1 = 0, rtID3v2 = 1, rtBoth = 2 };

// One file found by the folder search.
struct TFileRecord {
  uint32_t Attr = 0;       // st_mode as found
  int32_t ImageIndex = 0;  // 0 *.mp1, 1 *.mp2, 2 *.mp3
  QString Name;            // without folder
  QString Path;            // folder, ending with '/'
  int64_t Size = 0;
  QDateTime Time;          // last write, local time
};

// The data object of a row.
struct TFileData {
  double Duration = 0;     // seconds; 0 when the stream is not valid
  int32_t ItemIndex = 0;   // position after the last folder load
  QString Path;            // folder + name
  int64_t Size = 0;
};

struct TFileRow {
  std::array<QString, kFileColumnCount> Cells;
  TFileData Data;
  int32_t ImageIndex = 0;
};

// A problem with one file or folder. Errors mean the item could not be read (its row,
// if it has one, holds what could be read); warnings are the tag engine's reports on
// damaged tags, which it reads around.
struct TScanMessage {
  enum TKind { mkError, mkWarning };
  TKind Kind = mkError;
  QString Path;
  QString Text;
};

// The separators of a file date; the window takes the system's.
struct TDateSeparators {
  QChar Date = u'/';
  QChar Time = u':';
};
TDateSeparators SystemDateSeparators();

// "mm:ss" below an hour, "hh:mm:ss" from then on; rounded halves to even.
QString FormatSeconds(double seconds);
// "dd/mm/yyyy hh:nn" with the given separators; empty for an invalid date.
QString FormatFileDate(const QDateTime& dateTime, TDateSeparators separators = {});
// "%f MB": bytes / 1048576 with two decimals and the given decimal separator.
QString FormatMegabytes(int64_t bytes, QChar decimalSeparator = u'.');

// Negative when `a` sorts before `b` by `method` (ascending).
int CompareCells(TSortMethod method, QStringView a, QStringView b);
// Sorts by `column` in `order` (soNone leaves the rows as they are); rows of equal keys
// keep their relative order.
void SortRows(std::vector<TFileRow>& rows, int column, TSortOrder order);

// Copy the values of the currently open tag into the row. ID3v2 overwrites its columns
// unconditionally; ID3v1 fills only the empty ones of its seven.
void FillRowFromID3v2(tags::TID3v2Tag& tag, TFileRow& row);
void FillRowFromID3v1(const tags::TID3v1Tag& tag, TFileRow& row);

// The three tag components the rows are read through, used one file at a time. One
// reader serves a whole folder: the ID3v2 tag keeps its read buffer between files.
class TFileReader {
 public:
  TFileReader();
  // The three components read each file through one handle (see TReadCache).
  tags::TReadCache Cache{tags::SystemFileSystem()};
  tags::TID3v2Tag ID3v2Tag;
  tags::TID3v1Tag ID3v1Tag;
  tags::TMPEGAudio MPEGAudio;
};

// Reads one found file into a new row: name, size, the tag columns as `readTag` says
// (ID3v2 first; ID3v1 then fills only empty cells), the stream columns and the date.
// A file that cannot be read keeps its row with what was read before the failure and
// gets an error in `messages`; the engine's reports on damaged tags become warnings.
TFileRow ReadFileRow(TFileReader& reader, const TFileRecord& record, int readTag,
                     std::vector<TScanMessage>& messages, TDateSeparators separators = {});

// Re-reads a file after it was rewritten: size, tag columns and date. The existence of
// the tags is not tested, so a tag removed from the file empties its columns; the
// stream columns and the duration are kept. False (with an error in `messages`) when
// the file could not be read; the row is then as far as it got.
bool ID3RefreshInformation(TFileReader& reader, const QString& fileName, TFileRow& row, int readTag,
                           std::vector<TScanMessage>& messages, TDateSeparators separators = {});

// The running sums of the status bar.
struct TFileTotals {
  int64_t TotalSize = 0;
  double TotalTime = 0;
  int64_t SelectedSize = 0;
  double SelectedTime = 0;
};

// What the editor panel is to do after a selection change.
enum TEditorUpdate { euNone, euShowFile, euClearAll };

struct TSelectionUpdate {
  TFileTotals Totals;
  TEditorUpdate Editor = euNone;
};

// The list's selection-change step for one row: `selectedCount` is the number of
// selected rows after the change.
TSelectionUpdate UpdateSelectionTotals(const TFileTotals& totals, const TFileData& item, bool selected,
                                       int selectedCount);

// The sums over all rows; the selected sums stay 0.
TFileTotals SumTotals(std::span<const TFileRow> rows);

// The encoded form of a path for the file system.
std::string NativePath(const QString& path);

}  // namespace app
