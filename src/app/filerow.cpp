#include "filerow.h"

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "textcodec.h"

namespace app {

namespace {

constexpr TFileColumnInfo kColumns[kFileColumnCount] = {
    {"File name", 250, false, smAlphaNoCase},
    {"File size", 80, true, smNumeric},
    {"Artist", 150, false, smAlphaNoCase},
    {"Title", 150, false, smAlphaNoCase},
    {"Album", 150, false, smAlphaNoCase},
    {"Year", 50, false, smNumeric},
    {"Track", 60, false, smAlphaNoCase},
    {"Genre", 100, false, smAlphaNoCase},
    {"Comment", 200, false, smAlphaNoCase},
    {"Duration", 70, true, smTime},
    {"Bitrate", 60, true, smNumeric},
    {"Sample rate", 85, true, smNumeric},
    {"BPM", 50, true, smNumeric},
    {"Disk", 50, false, smAlphaNoCase},
    {"Composer", 150, false, smAlphaNoCase},
    {"Original artist", 150, false, smAlphaNoCase},
    {"URL", 200, false, smAlphaNoCase},
    {"Encoded by", 150, false, smAlphaNoCase},
    {"Copyright", 150, false, smAlphaNoCase},
    {"Publisher", 150, false, smAlphaNoCase},
    {"Date", 105, false, smDateTime},
};

const QString kGoneText = QStringLiteral("The file no longer exists");

QString Wide(const std::u16string& text) { return QString::fromStdU16String(text); }
QString Ansi(const std::string& bytes) { return QString::fromStdU16String(tags::AnsiToWide(bytes)); }

// While it lives, the engine's reports go into the message list of the file being read
// instead of a box or stderr: a scan of thousands of files must not stop at each one.
class TMessageSink {
 public:
  TMessageSink(std::vector<TScanMessage>& messages, const QString& path) {
    Previous_ = tags::SetTagErrorHandler([&messages, &path](const std::string&, const std::string& text) {
      messages.push_back({TScanMessage::mkWarning, path, QString::fromStdString(text)});
    });
  }
  ~TMessageSink() { tags::SetTagErrorHandler(std::move(Previous_)); }
  TMessageSink(const TMessageSink&) = delete;
  TMessageSink& operator=(const TMessageSink&) = delete;

