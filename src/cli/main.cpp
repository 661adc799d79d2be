// sonivex-cli: the scriptable side of Sonivex. It never reads or writes the desktop
// program's settings, so a script gets the same result on every machine; every default
// is a documented flag.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "infocommand.h"
#include "scancommand.h"
#include "setcommand.h"

namespace {

constexpr const char* kUsage =
    "Usage: sonivex-cli COMMAND [OPTIONS] FILE...\n"
    "\n"
    "Reads and writes the tags of MP3 files (.mp1, .mp2, .mp3). Output is JSON Lines:\n"
    "one object per file per line, text in UTF-8, numbers as JSON numbers.\n"
    "\n"
    "Commands:\n"
    "  info FILE...   Describe the ID3v2 tag of each file: whether it exists, its version,\n"
    "                 size, padding, header flags, extended header and frames. Each line\n"
    "                 is {\"file\": PATH, \"id3v2\": {...}}, or {\"file\": PATH, \"error\": MESSAGE}\n"
    "                 when the file cannot be read. Messages the tag engine reports while\n"
    "                 reading go into a \"warnings\" list on that file's line.\n"
    "\n"
    "                 Inside \"id3v2\" the typed view follows: \"fields\" (every text-frame\n"
    "                 property by name), \"web\", \"web_artist\", \"web_commercial\",\n"
    "                 \"user_text\", \"user_url\", \"comments\", \"lyrics\", \"pictures\",\n"
    "                 \"popularimeter\", \"terms_of_use\", \"play_counter\"; keys are absent\n"
    "                 when empty. Beside \"id3v2\" stand \"id3v1\" (its fields, genre number\n"
    "                 and name), \"lyrics3\" (the Lyrics3 v2 block and its fields) and \"mpeg\"\n"
    "                 (version, layer, bitrate, sampling rate, channel mode, frame count\n"
    "                 and length, audio size, duration in seconds and as text).\n"
    "\n"
    "  set FILE... [--field NAME=VALUE...] [--v1 NAME=VALUE...] [--remove TAG...]\n"
    "                 [--version V] [--encoding E]\n"
    "                 Write ID3v2 text-frame properties by their property names (--field\n"
    "                 Title=..., Artist, Album, Year, Track, Genre, ...; an empty VALUE\n"
    "                 removes the frame), ID3v1 fields (--v1 Title, Artist, Album, Year,\n"
    "                 Comment, Track, Genre by name or number), or remove whole tags\n"
    "                 (--remove v1, v2 or lyrics3), then save. Each line is {\"file\", \"ok\",\n"
    "                 \"version\", \"encoding\", \"fields\", \"v1\", \"removed\"} or\n"
    "                 {\"file\", \"error\"}. Every value is checked before the file is\n"
    "                 touched: a value the engine refuses (an invalid number or time\n"
    "                 stamp, an unknown genre) or a character the encoding cannot hold is\n"
    "                 an error for that file, which is then left as it was. ID3v1 text\n"
    "                 longer than its field is cut, with a warning.\n"
    "                 --version 2.2|2.3|2.4   default: the version the tag was read in,\n"
    "                                         2.3 when the file had none\n"
    "                 --encoding latin1|utf16|utf16be|utf8\n"
    "                                         default: utf16 for 2.2 and 2.3, utf8 for 2.4;\n"
    "                                         2.2 and 2.3 cannot hold utf16be or utf8\n"
    "\n"
    "  scan FOLDER [--recursive] [--hidden] [--read-tag 0|1|2] [--json]\n"
    "                 List the .mp1, .mp2 and .mp3 files of FOLDER as the desktop program's\n"
    "                 file list shows them: 21 columns (File name, File size, Artist, Title,\n"
    "                 Album, Year, Track, Genre, Comment, Duration, Bitrate, Sample rate,\n"
    "                 BPM, Disk, Composer, Original artist, URL, Encoded by, Copyright,\n"
    "                 Publisher, Date), sorted by file name, ASCII letters regardless of\n"
    "                 case (equal names by full path). Output is TSV with the captions as\n"
    "                 the header line (a tab, line break or backslash in a cell is written\n"
    "                 \\t, \\n, \\r or \\\\), or with --json one object per line whose keys\n"
    "                 are \"path\" and the captions, every value a string. Date is the\n"
    "                 file's last write in local time, dd/mm/yyyy hh:mm. A summary (files,\n"
    "                 total time, total size) and one line per folder or file that could\n"
    "                 not be read go to stderr; such a file keeps its row.\n"
    "                 --recursive      also every folder below FOLDER, hidden ones too;\n"
    "                                  links to folders are followed, each folder once\n"
    "                                  (default: FOLDER only)\n"
    "                 --hidden         also hidden files, names starting with '.'\n"
    "                                  (default: left out)\n"
    "                 --read-tag 0|1|2 which tags fill the tag columns: 0 ID3v1 only,\n"
    "                                  1 ID3v2 only, 2 both, where the ID3v1 tag fills\n"
    "                                  only the cells the ID3v2 tag left empty\n"
    "                                  (default: 2)\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help and exit.\n"
    "  --version      Show the version and exit.\n"
    "\n"
    "The command line never reads or writes the desktop program's settings.\n"
    "Exit status: 0 when every file succeeded, 1 when some file failed, 2 for a usage error.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "sonivex-cli: %s\nTry 'sonivex-cli --help'.\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command given");
  const std::string command = args.front();
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts("sonivex-cli " SONIVEX_VERSION);
    return 0;
  }
  if (command == "info") {
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (!optionsEnded && a == "--") optionsEnded = true;
      else if (!optionsEnded && (a == "-h" || a == "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (!optionsEnded && a.size() > 1 && a[0] == '-') return UsageError("unknown option " + a);
      else files.push_back(a);
    }
    if (files.empty()) return UsageError("info needs at least one FILE");
    return cli::RunInfo(files);
  }
  if (command == "set") {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest)
      if (a == "-h" || a == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (a == "--") {
        break;
      }
    cli::TSetRequest request;
    const std::string error = cli::ParseSetArguments(rest, request);
    if (!error.empty()) return UsageError(error);
    return cli::RunSet(request);
  }
  if (command == "scan") {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest)
      if (a == "-h" || a == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (a == "--") {
        break;
      }
    cli::TScanRequest request;
    const std::string error = cli::ParseScanArguments(rest, request);
    if (!error.empty()) return UsageError(error);
    return cli::RunScan(request);
  }
  return UsageError("unknown command " + command);
}
