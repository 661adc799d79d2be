#include "scancommand.h"

#include <algorithm>
#include <cstdio>

#include <QFile>
#include <QFileInfo>

#include "filerow.h"
#include "folderscan.h"
#include "jsonwriter.h"

namespace cli {

namespace {

// TSV cells hold no tab or line break: a comment or lyrics text may contain both, so
// they are written as \t, \n and \r, and the backslash itself as \\.
void AppendTsvCell(std::string& out, const QString& cell) {
  const QByteArray utf8 = cell.toUtf8();
  for (char c : utf8) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

void Flush(std::string& out, bool force) {
  if (!force && out.size() < (1 << 16)) return;
  std::fwrite(out.data(), 1, out.size(), stdout);
  out.clear();
}

}  // namespace

std::string ParseScanArguments(const std::vector<std::string>& args, TScanRequest& request) {
  bool optionsEnded = false;
  bool haveFolder = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") optionsEnded = true;
    else if (!optionsEnded && a == "--recursive") request.Recursive = true;
    else if (!optionsEnded && a == "--hidden") request.Hidden = true;
    else if (!optionsEnded && a == "--json") request.Json = true;
    else if (!optionsEnded && a == "--read-tag") {
      if (i + 1 == args.size()) return "--read-tag needs a value: 0, 1 or 2";
      const std::string& v = args[++i];
      if (v != "0" && v != "1" && v != "2") return "--read-tag must be 0, 1 or 2, not '" + v + "'";
      request.ReadTag = v[0] - '0';
    } else if (!optionsEnded && a.size() > 1 && a[0] == '-') return "unknown option " + a;
    else if (haveFolder) return "scan takes one FOLDER";
    else {
      request.Folder = a;
      haveFolder = true;
    }
  }
  if (!haveFolder) return "scan needs a FOLDER";
  return {};
}

int RunScan(const TScanRequest& request) {
  const QString folder = QFileInfo(QFile::decodeName(request.Folder.c_str())).absoluteFilePath();
  if (!QFileInfo(folder).isDir()) {
    std::fprintf(stderr, "sonivex-cli: %s: not a folder\n", request.Folder.c_str());
    return 1;
  }
  app::TLoadOptions options;
  options.SearchSubDir = request.Recursive;
  options.ShowHiddenFiles = request.Hidden;
  options.ReadTag = request.ReadTag;
  // Sorted by name only, rows of equal names (the same name in several folders) would
  // come in the order the file system lists them; sorting by path first keeps the
  // output the same on every run and machine.
  options.SortOrder = app::soNone;
  app::TFileReader reader;
  app::TFolderLoad load = app::LoadFolder(folder, options, reader);
  std::stable_sort(load.Rows.begin(), load.Rows.end(),
                   [](const app::TFileRow& a, const app::TFileRow& b) { return a.Data.Path < b.Data.Path; });
  app::SortRows(load.Rows, app::fcFileName, app::soAscending);

  const auto columns = app::FileListColumns();
  std::string out;
  if (!request.Json) {
    for (int c = 0; c < app::kFileColumnCount; ++c) {
      if (c) out += '\t';
      out += columns[size_t(c)].Caption;
    }
    out += '\n';
  }
  for (const app::TFileRow& row : load.Rows) {
    if (request.Json) {
      TJsonWriter json;
      json.BeginObject().Key("path").Value(row.Data.Path.toStdU16String());
      for (int c = 0; c < app::kFileColumnCount; ++c)
        json.Key(columns[size_t(c)].Caption).Value(row.Cells[size_t(c)].toStdU16String());
      json.EndObject();
      out += json.Text();
    } else {
      for (int c = 0; c < app::kFileColumnCount; ++c) {
        if (c) out += '\t';
        AppendTsvCell(out, row.Cells[size_t(c)]);
      }
    }
    out += '\n';
    Flush(out, false);
  }
  Flush(out, true);
  std::fflush(stdout);

  bool failed = false;
  for (const app::TScanMessage& m : load.Messages) {
    const bool error = m.Kind == app::TScanMessage::mkError;
    failed = failed || error;
    std::fprintf(stderr, "sonivex-cli: %s: %s%s\n", m.Path.toUtf8().constData(), error ? "" : "warning: ",
                 m.Text.toUtf8().constData());
  }
  std::fprintf(stderr, "Files: %zu, total time: %s, total size: %lld bytes (%s)\n", load.Rows.size(),
               app::FormatSeconds(load.Totals.TotalTime).toUtf8().constData(),
               static_cast<long long>(load.Totals.TotalSize),
               app::FormatMegabytes(load.Totals.TotalSize).toUtf8().constData());
  return failed ? 1 : 0;
}

}  // namespace cli