 private:
  tags::TTagErrorHandler Previous_;
};

// The first character of a locale pattern that is neither a letter, a blank nor quoted, else `fallback`.
QChar SeparatorIn(const QString& pattern, QChar fallback) {
  bool quoted = false;
  for (QChar c : pattern) {
    if (c == u'\'') quoted = !quoted;
    else if (!quoted && !c.isLetter() && !c.isSpace()) return c;
  }
  return fallback;
}

int Sign(auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); }

int64_t NumericKey(QStringView text) {
  bool ok = false;
  const qlonglong value = text.trimmed().toLongLong(&ok);
  return ok ? value : 0;
}

// Minutes since year 0 from the five digit groups of a file date (day, month, year,
// hour, minute), whatever separators stand between them; -1 when they are not there.
int64_t DateTimeKey(QStringView text) {
  int64_t parts[5] = {0, 0, 0, 0, 0};
  int count = 0;
  bool inDigits = false;
  for (QChar c : text) {
    if (c >= u'0' && c <= u'9') {
      if (!inDigits) {
        if (count == 5) return -1;
        ++count;
        inDigits = true;
      }
      parts[count - 1] = std::min<int64_t>(parts[count - 1] * 10 + (c.unicode() - u'0'), 100000);
    } else {
      inDigits = false;
    }
  }
  if (count != 5) return -1;
  return (((parts[2] * 12 + parts[1]) * 31 + parts[0]) * 24 + parts[3]) * 60 + parts[4];
}

int TwoDigits(QStringView text, qsizetype at) {
  bool ok = false;
  const int value = text.mid(at, 2).toInt(&ok);
  return ok ? value : 0;
}

int64_t TimeKey(QStringView text) {
  const qsizetype colons = text.count(u':');
  if (colons == 1) return TwoDigits(text, 0) * 60 + TwoDigits(text, 3);
  if (colons == 2) {
    const qsizetype first = text.indexOf(u':');
    bool ok = false;
    const int64_t hours = text.left(first).toLongLong(&ok);
    return (ok ? hours : 0) * 3600 + TwoDigits(text, first + 1) * 60 + TwoDigits(text, first + 4);
  }
  return 0;
}

double FloatKey(QStringView text) {
  bool ok = false;
  const double value = QLocale::system().toDouble(text, &ok);
  return ok ? value : 0.0;
}

char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

// The ID3v1 values of the seven shared columns, in column order.
std::array<QString, 7> ID3v1Values(const tags::TID3v1Tag& tag) {
  return {Ansi(tag.Artist()),
          Ansi(tag.Title()),
          Ansi(tag.Album()),
          Ansi(tag.Year()),
          tag.Track() != 0 ? QString::number(tag.Track()) : QString(),
          Wide(tag.GenreAsString()),
          Ansi(tag.Comment())};
}

// Runs one component's read of the file. A file the system refuses is an error that
// ends the file's reading (the other components would fail the same way); a damaged
// tag only ends this component's part.
template <class Step>
bool ReadStep(Step step, const QString& path, std::vector<TScanMessage>& messages, bool& fileFailed) {
  try {
    step();
    return true;
  } catch (const tags::EFileError& e) {
    messages.push_back({TScanMessage::mkError, path, QString::fromStdString(e.what())});
    fileFailed = true;
  } catch (const tags::ETagError& e) {
    messages.push_back({TScanMessage::mkError, path, QString::fromStdString(e.what())});
  }
  return false;
}

}  // namespace

std::span<const TFileColumnInfo, kFileColumnCount> FileListColumns() { return kColumns; }

TDateSeparators SystemDateSeparators() {
  const QLocale locale = QLocale::system();
  return {SeparatorIn(locale.dateFormat(QLocale::ShortFormat), u'/'),
          SeparatorIn(locale.timeFormat(QLocale::ShortFormat), u':')};
}

QString FormatSeconds(double seconds) { return QString::fromStdString(tags::DurationToTime(seconds)); }

QString FormatFileDate(const QDateTime& dateTime, TDateSeparators separators) {
  if (!dateTime.isValid()) return {};
  const QDate d = dateTime.date();
  const QTime t = dateTime.time();
  const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
  return two(d.day()) + separators.Date + two(d.month()) + separators.Date +
         QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')) + u' ' + two(t.hour()) + separators.Time +
         two(t.minute());
}

QString FormatMegabytes(int64_t bytes, QChar decimalSeparator) {
  QString text = QString::number(double(bytes) / 1048576.0, 'f', 2);
  text.replace(u'.', decimalSeparator);
  return text + QStringLiteral(" MB");
}

int CompareCells(TSortMethod method, QStringView a, QStringView b) {
  switch (method) {
    case smAlphaNoCase: {
      const qsizetype n = std::min(a.size(), b.size());
      for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = UpperAscii(a[i].unicode()), y = UpperAscii(b[i].unicode());
        if (x != y) return x < y ? -1 : 1;
      }
      return Sign(a.size(), b.size());
    }
    case smAlphabetic: {
      const int r = a.compare(b, Qt::CaseSensitive);
      return Sign(r, 0);
    }
    case smNumeric: return Sign(NumericKey(a), NumericKey(b));
    case smDateTime: return Sign(DateTimeKey(a), DateTimeKey(b));
    case smTime: return Sign(TimeKey(a), TimeKey(b));
    case smFloat: return Sign(FloatKey(a), FloatKey(b));
  }
  return 0;
}

void SortRows(std::vector<TFileRow>& rows, int column, TSortOrder order) {
  if (order == soNone || column < 0 || column >= kFileColumnCount) return;
  const TSortMethod method = kColumns[column].SortMethod;
  const int sign = order == soDescending ? -1 : 1;
  std::stable_sort(rows.begin(), rows.end(), [&](const TFileRow& x, const TFileRow& y) {
    return sign * CompareCells(method, x.Cells[column], y.Cells[column]) < 0;
  });
}

void FillRowFromID3v2(tags::TID3v2Tag& tag, TFileRow& row) {
  const tags::TID3v2TextFrames& text = tag.TextFrames();
  auto& c = row.Cells;
  c[fcArtist] = Wide(text.Artist());
  c[fcTitle] = Wide(text.Title());
  c[fcAlbum] = Wide(text.Album());
  c[fcYear] = Wide(tag.Header().MajorVersion() == 4 ? text.RecordingTime() : text.Year());
  c[fcTrack] = Wide(text.Track());
  c[fcGenre] = Wide(text.Genre());
  tag.Comments().SetItemIndex(0);
  c[fcComment] = Wide(tag.Comments().Content());
  c[fcBPM] = Wide(text.BPM());
  c[fcDisk] = Wide(text.Disk());
  c[fcComposer] = Wide(text.Composer());
  c[fcOriginalArtist] = Wide(text.OriginalArtist());
  tag.UserURL().SetItemIndex(0);
  c[fcURL] = Ansi(tag.UserURL().URL());
  c[fcEncodedBy] = Wide(text.EncodedBy());
  c[fcCopyright] = Wide(text.Copyright());
  c[fcPublisher] = Wide(text.Publisher());
}

void FillRowFromID3v1(const tags::TID3v1Tag& tag, TFileRow& row) {
  const std::array<QString, 7> values = ID3v1Values(tag);
  for (int i = 0; i < 7; ++i) {
    QString& cell = row.Cells[fcArtist + i];
    if (cell.isEmpty()) cell = values[size_t(i)];
  }
}

TFileReader::TFileReader() {
  ID3v2Tag.SetFileSystem(&Cache);
  ID3v1Tag.SetFileSystem(&Cache);
  MPEGAudio.SetFileSystem(&Cache);
  ID3v2Tag.SetName("ID3v2Tag");
  ID3v1Tag.SetName("ID3v1Tag");
  MPEGAudio.SetName("MPEGAudio");
}

std::string NativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

TFileRow ReadFileRow(TFileReader& reader, const TFileRecord& record, int readTag, std::vector<TScanMessage>& messages,
                     TDateSeparators separators) {
  TFileRow row;
  row.ImageIndex = record.ImageIndex;
  row.Data.Path = record.Path + record.Name;
  row.Data.Size = record.Size;
  row.Cells[fcFileName] = record.Name;
  row.Cells[fcFileSize] = QString::number(record.Size);
  row.Cells[fcDate] = FormatFileDate(record.Time, separators);

  const std::string path = NativePath(row.Data.Path);
  const TMessageSink sink(messages, row.Data.Path);
  bool failed = false;
  // Close runs whatever happened: no file stays open between files, and a component
  // left active would carry this file's values into the next row.
  if (readTag == rtID3v2 || readTag == rtBoth) {
    tags::TID3v2Tag& tag = reader.ID3v2Tag;
    ReadStep([&] {
      tag.SetFileName(path);
      tag.Open();
      if (tag.Header().Exists()) FillRowFromID3v2(tag, row);
    }, row.Data.Path, messages, failed);
    tag.Close();
  }
  if (!failed && (readTag == rtID3v1 || readTag == rtBoth)) {
    tags::TID3v1Tag& tag = reader.ID3v1Tag;
    ReadStep([&] {
      tag.SetFileName(path);
      tag.Open();
      if (tag.Exists()) FillRowFromID3v1(tag, row);
    }, row.Data.Path, messages, failed);
    tag.Close();
  }
  if (!failed) {
    tags::TMPEGAudio& mpeg = reader.MPEGAudio;
    ReadStep([&] {
      mpeg.SetFileName(path);
      mpeg.Open();
      if (mpeg.Valid()) {
        row.Data.Duration = mpeg.Duration();
        row.Cells[fcDuration] = QString::fromStdString(mpeg.DurationToTime());
        row.Cells[fcBitrate] = QString::number(mpeg.Bitrate());
        row.Cells[fcSampleRate] = QString::number(mpeg.SamplingRate());
      }
      // The components take a missing file for one without tags; the file was there
      // when the folder was searched, so its going is worth telling.
      if (!mpeg.Active()) messages.push_back({TScanMessage::mkError, row.Data.Path, kGoneText});
    }, row.Data.Path, messages, failed);
    mpeg.Close();
  }
  reader.Cache.Release();
  return row;
}

bool ID3RefreshInformation(TFileReader& reader, const QString& fileName, TFileRow& row, int readTag,
                           std::vector<TScanMessage>& messages, TDateSeparators separators) {
  const std::string path = NativePath(fileName);
  const TMessageSink sink(messages, fileName);
  bool failed = false;
  tags::TID3v2Tag& v2 = reader.ID3v2Tag;
  tags::TID3v1Tag& v1 = reader.ID3v1Tag;
  tags::TMPEGAudio& mpeg = reader.MPEGAudio;
  const auto closeAll = [&] {
    v2.Close();
    v1.Close();
    mpeg.Close();
    reader.Cache.Release();
  };
  const bool read = ReadStep([&] {
    v2.SetFileName(path);
    v1.SetFileName(path);
    mpeg.SetFileName(path);
    if (readTag == rtID3v2 || readTag == rtBoth) v2.Open();
    if (readTag == rtID3v1 || readTag == rtBoth) v1.Open();
    mpeg.Open();
  }, fileName, messages, failed);
  if (read && !mpeg.Active()) messages.push_back({TScanMessage::mkError, fileName, kGoneText});
  if (!read || !mpeg.Active()) {
    closeAll();
    return false;
  }
  QFileInfo info(fileName);
  row.Data.Size = mpeg.FileSize();
  row.Cells[fcFileSize] = QString::number(row.Data.Size);
  switch (readTag) {
    case rtID3v1: {
      const std::array<QString, 7> values = ID3v1Values(v1);
      for (int i = 0; i < 7; ++i) row.Cells[fcArtist + i] = values[size_t(i)];
      break;
    }
    case rtID3v2: FillRowFromID3v2(v2, row); break;
    case rtBoth:
      FillRowFromID3v2(v2, row);
      FillRowFromID3v1(v1, row);
      break;
    default: break;  // no tag is read
  }
  row.Cells[fcDate] = FormatFileDate(info.lastModified(), separators);
  closeAll();
  return true;
}

TSelectionUpdate UpdateSelectionTotals(const TFileTotals& totals, const TFileData& item, bool selected,
                                       int selectedCount) {
  TSelectionUpdate update{totals, euNone};
  TFileTotals& t = update.Totals;
  if (selectedCount > 0) {
    update.Editor = selectedCount == 1 ? euShowFile : euClearAll;
    const double sign = selected ? 1 : -1;
    t.SelectedTime += sign * item.Duration;
    t.SelectedSize += selected ? item.Size : -item.Size;
  } else {
    t.SelectedTime = 0;
    t.SelectedSize = 0;
  }
  return update;
}

TFileTotals SumTotals(std::span<const TFileRow> rows) {
  TFileTotals totals;
  for (const TFileRow& row : rows) {
    totals.TotalSize += row.Data.Size;
    totals.TotalTime += row.Data.Duration;
  }
  return totals;
}

}  // namespace app
